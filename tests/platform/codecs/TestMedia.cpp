#include "tests/platform/codecs/TestMedia.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
}

namespace test_media {

namespace {

void DrawPicture(AVFrame* frame, int index)
{
    const int width = frame->width;
    const int height = frame->height;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        for (int x = 0; x < width; ++x) {
            int value = 16 + (x * 200 / width + y * 19 / height + index * 3) % 220;
            const int boxX = (index * 7) % (width > 64 ? width - 64 : 1);
            const int boxY = (index * 5) % (height > 48 ? height - 48 : 1);
            if (x >= boxX && x < boxX + 64 && y >= boxY && y < boxY + 48)
                value = 235 - ((x - boxX) ^ (y - boxY)) % 40;
            row[x] = static_cast<std::uint8_t>(value);
        }
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int y = 0; y < (height + 1) / 2; ++y) {
            std::uint8_t* row = frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane];
            for (int x = 0; x < (width + 1) / 2; ++x)
                row[x] = static_cast<std::uint8_t>(plane == 1 ? 128 + ((x + index) % 64) - 32
                                                              : 128 + ((y * 2 + index) % 48) - 24);
        }
    }
}

void Drain(AVCodecContext* context, AVPacket* packet, EncodedStream& stream)
{
    while (avcodec_receive_packet(context, packet) >= 0) {
        EncodedFrame frame;
        frame.data.assign(packet->data, packet->data + packet->size);
        frame.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        stream.frames.push_back(std::move(frame));
        av_packet_unref(packet);
    }
}

}  // namespace

EncodedStream Encode(const std::string& encoder, int width, int height, int frameCount, int gopSize,
                     std::uint32_t codecTag, int quantiser, int codecFlags)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.c_str());
    if (codec == nullptr)
        throw std::runtime_error("no encoder " + encoder);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, 25};
    context->framerate = AVRational{25, 1};
    context->gop_size = gopSize;
    context->max_b_frames = 0;
    context->thread_count = 1;
    context->flags |= AV_CODEC_FLAG_QSCALE | codecFlags;
    context->global_quality = FF_QP2LAMBDA * quantiser;
    if (codecTag != 0)
        context->codec_tag = codecTag;
    if (avcodec_open2(context, codec, nullptr) < 0)
        throw std::runtime_error("cannot open encoder " + encoder);

    EncodedStream stream;
    stream.encoder = encoder;
    stream.width = width;
    stream.height = height;
    if (context->extradata_size > 0)
        stream.codecData.assign(context->extradata, context->extradata + context->extradata_size);

    AVFrame* frame = av_frame_alloc();
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_YUV420P;
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    for (int index = 0; index < frameCount; ++index) {
        av_frame_make_writable(frame);
        DrawPicture(frame, index);
        frame->pts = index;
        frame->pict_type = index % gopSize == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        avcodec_send_frame(context, frame);
        Drain(context, packet, stream);
    }
    avcodec_send_frame(context, nullptr);
    Drain(context, packet, stream);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return stream;
}

std::vector<std::vector<std::uint8_t>> ReferenceDecode(const std::string& decoder, const EncodedStream& stream)
{
    const AVCodec* codec = avcodec_find_decoder_by_name(decoder.c_str());
    if (codec == nullptr)
        throw std::runtime_error("no decoder " + decoder);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = stream.width;
    context->height = stream.height;
    context->thread_count = 1;
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (!stream.codecData.empty()) {
        context->extradata = static_cast<std::uint8_t*>(
            av_mallocz(stream.codecData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(context->extradata, stream.codecData.data(), stream.codecData.size());
        context->extradata_size = static_cast<int>(stream.codecData.size());
    }
    if (avcodec_open2(context, codec, nullptr) < 0)
        throw std::runtime_error("cannot open decoder " + decoder);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<std::vector<std::uint8_t>> pictures;
    const int w = stream.width;
    const int h = stream.height;
    for (const EncodedFrame& encoded : stream.frames) {
        av_new_packet(packet, static_cast<int>(encoded.data.size()));
        std::memcpy(packet->data, encoded.data.data(), encoded.data.size());
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        std::vector<std::uint8_t> picture;
        if (avcodec_receive_frame(context, frame) >= 0) {
            picture.resize(static_cast<std::size_t>(w) * h + 2 * (w / 2) * (h / 2));
            std::uint8_t* v = picture.data() + static_cast<std::size_t>(w) * h;
            std::uint8_t* u = v + (w / 2) * (h / 2);
            for (int y = 0; y < h; ++y)
                std::memcpy(picture.data() + static_cast<std::size_t>(y) * w, frame->data[0] + y * frame->linesize[0], w);
            for (int y = 0; y < h / 2; ++y) {
                std::memcpy(u + y * (w / 2), frame->data[1] + y * frame->linesize[1], w / 2);
                std::memcpy(v + y * (w / 2), frame->data[2] + y * frame->linesize[2], w / 2);
            }
            av_frame_unref(frame);
        }
        pictures.push_back(std::move(picture));
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return pictures;
}

double Psnr(const std::vector<std::uint8_t>& a, const std::uint8_t* b, std::size_t size)
{
    if (a.size() != size || size == 0)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < size; ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0.0)
        return 99.0;
    const double mse = sum / static_cast<double>(size);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace test_media
