// The audio compression manager over libavcodec: one AcmStream per HACMSTREAM.

#include "platform/codecs/Msacm.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace platform {

struct AcmDriver {
    std::uint16_t formatTag;   // the compressed format it reads; PCM for the converter
    AVCodecID codec;           // AV_CODEC_ID_NONE: converted here
    const char* shortName;
    const char* longName;
};

namespace {

AcmDriver g_drivers[] = {
    {WAVE_FORMAT_IMA_ADPCM, AV_CODEC_ID_ADPCM_IMA_WAV, "IMA ADPCM", "IMA ADPCM Audio CODEC"},
    {WAVE_FORMAT_ADPCM, AV_CODEC_ID_ADPCM_MS, "MS-ADPCM", "Microsoft ADPCM Audio CODEC"},
    {WAVE_FORMAT_ALAW, AV_CODEC_ID_PCM_ALAW, "CCITT G.711", "CCITT G.711 A-Law and u-Law CODEC"},
    {WAVE_FORMAT_MULAW, AV_CODEC_ID_PCM_MULAW, "CCITT G.711", "CCITT G.711 A-Law and u-Law CODEC"},
    {WAVE_FORMAT_PCM, AV_CODEC_ID_NONE, "PCM", "PCM Converter"},
};

// Format records of the drivers carry at most this much format data after the 18 bytes.
constexpr ACMDWORD kMaxFormatBytes = sizeof(WAVEFORMATEX) + 32;

AcmDriver* DriverFor(std::uint16_t tag)
{
    for (AcmDriver& driver : g_drivers)
        if (driver.formatTag == tag)
            return &driver;
    return nullptr;
}

// Samples per channel in one block of the source format; 0 for a format no driver reads.
std::uint32_t SamplesPerBlock(const WAVEFORMATEX& format)
{
    const std::uint32_t channels = format.nChannels;
    const std::uint32_t block = format.nBlockAlign;
    if (channels == 0 || block == 0)
        return 0;
    switch (format.wFormatTag) {
    case WAVE_FORMAT_IMA_ADPCM:
        // A 4-byte header per channel holding the first sample, then two samples a byte.
        if (format.wBitsPerSample != 4 || block <= 4 * channels || (block - 4 * channels) % (4 * channels) != 0)
            return 0;
        return (block - 4 * channels) * 2 / channels + 1;
    case WAVE_FORMAT_ADPCM:
        if (format.wBitsPerSample != 4 || block <= 7 * channels)
            return 0;
        return (block - 7 * channels) * 2 / channels + 2;
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
        return format.wBitsPerSample == 8 && block == channels ? 1 : 0;
    case WAVE_FORMAT_PCM:
        if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16)
            return 0;
        return block == channels * format.wBitsPerSample / 8 ? 1 : 0;
    default:
        return 0;
    }
}

bool ValidSource(const WAVEFORMATEX* format)
{
    return format != nullptr && format->nChannels >= 1 && format->nChannels <= 8 && format->nSamplesPerSec >= 100 &&
           format->nSamplesPerSec <= 200000 && DriverFor(format->wFormatTag) != nullptr && SamplesPerBlock(*format) != 0;
}

bool ValidPcm(const WAVEFORMATEX* format)
{
    return format != nullptr && format->wFormatTag == WAVE_FORMAT_PCM &&
           (format->wBitsPerSample == 8 || format->wBitsPerSample == 16) && format->nChannels >= 1 &&
           format->nChannels <= 2 && format->nBlockAlign == format->nChannels * format->wBitsPerSample / 8;
}

// The checks every call on a handle makes first, in this order: the handle, then the
// structure the call reads or fills. MMSYSERR_NOERROR when both are usable.
MMRESULT CheckCall(const void* handle, bool argumentUsable)
{
    if (handle == nullptr)
        return MMSYSERR_INVALHANDLE;
    if (!argumentUsable)
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

// CheckCall for the calls that need a prepared header: ACMERR_UNPREPARED when it is not.
MMRESULT CheckPreparedHeader(HACMSTREAM stream, const ACMSTREAMHEADER* header)
{
    const MMRESULT checked = CheckCall(stream, header != nullptr);
    if (checked != MMSYSERR_NOERROR)
        return checked;
    if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0)
        return ACMERR_UNPREPARED;
    return MMSYSERR_NOERROR;
}

}  // namespace

struct AcmStream {
    AcmDriver* driver = nullptr;
    WAVEFORMATEX source{};
    WAVEFORMATEX destination{};
    std::uint32_t samplesPerBlock = 0;
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    std::vector<std::int16_t> samples;   // one block, interleaved as the source

    ~AcmStream()
    {
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }

    std::uint32_t OutputBytesPerBlock() const
    {
        return samplesPerBlock * destination.nBlockAlign;
    }

