#include "common/XvidAvDecode.h"

#include <cstring>

#include "common/XvidStreamHeader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/video_enc_params.h>
}

XvidAvDecode::~XvidAvDecode()
{
    Close();
}

bool XvidAvDecode::Create(int width, int height)
{
    Close();
    if (width <= 0 || height <= 0)
        return false;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    if (codec == nullptr)
        return false;
    m_context = avcodec_alloc_context3(codec);
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    m_held = av_frame_alloc();
    if (m_context == nullptr || m_packet == nullptr || m_frame == nullptr || m_held == nullptr) {
        Close();
        return false;
    }
    m_context->width = width;
    m_context->height = height;
    m_context->codec_tag = MKTAG('X', 'V', 'I', 'D');
    // The XviD library's inverse transform, at full resolution and in one thread: the other
    // transforms round differently, and the pictures must be the XviD library's. Bit-exact
    // mode keeps the vector half-sample interpolation of small blocks from approximating the
    // rounding of predictions made without it (the chroma would be one off here and there).
    m_context->idct_algo = FF_IDCT_XVID;
    m_context->flags |= AV_CODEC_FLAG_BITEXACT;
    m_context->lowres = 0;
    m_context->thread_count = 1;
    m_context->workaround_bugs = FF_BUG_AUTODETECT;
    // The quantiser of every macroblock comes with each picture: the deblocking needs it.
    m_context->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
    if (avcodec_open2(m_context, codec, nullptr) < 0) {
        Close();
        return false;
    }
    m_width = width;
    m_height = height;
    m_deblock = suite::LumaDeblock{};
    return true;
}

void XvidAvDecode::Close()
{
    av_frame_free(&m_frame);
    av_frame_free(&m_held);
    m_hasHeld = false;
    av_packet_free(&m_packet);
    avcodec_free_context(&m_context);
}

bool XvidAvDecode::FillPacket(const unsigned char* frame, int length)
{
    // libavcodec reads up to AV_INPUT_BUFFER_PADDING_SIZE bytes past a frame's end, which the
    // caller's frame does not have: the frame is copied into a buffer the packet owns, reused
    // while libavcodec holds no reference to it.
    const std::size_t needed = static_cast<std::size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE;
    AVBufferRef*& input = m_packet->buf;
    if (input == nullptr || input->size < needed || !av_buffer_is_writable(input)) {
        av_buffer_unref(&input);
        const std::size_t capacity = needed < 65536 ? 65536 : needed + needed / 2;
        input = av_buffer_alloc(capacity);
        if (input == nullptr)
            return false;
    }
    std::memcpy(input->data, frame, static_cast<std::size_t>(length));
    std::memset(input->data + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    m_packet->data = input->data;
    m_packet->size = length;
    return true;
}

XvidAvDecode::Result XvidAvDecode::Decode(const unsigned char* frame, int length, int timeIncrementBits)
{
    if (m_context == nullptr || frame == nullptr || length <= 0)
        return Result::Error;
    // A picture that is not coded repeats the last one, as the XviD library does; libavcodec
    // gives nothing for it.
    const bool uncoded = IsUncodedXvidPicture(frame, static_cast<std::size_t>(length), timeIncrementBits);
    if (!FillPacket(frame, length))
        return Result::Error;
    int sent = avcodec_send_packet(m_context, m_packet);
    if (sent == AVERROR(EAGAIN)) {
        // A picture of an earlier frame still waits (it was not taken): drop it, then retry.
        if (avcodec_receive_frame(m_context, m_frame) >= 0)
            av_frame_unref(m_frame);
        if (!FillPacket(frame, length))
            return Result::Error;
        sent = avcodec_send_packet(m_context, m_packet);
    }
    const int received = avcodec_receive_frame(m_context, m_frame);
    if (received < 0) {
        if (sent < 0)
            return Result::Error;
        return uncoded && m_hasHeld ? Result::Picture : Result::NoPicture;
    }
    // A picture of another size than the caller's is not given out.
    if (m_frame->width != m_width || m_frame->height != m_height || m_frame->format != AV_PIX_FMT_YUV420P ||
        m_frame->data[0] == nullptr || m_frame->data[1] == nullptr || m_frame->data[2] == nullptr ||
        m_frame->linesize[1] != m_frame->linesize[2]) {
        av_frame_unref(m_frame);
        return Result::NoPicture;
    }
    const AVFrameSideData* side = av_frame_get_side_data(m_frame, AV_FRAME_DATA_VIDEO_ENC_PARAMS);
    const int columns = (m_width + 15) / 16;
    const int rows = (m_height + 15) / 16;
    m_quantStride = columns;
    m_quants.assign(static_cast<std::size_t>(columns) * rows, 0);
    if (side != nullptr && side->size >= sizeof(AVVideoEncParams)) {
        const auto* params = reinterpret_cast<const AVVideoEncParams*>(side->data);
        // The MPEG-4 decoder reports each macroblock's quantiser doubled, on the scale of
        // MPEG-2's quantiser.
        for (unsigned i = 0; i < params->nb_blocks; ++i) {
            const AVVideoBlockParams* block = av_video_enc_params_block(const_cast<AVVideoEncParams*>(params), i);
            const int column = block->src_x / 16;
            const int row = block->src_y / 16;
            if (column >= 0 && column < columns && row >= 0 && row < rows)
                m_quants[static_cast<std::size_t>(row) * columns + column] = (params->qp + block->delta_qp) / 2;
        }
    }
    av_frame_unref(m_held);
    av_frame_move_ref(m_held, m_frame);
    m_hasHeld = true;
    return Result::Picture;
}

suite::LumaDeblock::Planes XvidAvDecode::HeldPlanes() const
{
    // libavcodec's pictures cover whole macroblocks, as the filter needs.
    suite::LumaDeblock::Planes planes;
    planes.y = m_held->data[0];
    planes.u = m_held->data[1];
    planes.v = m_held->data[2];
    planes.y_stride = m_held->linesize[0];
    planes.chroma_stride = m_held->linesize[1];
    return planes;
}

void XvidAvDecode::WriteYv12(unsigned char* picture)
{
    if (!m_hasHeld)
        return;
    const suite::LumaDeblock::Planes planes = HeldPlanes();
    const int width = m_width;
    const int height = m_height;
    m_deblock.DeblockLuma(planes, m_quants.data(), m_quantStride, width, height, picture, width);
    // Then V, then U, each at half the picture's width and height.
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    unsigned char* destinationV = picture + static_cast<std::size_t>(width) * height;
    unsigned char* destinationU = destinationV + static_cast<std::size_t>(chromaWidth) * chromaHeight;
    for (int row = 0; row < chromaHeight; ++row) {
        const std::size_t source = static_cast<std::size_t>(row) * planes.chroma_stride;
        std::memcpy(destinationV + static_cast<std::size_t>(row) * chromaWidth, planes.v + source, chromaWidth);
        std::memcpy(destinationU + static_cast<std::size_t>(row) * chromaWidth, planes.u + source, chromaWidth);
    }
}

void XvidAvDecode::PackYuy2(unsigned char* picture, int stride)
{
    if (!m_hasHeld)
        return;
    // Only progressive streams come here: chroma row y / 2 serves rows y and y + 1.
    m_deblock.PackYuy2(HeldPlanes(), m_quants.data(), m_quantStride, m_width, m_height, false, picture, stride);
}
