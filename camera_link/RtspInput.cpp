#include "camera_link/RtspInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <cerrno>
#include <thread>

namespace camlink {

namespace {

int64_t SteadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int CodecOf(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_H264: return CML_CODEC_H264;
    case AV_CODEC_ID_HEVC: return CML_CODEC_H265;
    case AV_CODEC_ID_MJPEG: return CML_CODEC_MJPEG;
    default: return 0;
    }
}

bool SoundWeTake(AVCodecID id)
{
    return id == AV_CODEC_ID_PCM_MULAW || id == AV_CODEC_ID_PCM_ALAW || id == AV_CODEC_ID_AAC;
}

std::string ErrorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return text;
}

}  // namespace

void Interrupter::Arm(std::chrono::milliseconds limit)
{
    deadline_ns_ = SteadyNowNs() + std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count();
}

bool Interrupter::Expired() const
{
    return SteadyNowNs() > deadline_ns_.load();
}

bool Interrupter::NearlyExpired() const
{
    // The socket's own 5 s limit may end a wait a moment before the deadline does.
    return SteadyNowNs() > deadline_ns_.load() - 500'000'000;
}

int Interrupter::Check(void* opaque)
{
    auto* self = static_cast<Interrupter*>(opaque);
    return self->Cancelled() || self->Expired() ? 1 : 0;
}

int ResultOfOpen(int averror, const Interrupter& interrupter)
{
    if (interrupter.Cancelled())
        return CML_ERR_CANCELLED;
    if (averror == AVERROR_EXIT || averror == AVERROR(ETIMEDOUT) || averror == AVERROR(EHOSTUNREACH) ||
        averror == AVERROR(ENETUNREACH) || averror == AVERROR(EAGAIN))
        return CML_ERR_TIMEOUT;
    if (averror == AVERROR_HTTP_UNAUTHORIZED || averror == AVERROR_HTTP_FORBIDDEN)
        return CML_ERR_USER;
    if (averror == AVERROR_HTTP_NOT_FOUND)
        return CML_ERR_NOT_FOUND;
    if (averror == AVERROR(ECONNREFUSED))
        return CML_ERR_REFUSED;
    if (interrupter.NearlyExpired())
        return CML_ERR_TIMEOUT;
    return CML_ERR_PROTOCOL;
}

RtspInput::~RtspInput()
{
    Close();
}

void RtspInput::Close()
{
    av_bsf_free(&parameterSets_);
    if (context_)
        avformat_close_input(&context_);
    videoIndex_ = -1;
    audioIndex_ = -1;
    timedOut_ = false;
    info_ = CML_MEDIA_INFO{};
}

