#include "decoder_library/DecoderCapture.h"

// Lock order: the capture lock is taken alone, never inside the decode lock. The record-file
// library's own writer locks are taken inside it. The caller's notification runs after the
// capture lock is left, so whatever it calls cannot deadlock against a capture step.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/TraceMessage.h"
#include "decoder_library/DecoderTable.h"
#include "decoder_library/MutexLock.h"
#include "platform/Tick.h"
#include "platform/TimeText.h"
#include "record_file_library/Stordane.h"

namespace halvane {

namespace {

constexpr int kCaptureVideo = 0x1;
constexpr int kCaptureVideoAndAudio = 0x2;
constexpr int kKindShift = 8;
constexpr int kKindMask = 0x3;
constexpr int kKindTimed = 2;

constexpr int kCaptureFrameRate = 15;
constexpr std::uint32_t kSplitCheckPeriodMs = 180000;
constexpr unsigned kSplitLengthSeconds = 1800;
// A capture file name without its folder, as "2010-04-29-051845 M101.avi".
constexpr std::size_t kFileNameChars = 26;
constexpr std::size_t kMaxPathChars = 259;

constexpr int kFrameVideoKey = OX_FRAME_VIDEO_KEY;
constexpr int kFrameVideoDelta = OX_FRAME_VIDEO_DELTA;
constexpr int kFrameAudio = OX_FRAME_AUDIO_ALT;
constexpr int kAudioBlockBytes = 256;
constexpr int kAudioLargeBlockBytes = 1024;

void SetError(int code)
{
    g_library.nLastError.store(code);
}

// The notification owed to the caller once the capture lock is left.
struct PendingNotification {
    DEC_CAPTURE_NOTIFY notify = nullptr;
    int value = 0;