    // Decodes one source block into `samples` (source channels interleaved). False when the
    // decoder rejects it.
    bool DecodeBlock(const std::uint8_t* block)
    {
        const std::uint32_t channels = source.nChannels;
        samples.assign(static_cast<std::size_t>(samplesPerBlock) * channels, 0);
        if (context == nullptr) {
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = source.wBitsPerSample == 8
                                 ? static_cast<std::int16_t>((block[i] - 128) << 8)
                                 : static_cast<std::int16_t>(block[2 * i] | (block[2 * i + 1] << 8));
            return true;
        }
        AVPacket* packet = av_packet_alloc();
        if (packet == nullptr || av_new_packet(packet, source.nBlockAlign) < 0) {
            av_packet_free(&packet);
            return false;
        }
        std::memcpy(packet->data, block, source.nBlockAlign);
        const int sent = avcodec_send_packet(context, packet);
        av_packet_free(&packet);
        if (sent < 0)
            return false;
        std::size_t written = 0;
        while (avcodec_receive_frame(context, frame) >= 0) {
            const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format)) != 0;
            const std::size_t count = std::min<std::size_t>(frame->nb_samples, samplesPerBlock - written / channels);
            for (std::size_t s = 0; s < count; ++s) {
                for (std::uint32_t c = 0; c < channels; ++c) {
                    const auto* plane = reinterpret_cast<const std::int16_t*>(planar ? frame->extended_data[c]
                                                                                     : frame->extended_data[0]);
                    samples[written + s * channels + c] = planar ? plane[s] : plane[s * channels + c];
                }
            }
            written += count * channels;
            av_frame_unref(frame);
        }
        return true;
    }

    // Writes the decoded block in the destination's layout.
    void WriteBlock(std::uint8_t* out) const
    {
        const std::uint32_t inChannels = source.nChannels;
        const std::uint32_t outChannels = destination.nChannels;
        for (std::uint32_t s = 0; s < samplesPerBlock; ++s) {
            const std::int16_t* in = &samples[static_cast<std::size_t>(s) * inChannels];
            for (std::uint32_t c = 0; c < outChannels; ++c) {
                int value;
                if (inChannels == outChannels)
                    value = in[c];
                else if (outChannels == 1) {
                    int sum = 0;
                    for (std::uint32_t k = 0; k < inChannels; ++k)
                        sum += in[k];
                    value = sum / static_cast<int>(inChannels);
                } else
                    value = in[std::min(c, inChannels - 1)];
                if (destination.wBitsPerSample == 8) {
                    *out++ = static_cast<std::uint8_t>((value >> 8) + 128);
                } else {
                    *out++ = static_cast<std::uint8_t>(value & 0xFF);
                    *out++ = static_cast<std::uint8_t>((value >> 8) & 0xFF);
                }
            }
        }
    }
};