int RtspInput::Open(const CameraAddress& address, int transport, std::string* why,
                    bool describeOnly)
{
    Close();
    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return CML_ERR_PROTOCOL;
    context->interrupt_callback.callback = &Interrupter::Check;
    context->interrupt_callback.opaque = &interrupter_;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "rtsp_transport", transport == CML_TRANSPORT_UDP ? "udp" : "tcp", 0);
    // Socket operations give up after 5 s without progress; the interrupter bounds the whole.
    av_dict_set(&options, "timeout", "5000000", 0);
    // A live picture is worth more than a smooth one: no buffering beyond what decoding needs.
    av_dict_set(&options, "fflags", "nobuffer", 0);
    av_dict_set(&options, "flags", "low_delay", 0);
    av_dict_set(&options, "analyzeduration", "2000000", 0);
    av_dict_set(&options, "probesize", "4000000", 0);
    av_dict_set(&options, "allowed_media_types", "video+audio", 0);

    interrupter_.Arm(kConnectLimit);
    const std::string url = RtspUrl(address);
    int result = avformat_open_input(&context, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        const int code = ResultOfOpen(result, interrupter_);
        if (why)
            *why = RedactedUrl(address) + ": " + ErrorText(result) + " (" + std::to_string(code) + ")";
        return code;
    }
    context_ = context;

    for (unsigned i = 0; i < context_->nb_streams; ++i) {
        AVStream* stream = context_->streams[i];
        const AVCodecParameters* parameters = stream->codecpar;
        stream->discard = AVDISCARD_ALL;
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO && videoIndex_ < 0 && CodecOf(parameters->codec_id)) {
            videoIndex_ = static_cast<int>(i);
            stream->discard = AVDISCARD_DEFAULT;
        } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO && audioIndex_ < 0 &&
                   SoundWeTake(parameters->codec_id)) {
            audioIndex_ = static_cast<int>(i);
            stream->discard = AVDISCARD_DEFAULT;
        }
    }
    if (videoIndex_ < 0) {
        if (why)
            *why = RedactedUrl(address) + ": no H.264, H.265 or Motion JPEG video in the stream";
        Close();
        return CML_ERR_NO_SOURCE;
    }

    if (describeOnly)
        return CML_OK;

    interrupter_.Arm(kConnectLimit);
    result = avformat_find_stream_info(context_, nullptr);
    AVStream* video = context_->streams[videoIndex_];
    if (result < 0 || video->codecpar->width <= 0 || video->codecpar->height <= 0) {
        if (why)
            *why = RedactedUrl(address) + ": no picture size within the time (" +
                   (result < 0 ? ErrorText(result) : std::string("size unknown")) + ")";
        const int code = ResultOfOpen(result < 0 ? result : AVERROR_INVALIDDATA, interrupter_);
        Close();
        return code;
    }

    info_.nWidth = video->codecpar->width;
    info_.nHeight = video->codecpar->height;
    info_.nCompressor = CodecOf(video->codecpar->codec_id);
    const AVRational rate = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
    const double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    info_.nFrameRate = fps >= 1.0 && fps <= 120.0 ? static_cast<int>(fps + 0.5) : 25;

    // Cameras often send their parameter sets only in the description; the decoder needs
    // them in band before each key frame, where a recording must also start.
    if ((info_.nCompressor == CML_CODEC_H264 || info_.nCompressor == CML_CODEC_H265) &&
        video->codecpar->extradata_size > 0) {
        const AVBitStreamFilter* filter = av_bsf_get_by_name("dump_extra");
        if (filter && av_bsf_alloc(filter, &parameterSets_) == 0) {
            avcodec_parameters_copy(parameterSets_->par_in, video->codecpar);
            parameterSets_->time_base_in = video->time_base;
            av_opt_set(parameterSets_->priv_data, "freq", "keyframe", 0);
            if (av_bsf_init(parameterSets_) < 0)
                av_bsf_free(&parameterSets_);
        }
    }
    return CML_OK;
}

int RtspInput::ReadVideoFiltered(AVPacket* packet)
{
    int result = av_bsf_send_packet(parameterSets_, packet);
    if (result < 0) {
        av_packet_unref(packet);
        return result;
    }
    return av_bsf_receive_packet(parameterSets_, packet);
}

int RtspInput::Read(AVPacket* packet)
{
    if (!context_)
        return AVERROR(EINVAL);
    // An interrupted read makes the demuxer flush what its parsers hold and carry on as if
    // nothing happened; the session is over all the same.
    if (timedOut_)
        return AVERROR(ETIMEDOUT);
    // One limit for the whole read: a camera that keeps the link open but sends no picture
    // for that long is as lost as one that closed it.
    interrupter_.Arm(kReadLimit);
    for (;;) {
        const int result = av_read_frame(context_, packet);
        if (result == AVERROR(EAGAIN) && !interrupter_.Expired() && !interrupter_.Cancelled()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (result < 0)
            return result;
        timedOut_ = interrupter_.Expired();
        if (packet->stream_index == videoIndex_) {
            if (!parameterSets_)
                return 0;
            const int filtered = ReadVideoFiltered(packet);
            if (filtered == AVERROR(EAGAIN))
                continue;
            return filtered;
        }
        if (packet->stream_index == audioIndex_)
            return 0;
        av_packet_unref(packet);
        if (interrupter_.Expired())
            return AVERROR(ETIMEDOUT);
    }
}

int RtspInput::StampMs(const AVPacket* packet) const
{
    if (!context_ || packet->stream_index < 0 ||
        packet->stream_index >= static_cast<int>(context_->nb_streams))
        return 0;
    const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (time == AV_NOPTS_VALUE)
        return 0;
    const int64_t ms = av_rescale_q(time, context_->streams[packet->stream_index]->time_base, AVRational{1, 1000});
    return static_cast<int>(static_cast<uint32_t>(ms));
}

}  // namespace camlink
