#pragma once
// The library's fixed table of 48 decoder entries and its process-wide state. Internal to
// the library; the exported functions reach it through DecoderLibrary.h.
//
// Lock order: the table mutex, then the decode lock, then an entry mutex. The capture lock
// is never held together with the decode lock.

#include <atomic>
#include <cstdint>
#include <memory>

#include "decoder_library/ADPCMCodec.h"
#include "decoder_library/Halvane.h"
#include "decoder_library/VideoCodec.h"
#include "platform/Sync.h"

inline constexpr int kDecoderCount = 48;

struct DecoderEntry {
    char szCaptureFolder[260] = {};  // capture file names are appended to it as they stand
    char szSnapPath[260] = {};
    // Capture state, guarded by the capture lock.
    int bRecording = 0;              // a key frame of the current capture file was written
    int bFileMissing = 0;            // the last cut could not create the next file
    int nChannel = 0;
    int nRecordKind = 0;             // 1 manual, 2 timed
    int nNotifyValue = 0;
    std::atomic<int> bInUse{0};      // written under the table mutex
    std::uint32_t dwLastSplitCheck = 0;
    std::atomic<int> bAudioCapture{0};
    std::atomic<int> bVideoCapture{0};
    std::atomic<int> bSnapRequested{0};
    // The current format; all zero when none is set. Written under the entry mutex, read
    // without it.
    std::atomic<int> nWidth{0};
    std::atomic<int> nHeight{0};
    std::atomic<int> nCompressor{0};
    // Exists only while the entry is in use (and the library loaded).
    std::unique_ptr<platform::Mutex> pMutex;
    // Owned; replaced and detached only by atomic exchange, destroyed under the decode lock
    // so that no decode still runs in it.
    std::atomic<CVideoCodec*> pVideoCodec{nullptr};
    // Made by the first DEC_CreateVideoDecoder of the entry and kept for its later uses
    // (decoding keeps no state); null until then, and DEC_DecodeAudio fails with 131.
    // Published under the decode lock, which every use holds.
    std::unique_ptr<ADPCMCodec> pAudioDecoder;
    DEC_CAPTURE_NOTIFY pNotify = nullptr;
};

struct DecoderLibraryState {
    std::atomic<int> bLoaded{0};
    // One code for the whole process, not per thread or entry.
    std::atomic<int> nLastError{0};
    std::atomic<int> nDecoderCount{0};  // live decoders, for the log lines only
    int nTableSize = 0;
    // Held around every decode and the whole of DEC_SetDecoderFMT: decoding of all
    // channels is serialised and a codec is never replaced while it decodes. The two
    // critical sections live as long as the process, so a call after DEC_FreeLibrary finds
    // them still usable.
    platform::CriticalSection csDecode;
    // Held around every capture step, start and stop; re-entrant.
    platform::CriticalSection csCapture;
    // Serialises creating and destroying entries; exists while the library is loaded.
    std::unique_ptr<platform::Mutex> pTableMutex;
};

// The 48 entries exist for the whole life of the library; index = position.
extern DecoderEntry g_decoders[kDecoderCount];
// Process-wide state of the library.
extern DecoderLibraryState g_library;
