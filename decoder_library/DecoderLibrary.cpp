#include "decoder_library/DecoderLibrary.h"

// Lock order: the table mutex, then the decode lock, then an entry mutex; the capture lock
// is never held together with the decode lock.

#include <cstdint>
#include <cstring>
#include <memory>

#include "common/TraceMessage.h"
#include "decoder_library/ADPCMCodec.h"
#include "decoder_library/DecoderCapture.h"
#include "decoder_library/DecoderTable.h"
#include "decoder_library/MutexLock.h"
#include "decoder_library/SnapshotFile.h"
#include "decoder_library/VideoCodecCamera.h"
#include "decoder_library/VideoCodecMPEG4.h"
#include "decoder_library/VideoCodecWMV9DMO.h"
#include "decoder_library/VideoCodecXviD.h"
#include "platform/codecs/MediaObject.h"

DecoderEntry g_decoders[kDecoderCount];
DecoderLibraryState g_library;

namespace halvane {

namespace {

// FourCC handed to OpenDecoder for each compressor value; 0 names none.
constexpr std::uint32_t kCompressorFourCC[6] = {
    0,
    platform::MakeFourCC('M', 'P', 'G', '4'),
    platform::MakeFourCC('M', 'P', '4', '2'),
    platform::MakeFourCC('M', 'P', '4', '3'),
    platform::MakeFourCC('X', 'V', 'I', 'D'),
    platform::MakeFourCC('W', 'M', 'V', '3'),
};

std::uint32_t FourCCOfCompressor(int compressor)
{
    switch (compressor) {
    case DEC_COMPRESSOR_H264: return platform::MakeFourCC('H', '2', '6', '4');
    case DEC_COMPRESSOR_H265: return platform::MakeFourCC('H', 'E', 'V', 'C');
    case DEC_COMPRESSOR_MJPEG: return platform::MakeFourCC('M', 'J', 'P', 'G');
    default: return compressor >= 0 && compressor < 6 ? kCompressorFourCC[compressor] : 0;
    }
}

// Pictures beyond this size are refused before any codec is made.
constexpr int kMaximumDimension = 16384;

bool IsValidIndex(int index)
{
    return index >= 0 && index < kDecoderCount;
}

void SetError(int code)
{
    g_library.nLastError.store(code);
}

// Destroys a codec detached from its entry once no decode can still be running in it.
void DestroyDetachedCodec(CVideoCodec* codec)
{
    if (codec == nullptr)
        return;
    CCriticalSectionLock decodeLock(g_library.csDecode);
    delete codec;
}

std::unique_ptr<CVideoCodec> MakeCodec(int compressor)
{
    switch (compressor) {
    case 0:
    case 1:
    case 2:
        return std::make_unique<CVideoCodecMPEG4>();
    case 3:
        return std::make_unique<CVideoCodecXviD>();
    case 4:
        return std::make_unique<CVideoCodecWMV9DMO>();
    case DEC_COMPRESSOR_H264:
    case DEC_COMPRESSOR_H265:
    case DEC_COMPRESSOR_MJPEG:
        return std::make_unique<CVideoCodecCamera>();
    default:
        return nullptr;
    }
}

CodecBitmapInfo PictureHeader(int width, int height, std::uint32_t size, std::uint32_t compression)
{
    CodecBitmapInfo header{};
    header.bmiHeader.biSize = size;
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 12;
    header.bmiHeader.biCompression = compression;
    header.bmiHeader.biSizeImage =
        static_cast<std::uint32_t>(static_cast<std::int64_t>(width) * height * 12 / 8);
    return header;
}

}  // namespace

int LoadLibrary()
{
    if (g_library.bLoaded.load())
        return 1;
    g_library.pTableMutex = std::make_unique<platform::Mutex>(false);
    platform::CoInitialize(nullptr);
    g_library.nTableSize = kDecoderCount;
    for (DecoderEntry& entry : g_decoders)
        entry.pMutex.reset();
    g_library.bLoaded.store(1);
    return 1;
}

int FreeLibrary()
{
    if (!g_library.bLoaded.load())
        return 1;
    TraceMessage("[HALVANE] - DEC_FreeLibrary()");
    g_library.pTableMutex.reset();
    g_library.bLoaded.store(0);
    for (DecoderEntry& entry : g_decoders)
        entry.pMutex.reset();
    platform::CoUninitialize();
    return 1;
}

int CreateVideoDecoder(int channel)
{
    TraceMessage("[HALVANE] - Come into DEC_CreateVideoDecoder.Channel: %d", channel);
    if (!g_library.bLoaded.load())
        return -3;
    CMutexLock tableLock(g_library.pTableMutex.get());
    int index = 0;
    while (index < kDecoderCount && g_decoders[index].bInUse.load())
        ++index;
    if (index == kDecoderCount) {
        SetError(DEC_ERROR_BAD_INDEX);
        return -1;
    }
    DecoderEntry& entry = g_decoders[index];
    const int count = ++g_library.nDecoderCount;
    entry.pMutex.reset();
    entry.bInUse.store(1);
    entry.pMutex = std::make_unique<platform::Mutex>(false);
    entry.nChannel = channel;
    entry.pVideoCodec.store(nullptr);
    if (entry.pAudioDecoder == nullptr) {
        auto audio = std::make_unique<ADPCMCodec>();
        CCriticalSectionLock decodeLock(g_library.csDecode);
        entry.pAudioDecoder = std::move(audio);
    }
    TraceMessage("[HALVANE] - Leave DEC_createVideoDecoder. nIndex: %d. Decoder nums: %d", index, count);
    return index;
}

int DestroyVideoDecoder(int index)
{
    TraceMessage("[HALVANE] - Come into DEC_destroyVideoDecoder. nIndex: %d", index);
    CMutexLock tableLock(g_library.pTableMutex.get());
    if (!IsValidIndex(index)) {
        SetError(DEC_ERROR_BAD_INDEX);
        TraceMessage("[HALVANE] - FAILED. Leave DEC_destroyVideoDecoder. Decoder nums: %d",
                     g_library.nDecoderCount.load());
        return 0;
    }
    DecoderEntry& entry = g_decoders[index];
    CVideoCodec* detached = entry.pVideoCodec.exchange(nullptr);
    {
        CMutexLock entryLock(entry.pMutex.get());
        entry.nWidth.store(0);
        entry.nHeight.store(0);
        entry.nCompressor.store(0);
    }
    // An entry that was not in use leaves the live count as it is, so the count in the log
    // lines stays the number of entries in use.
    const int count = entry.bInUse.exchange(0) != 0 ? --g_library.nDecoderCount : g_library.nDecoderCount.load();
    entry.pMutex.reset();
    DestroyDetachedCodec(detached);
    TraceMessage("[HALVANE] - Leave DEC_destroyVideoDecoder. Decoder nums: %d", count);
    return 1;
}

int SetDecoderFormat(int index, const DecoderFormat* format)
{
    TraceMessage("[HALVANE] - Come into DEC_setDecoderFMT, nIndex: %d", index);
    if (!g_library.bLoaded.load()) {
        SetError(DEC_ERROR_NOT_LOADED);
        return 0;
    }
    if (!IsValidIndex(index)) {
        SetError(DEC_ERROR_BAD_INDEX);
        return 0;
    }
    DecoderEntry& entry = g_decoders[index];
    if (!entry.bInUse.load()) {
        SetError(DEC_ERROR_NOT_IN_USE);
        return 0;
    }
    if (format == nullptr) {
        SetError(DEC_ERROR_CODEC_OPEN);
        TraceMessage("[HALVANE] - Leave DEC_setDecoderFMT, -- BeginDecode fail --nIndex:%d", index);
        return 0;
    }
    CCriticalSectionLock decodeLock(g_library.csDecode);
    const int width = format->width;
    const int height = format->height;
    const int compressor = format->compressor;
    const bool changed = entry.pVideoCodec.load() == nullptr || entry.nWidth.load() != width ||
                         entry.nHeight.load() != height || entry.nCompressor.load() != compressor;
    if (changed) {
        std::unique_ptr<CVideoCodec> codec = MakeCodec(compressor);
        if (codec != nullptr) {
            // A picture size no codec can hold is refused like a codec that cannot begin.
            bool usable = width > 0 && height > 0 && width <= kMaximumDimension && height <= kMaximumDimension;
            if (usable) {
                const CodecBitmapInfo input = PictureHeader(width, height, sizeof(CodecBitmapInfo), 0);
                const CodecBitmapInfo output = PictureHeader(width, height, sizeof(platform::BITMAPINFOHEADER),
                                                             platform::MakeFourCC('Y', 'V', '1', '2'));
                const int opened = codec->OpenDecoder(FourCCOfCompressor(compressor));
                const int begun = codec->BeginDecompress(&input, &output);
                usable = opened != 0 && begun != 0;
            }
            if (!usable) {
                codec.reset();
                SetError(DEC_ERROR_CODEC_OPEN);
                TraceMessage("[HALVANE] - Leave DEC_setDecoderFMT, -- BeginDecode fail --nIndex:%d", index);
                return 0;
            }
            CVideoCodec* old = entry.pVideoCodec.exchange(codec.release());
            {
                CMutexLock entryLock(entry.pMutex.get());
                entry.nWidth.store(width);
                entry.nHeight.store(height);
                entry.nCompressor.store(compressor);
            }
            // The decode lock is held: no decode runs in the old codec.
            delete old;
            TraceMessage("[HALVANE] -  SetDecoderFMT() pVideoCodec: %d",
                         static_cast<int>(reinterpret_cast<std::intptr_t>(entry.pVideoCodec.load())));
        }
    }
    TraceMessage("[HALVANE] - Leave DEC_setDecoderFMT, nIndex:%d", index);
    return 1;
}

int DecodeData(int index, const unsigned char* frame, unsigned char* picture, int frameLength, int* pictureLength,
               int keyFrame)
{
    if (!IsValidIndex(index)) {
        SetError(DEC_ERROR_BAD_INDEX);
        return 0;
    }
    DecoderEntry& entry = g_decoders[index];
    int width = 0;
    int height = 0;
    int decoded = 0;
    {
        CCriticalSectionLock decodeLock(g_library.csDecode);
        CVideoCodec* codec = entry.pVideoCodec.load();
        if (codec == nullptr) {
            SetError(DEC_ERROR_BAD_INDEX);
            TraceMessage("[HALVANE] - \xBD\xE2\xC2\xEB\xC6\xF7\xCE\xB4\xB4\xB4\xBD\xA8. nIndex:%d", index);
            return 0;
        }
        decoded = codec->Decode(frame, picture, frameLength, pictureLength);
        if (decoded == 0) {
            SetError(DEC_ERROR_VIDEO_DECODE);
            TraceMessage("[HALVANE] - \xBD\xE2\xC2\xEB\xCA\xA7\xB0\xDC. nIndex:%d", index);
            return 0;
        }
        // The size of the picture just decoded: a format change after the lock is left must
        // not make the snapshot read past the caller's buffer.
        width = entry.nWidth.load();
        height = entry.nHeight.load();
    }
    // A frame held back for display order is still the camera's frame: it is recorded.
    if (!CaptureVideoFrame(index, frame, frameLength, keyFrame != 0))
        return 0;
    if (decoded == CVideoCodecCamera::kNoPictureYet)
        return 1;
    // The request is taken before its path is read, so a DEC_Snap arriving meanwhile is kept
    // for the next picture rather than lost.
    if (entry.bSnapRequested.exchange(0) != 0) {
        char path[sizeof entry.szSnapPath];
        std::memcpy(path, entry.szSnapPath, sizeof path);
        path[sizeof path - 1] = '\0';
        SaveSnapshot(picture, width, height, path);
    }
    return 1;
}

int DecodeAudio(int index, const unsigned char* adpcm, short* pcm, int length, int captureOnly)
{
    if (!IsValidIndex(index)) {
        SetError(DEC_ERROR_BAD_INDEX);
        return 0;
    }
    DecoderEntry& entry = g_decoders[index];
    if (captureOnly == 0) {
        CCriticalSectionLock decodeLock(g_library.csDecode);
        if (entry.pAudioDecoder == nullptr) {
            SetError(DEC_ERROR_NO_AUDIO_DECODER);
            TraceMessage("[HALVANE] - \xD2\xF4\xC6\xB5\xBD\xE2\xC2\xEB\xC6\xF7\xCE\xB4\xB4\xB4\xBD\xA8");
            return 0;
        }
        if (entry.pAudioDecoder->Decode(adpcm, length, pcm, ADPCMCodec::kBlockBytes) == 0) {
            SetError(DEC_ERROR_AUDIO_DECODE);
            TraceMessage("[HALVANE] - \xBD\xE2\xC2\xEB\xCA\xA7\xB0\xDC. nIndex:%d", index);
            return 0;
        }
    }
    CaptureAudioBlock(index, adpcm, length);
    return 1;
}

int Snap(int index, const char* path)
{
    if (!IsValidIndex(index)) {
        SetError(DEC_ERROR_BAD_INDEX);
        return 0;
    }
    DecoderEntry& entry = g_decoders[index];
    // Longer names are cut to what the entry holds; an empty name saves nothing.
    const std::size_t length = path != nullptr ? strnlen(path, sizeof entry.szSnapPath - 1) : 0;
    std::memcpy(entry.szSnapPath, path != nullptr ? path : "", length);
    entry.szSnapPath[length] = '\0';
    entry.bSnapRequested.exchange(1);
    return 1;
}

int GetLastError()
{
    return g_library.nLastError.load();
}

int SetLastError(int code)
{
    g_library.nLastError.store(code);
    return code;
}

}  // namespace halvane