MMRESULT acmMetrics(HACMOBJ object, unsigned metric, void* value)
{
    (void)object;
    if (value == nullptr)
        return MMSYSERR_INVALPARAM;
    if (metric != ACM_METRIC_MAX_SIZE_FORMAT)
        return MMSYSERR_INVALPARAM;
    *static_cast<ACMDWORD*>(value) = kMaxFormatBytes;
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER driver, const WAVEFORMATEX* source, WAVEFORMATEX* destination,
                          ACMDWORD cbDestination, ACMDWORD flags)
{
    (void)driver;
    if (source == nullptr || destination == nullptr || cbDestination < sizeof(WAVEFORMATEX))
        return MMSYSERR_INVALPARAM;
    if (!ValidSource(source))
        return ACMERR_NOTPOSSIBLE;
    WAVEFORMATEX suggestion{};
    suggestion.wFormatTag = WAVE_FORMAT_PCM;
    suggestion.nChannels = source->nChannels;
    suggestion.nSamplesPerSec = source->nSamplesPerSec;
    suggestion.wBitsPerSample = 16;
    if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) != 0 && destination->wFormatTag != WAVE_FORMAT_PCM)
        return ACMERR_NOTPOSSIBLE;
    if ((flags & ACM_FORMATSUGGESTF_NCHANNELS) != 0)
        suggestion.nChannels = destination->nChannels;
    if ((flags & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) != 0 && destination->nSamplesPerSec != source->nSamplesPerSec)
        return ACMERR_NOTPOSSIBLE;   // no rate conversion
    if ((flags & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) != 0)
        suggestion.wBitsPerSample = destination->wBitsPerSample;
    suggestion.nBlockAlign = static_cast<std::uint16_t>(suggestion.nChannels * suggestion.wBitsPerSample / 8);
    suggestion.nAvgBytesPerSec = suggestion.nBlockAlign * suggestion.nSamplesPerSec;
    suggestion.cbSize = 0;
    *destination = suggestion;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER driver, const WAVEFORMATEX* source,
                       const WAVEFORMATEX* destination, void* filter, std::uintptr_t callback,
                       std::uintptr_t instance, ACMDWORD flags)
{
    (void)driver;
    (void)instance;
    if (stream != nullptr)
        *stream = nullptr;
    if (filter != nullptr || callback != 0)
        return MMSYSERR_INVALPARAM;
    if ((flags & ACM_STREAMOPENF_ASYNC) != 0)
        return MMSYSERR_INVALFLAG;
    if (!ValidSource(source) || !ValidPcm(destination) || destination->nSamplesPerSec != source->nSamplesPerSec)
        return ACMERR_NOTPOSSIBLE;
    if ((flags & ACM_STREAMOPENF_QUERY) != 0)
        return MMSYSERR_NOERROR;
    if (stream == nullptr)
        return MMSYSERR_INVALPARAM;
    auto* opened = new (std::nothrow) AcmStream;
    if (opened == nullptr)
        return MMSYSERR_NOMEM;
    opened->driver = DriverFor(source->wFormatTag);
    opened->source = *source;
    opened->source.cbSize = 0;
    opened->destination = *destination;
    opened->samplesPerBlock = SamplesPerBlock(*source);
    if (opened->driver->codec != AV_CODEC_ID_NONE) {
        const AVCodec* codec = avcodec_find_decoder(opened->driver->codec);
        opened->context = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
        opened->frame = av_frame_alloc();
        if (opened->context == nullptr || opened->frame == nullptr) {
            delete opened;
            return MMSYSERR_NOMEM;
        }
        opened->context->sample_rate = static_cast<int>(source->nSamplesPerSec);
        av_channel_layout_default(&opened->context->ch_layout, source->nChannels);
        opened->context->block_align = source->nBlockAlign;
        opened->context->bits_per_coded_sample = source->wBitsPerSample;
        if (avcodec_open2(opened->context, codec, nullptr) < 0) {
            delete opened;
            return ACMERR_NOTPOSSIBLE;
        }
    }
    *stream = opened;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, ACMDWORD flags)
{
    (void)flags;
    if (stream == nullptr)
        return MMSYSERR_INVALHANDLE;
    delete stream;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM stream, ACMDWORD input, ACMDWORD* output, ACMDWORD flags)
{
    if (const MMRESULT checked = CheckCall(stream, output != nullptr); checked != MMSYSERR_NOERROR)
        return checked;
    const ACMDWORD block = stream->source.nBlockAlign;
    const ACMDWORD outBlock = stream->OutputBytesPerBlock();
    if (flags == ACM_STREAMSIZEF_SOURCE) {
        if (input < block)
            return ACMERR_NOTPOSSIBLE;
        *output = input / block * outBlock;
        return MMSYSERR_NOERROR;
    }
    if (flags == ACM_STREAMSIZEF_DESTINATION) {
        if (input < outBlock)
            return ACMERR_NOTPOSSIBLE;
        *output = input / outBlock * block;
        return MMSYSERR_NOERROR;
    }
    return MMSYSERR_INVALFLAG;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, ACMDWORD flags)
{
    (void)flags;
    const bool usable = header != nullptr && header->cbStruct >= sizeof(ACMSTREAMHEADER) &&
                        header->pbSrc != nullptr && header->pbDst != nullptr;
    if (const MMRESULT checked = CheckCall(stream, usable); checked != MMSYSERR_NOERROR)
        return checked;
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, ACMDWORD flags)
{
    (void)flags;
    if (const MMRESULT checked = CheckPreparedHeader(stream, header); checked != MMSYSERR_NOERROR)
        return checked;
    header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, ACMDWORD flags)
{
    (void)flags;
    if (const MMRESULT checked = CheckPreparedHeader(stream, header); checked != MMSYSERR_NOERROR)
        return checked;
    const ACMDWORD block = stream->source.nBlockAlign;
    const ACMDWORD outBlock = stream->OutputBytesPerBlock();
    ACMDWORD used = 0;
    ACMDWORD produced = 0;
    while (header->cbSrcLength - used >= block && header->cbDstLength - produced >= outBlock) {
        if (!stream->DecodeBlock(header->pbSrc + used))
            stream->samples.assign(static_cast<std::size_t>(stream->samplesPerBlock) * stream->source.nChannels, 0);
        stream->WriteBlock(header->pbDst + produced);
        used += block;
        produced += outBlock;
    }
    header->cbSrcLengthUsed = used;
    header->cbDstLengthUsed = produced;
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverID(HACMOBJ object, HACMDRIVERID* driver, ACMDWORD flags)
{
    (void)flags;
    if (const MMRESULT checked = CheckCall(object, driver != nullptr); checked != MMSYSERR_NOERROR)
        return checked;
    *driver = static_cast<AcmStream*>(object)->driver;
    return MMSYSERR_NOERROR;
}

MMRESULT acmDriverDetailsA(HACMDRIVERID driver, ACMDRIVERDETAILSA* details, ACMDWORD flags)
{
    (void)flags;
    const bool usable = details != nullptr && details->cbStruct >= sizeof(ACMDRIVERDETAILSA);
    if (const MMRESULT checked = CheckCall(driver, usable); checked != MMSYSERR_NOERROR)
        return checked;
    *details = ACMDRIVERDETAILSA{};
    details->cbStruct = sizeof(ACMDRIVERDETAILSA);
    details->fccType = 0x63647561;   // "audc"
    details->cFormatTags = 2;
    std::strncpy(details->szShortName, driver->shortName, sizeof details->szShortName - 1);
    std::strncpy(details->szLongName, driver->longName, sizeof details->szLongName - 1);
    std::strncpy(details->szFeatures, "libavcodec", sizeof details->szFeatures - 1);
    return MMSYSERR_NOERROR;
}

}  // namespace platform
