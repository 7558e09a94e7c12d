// Decoding a frame allocates nothing in the system's own layers: steady-state decoding
// allocates no more than libavcodec does by itself for the same frames (small reference
// records of its pooled pictures, and for XviD the macroblock quantisers it reports), and
// nothing at all through the XviD library. The media
// object decodes through the same decoding session and picture writer as the system codec. Counted by wrapping the process's allocator, so this
// suite is built only without sanitizers (they bring allocators of their own).

#include "decoder_library/Halvane.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/codecs/Vfw.h"
#include "tests/platform/codecs/TestMedia.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

std::atomic<bool> g_counting{false};
std::atomic<std::size_t> g_allocations{0};
std::atomic<std::size_t> g_bytes{0};

void Count(std::size_t bytes)
{
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
        g_bytes.fetch_add(bytes, std::memory_order_relaxed);
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void* malloc(std::size_t size)
{
    Count(size);
    return __libc_malloc(size);
}

__attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size)
{
    Count(count * size);
    return __libc_calloc(count, size);
}

__attribute__((visibility("default"))) void* realloc(void* memory, std::size_t size)
{
    Count(size);
    return __libc_realloc(memory, size);
}

__attribute__((visibility("default"))) int posix_memalign(void** memory, std::size_t alignment, std::size_t size)
{
    Count(size);
    *memory = __libc_memalign(alignment, size);
    return *memory != nullptr ? 0 : ENOMEM;
}

__attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    Count(size);
    return __libc_memalign(alignment, size);
}

}  // extern "C"

namespace {

struct Usage {
    std::size_t allocations;
    std::size_t bytes;
};

template <typename DecodeOne>
Usage Measure(std::size_t first, std::size_t last, DecodeOne decodeOne)
{
    g_allocations = 0;
    g_bytes = 0;
    g_counting = true;
    for (std::size_t i = first; i < last; ++i)
        decodeOne(i);
    g_counting = false;
    return Usage{g_allocations.load(), g_bytes.load()};
}

// What libavcodec allocates by itself decoding the same frames (small reference records
// for its pooled pictures and tables), with packets made beforehand: the system's layers
// may add nothing to it. `asXvid` sets the decoder up as the library does for XviD streams,
// quantisers reported with each picture.
Usage LibavcodecAlone(const char* decoderName, const test_media::EncodedStream& stream, std::size_t first,
                      bool asXvid)
{
    const AVCodec* codec = avcodec_find_decoder_by_name(decoderName);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = stream.width;
    context->height = stream.height;
    context->thread_count = 1;
    if (asXvid) {
        context->codec_tag = platform::MakeFourCC('X', 'V', 'I', 'D');
        context->idct_algo = FF_IDCT_XVID;
        context->flags |= AV_CODEC_FLAG_BITEXACT;
        context->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
    } else {
        context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    }
    if (!stream.codecData.empty()) {
        context->extradata =
            static_cast<std::uint8_t*>(av_mallocz(stream.codecData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(context->extradata, stream.codecData.data(), stream.codecData.size());
        context->extradata_size = static_cast<int>(stream.codecData.size());
    }
    avcodec_open2(context, codec, nullptr);
    std::vector<AVPacket*> packets;
    for (const auto& frame : stream.frames) {
        AVPacket* packet = av_packet_alloc();
        av_new_packet(packet, static_cast<int>(frame.data.size()));
        std::memcpy(packet->data, frame.data.data(), frame.data.size());
        packets.push_back(packet);
    }
    AVFrame* picture = av_frame_alloc();
    auto decodeOne = [&](std::size_t i) {
        avcodec_send_packet(context, packets[i]);
        if (avcodec_receive_frame(context, picture) >= 0)
            av_frame_unref(picture);
    };
    Measure(0, first, decodeOne);
    const Usage usage = Measure(first, stream.frames.size(), decodeOne);
    av_frame_free(&picture);
    for (AVPacket* packet : packets)
        av_packet_free(&packet);
    avcodec_free_context(&context);
    return usage;
}

}  // namespace

TEST(DecodeAllocations, DecodingAddsNoAllocationToTheDecodersOwn)
{
    ASSERT_EQ(DEC_LoadLibrary(), 1);
    enum class Peer { Libavcodec, LibavcodecAsXvid, Nothing };
    struct Path {
        const char* name;
        const char* encoder;
        int compressor;
        std::uint32_t tag;
        int flags;
        Peer peer;
    } paths[] = {{"system codec", "msmpeg4v2", 2, 0, 0, Peer::Libavcodec},
                 {"XviD through libavcodec", "mpeg4", 3, platform::MakeFourCC('X', 'V', 'I', 'D'), 0,
                  Peer::LibavcodecAsXvid},
                 {"XviD through the XviD library (interlaced)", "mpeg4", 3, platform::MakeFourCC('X', 'V', 'I', 'D'),
                  AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME, Peer::Nothing}};
    for (const Path& path : paths) {
        SCOPED_TRACE(path.name);
        const auto stream = test_media::Encode(path.encoder, 352, 288, 40, 20, path.tag, 3, path.flags);
        const int index = DEC_CreateVideoDecoder(0);
        const DecoderFormat format{352, 288, path.compressor};
        ASSERT_EQ(DEC_SetDecoderFMT(index, 0, &format), 1);
        std::vector<unsigned char> picture(352 * 288 * 3 / 2);
        int failures = 0;
        auto decodeOne = [&](std::size_t i) {
            int length = 0;
            const auto& frame = stream.frames[i];
            if (DEC_DecodeData(index, frame.data.data(), picture.data(), static_cast<int>(frame.data.size()), &length,
                               frame.key, 0) != 1)
                ++failures;
        };
        Measure(0, 10, decodeOne);  // warm-up: pools fill
        const Usage usage = Measure(10, stream.frames.size(), decodeOne);
        EXPECT_EQ(failures, 0);
        // The XviD library allocates nothing per frame; libavcodec what it does alone.
        const Usage peer = path.peer == Peer::Nothing
                               ? Usage{0, 0}
                               : LibavcodecAlone(path.encoder, stream, 10, path.peer == Peer::LibavcodecAsXvid);
        EXPECT_LE(usage.allocations, peer.allocations);
        EXPECT_LE(usage.bytes, peer.bytes);
        DEC_DestroyVideoDecoder(index);
    }
    DEC_FreeLibrary();
}
