#pragma once

#include <cstdint>

namespace pellix {

// The library's error codes; one value is kept for all ports (see LastError()).
enum class ErrorCode : uint32_t {
    None = 0,
    BadArgument = 1,
    WrongState = 2,
    StreamBufferSizeRefused = 6,
    FileOpenFailed = 7,
    RendererInitFailed = 9,
    NoCommonPictureFormat = 10,
    InputRefused = 11,
    SoundOutputFailed = 12,
    VolumeRefused = 13,
    NotForStream = 14,
    HeaderNotStored = 17,
    DecoderOpenFailed = 19,
    ContainerUnreadable = 20,
};

// The shared error code of the whole library: every reporting operation clears it first and
// sets it on failure, so a caller reads it right after the failing call.
void SetLastError(ErrorCode code);
ErrorCode LastError();

}  // namespace pellix