    void Owe(const DecoderEntry& entry)
    {
        notify = entry.pNotify;
        value = entry.nNotifyValue;
    }
    void Deliver() const
    {
        if (notify != nullptr)
            notify(DEC_NOTIFY_WRITE_FAILED, value);
    }
};

// The folder followed by the name of a file created now. False when the two do not fit in a
// path of kMaxPathChars.
bool BuildFileName(const DecoderEntry& entry, char (&path)[260])
{
    const platform::LocalTime now = platform::GetLocalTime();
    // Both kind bits set count as a manual recording.
    const char letter = entry.nRecordKind == kKindTimed ? 'T' : 'M';
    const int chars = std::snprintf(path, sizeof path, "%s%04d-%02d-%02d-%02d%02d%02d %c1%02d.avi",
                                    entry.szCaptureFolder, now.year, now.month, now.day, now.hour, now.minute,
                                    now.second, letter, entry.nChannel + 1);
    return chars > 0 && static_cast<std::size_t>(chars) <= kMaxPathChars;
}

// Opens the entry's next capture file; logs `failureText` and sets 138 when it cannot.
bool CreateCaptureFile(int index, DecoderEntry& entry, const char* failureText)
{
    char path[260];
    if (!BuildFileName(entry, path) || OxCreateAVIFile(index, path) != 0) {
        TraceMessage("%s", failureText);
        SetError(DEC_ERROR_CAPTURE_FILE);
        entry.bFileMissing = 1;
        return false;
    }
    entry.bFileMissing = 0;
    return true;
}

const char kStartCreateFailed[] = "[HALVANE] - \xC6\xF4\xB6\xAF\xC2\xBC\xCF\xF1\xCA\xB1\xA3\xAC\xB4\xF2\xBF\xAA"
                                  "AVI\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC";
const char kSplitCreateFailed[] = "[HALVANE] - \xC7\xD0\xB8\xEE\xCE\xC4\xBC\xFE\xCA\xB1\xA3\xAC\xB4\xF2\xBF\xAA\xD0\xC2"
                                  "\xB5\xC4"
                                  "AVI\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED";

}  // namespace

int StartCapture(int index, const char* folder, int flags, DEC_CAPTURE_NOTIFY notify, int value)
{
    if (index < 0 || index >= kDecoderCount) {
        SetError(DEC_ERROR_BAD_INDEX);
        return 0;
    }
    const bool namesStream = (flags & (kCaptureVideo | kCaptureVideoAndAudio)) != 0;
    const bool namesKind = ((flags >> kKindShift) & kKindMask) != 0;
    if (!namesStream || !namesKind) {
        SetError(DEC_ERROR_CAPTURE_FLAGS);
        return 0;
    }
    DecoderEntry& entry = g_decoders[index];
    CCriticalSectionLock captureLock(g_library.csCapture);
    if (entry.bAudioCapture.load() || entry.bVideoCapture.load())
        StopCapture(index);

    // A folder that leaves no room for the file name names no file this library can create.
    const std::size_t folderChars = folder != nullptr ? strnlen(folder, sizeof entry.szCaptureFolder) : 0;
    if (folder == nullptr || folderChars + kFileNameChars > kMaxPathChars) {
        TraceMessage("%s", kStartCreateFailed);
        SetError(DEC_ERROR_CAPTURE_FILE);
        return 0;
    }
    std::memcpy(entry.szCaptureFolder, folder, folderChars);
    entry.szCaptureFolder[folderChars] = '\0';
    entry.nRecordKind = (flags >> kKindShift) & kKindMask;

    if (OxSetCapCompression(index, entry.nCompressor.load()) != 0) {
        TraceMessage("[HALVANE] - \xC6\xF4\xB6\xAF\xC2\xBC\xCF\xF1\xCA\xB1\xA3\xAC\xC9\xE8\xD6\xC3\xB1\xE0\xC2\xEB\xC6"
                     "\xF7\xCA\xA7\xB0\xDC");
        SetError(DEC_ERROR_CAPTURE_REFUSED);
        return 0;
    }
    if (OxSetCapSize(index, entry.nWidth.load(), entry.nHeight.load()) != 0) {
        TraceMessage("[HALVANE] - \xC6\xF4\xB6\xAF\xC2\xBC\xCF\xF1\xCA\xB1\xA3\xAC\xC9\xE8\xD6\xC3\xC2\xBC\xCF\xF1\xBF"
                     "\xED\xB8\xDF\xCA\xA7\xB0\xDC");
        SetError(DEC_ERROR_CAPTURE_REFUSED);
        return 0;
    }
    if (OxSetCapFrmRate(index, kCaptureFrameRate) != 0) {
        TraceMessage("[HALVANE] - \xC6\xF4\xB6\xAF\xC2\xBC\xCF\xF1\xCA\xB1\xA3\xAC\xC9\xE8\xD6\xC3\xC2\xBC\xCF\xF1\xD6"
                     "\xA1\xC2\xCA\xCA\xA7\xB0\xDC");
        SetError(DEC_ERROR_CAPTURE_REFUSED);
        return 0;
    }
    if (!CreateCaptureFile(index, entry, kStartCreateFailed))
        return 0;

    entry.pNotify = notify;
    entry.nNotifyValue = value;
    entry.bRecording = 0;
    entry.bVideoCapture.exchange(1);
    entry.bAudioCapture.exchange((flags & kCaptureVideoAndAudio) != 0 ? 1 : 0);
    entry.dwLastSplitCheck = platform::TickCount();
    return 1;
}

int StopCapture(int index)
{
    if (index < 0 || index >= kDecoderCount) {
        SetError(DEC_ERROR_BAD_INDEX);
        return 0;
    }
    DecoderEntry& entry = g_decoders[index];
    CCriticalSectionLock captureLock(g_library.csCapture);
    entry.bVideoCapture.exchange(0);
    entry.bAudioCapture.exchange(0);
    entry.bRecording = 0;
    entry.bFileMissing = 0;
    if (OxCloseAVIFile(index) != 0)
        TraceMessage("[HALVANE] - \xCD\xA3\xD6\xB9\xC2\xBC\xCF\xF1\xCA\xB1\xA3\xAC\xB9\xD8\xB1\xD5"
                     "AVI\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED");
    entry.dwLastSplitCheck = 0;
    return 1;
}

bool CaptureVideoFrame(int index, const unsigned char* frame, int length, bool keyFrame)
{
    DecoderEntry& entry = g_decoders[index];
    PendingNotification pending;
    bool fileReady = true;
    {
        CCriticalSectionLock captureLock(g_library.csCapture);
        // Delta frames before the first key frame of a file cannot be played: not recorded.
        if (!entry.bVideoCapture.load() || !(keyFrame || entry.bRecording))
            return true;
        // A file that could not be created at the last cut is tried again with each key
        // frame, where a new file can begin, so recording resumes once there is room.
        if (entry.bFileMissing && !CreateCaptureFile(index, entry, kSplitCreateFailed))
            return false;
        if (keyFrame)
            entry.bRecording = 1;
        if (OxWriteFrameToAVIFile(index, frame, length, keyFrame ? kFrameVideoKey : kFrameVideoDelta) != 0)
            pending.Owe(entry);

        const std::uint32_t now = platform::TickCount();
        if (now - entry.dwLastSplitCheck >= kSplitCheckPeriodMs) {
            if (OxGetFileTimeLength(index) >= kSplitLengthSeconds) {
                // This frame ends the file; the next one begins with the next key frame.
                entry.bRecording = 0;
                if (OxCloseAVIFile(index) != 0)
                    TraceMessage("[HALVANE] - \xC7\xD0\xB8\xEE\xCE\xC4\xBC\xFE\xCA\xB1\xA3\xAC\xB9\xD8\xB1\xD5"
                                 "AVI\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED");
                fileReady = CreateCaptureFile(index, entry, kSplitCreateFailed);
            }
            if (fileReady)
                entry.dwLastSplitCheck = now;
        }
    }
    pending.Deliver();
    return fileReady;
}

void CaptureAudioBlock(int index, const unsigned char* adpcm, int length)
{
    DecoderEntry& entry = g_decoders[index];
    PendingNotification pending;
    {
        CCriticalSectionLock captureLock(g_library.csCapture);
        // Sound before the first key frame of a file has no picture to go with: dropped.
        if (!entry.bAudioCapture.load() || !entry.bRecording)
            return;
        // The record-file library takes one block per call, 256 bytes or 1024; longer data
        // goes in as 256-byte blocks so none of it is dropped.
        if (length == kAudioLargeBlockBytes || length <= kAudioBlockBytes || adpcm == nullptr) {
            if (OxWriteFrameToAVIFile(index, adpcm, length, kFrameAudio) != 0)
                pending.Owe(entry);
        } else {
            for (int offset = 0; offset < length; offset += kAudioBlockBytes) {
                const int block = std::min(kAudioBlockBytes, length - offset);
                if (OxWriteFrameToAVIFile(index, adpcm + offset, block, kFrameAudio) != 0)
                    pending.Owe(entry);
            }
        }
    }
    pending.Deliver();
}

}  // namespace halvane
