// The exported DEC_ functions: each calls the library's C++ side and turns an exception
// (only running out of memory can raise one) into a failure with a trace line, so none
// crosses the C boundary.

#include "decoder_library/Halvane.h"

#include <exception>

#include "common/TraceMessage.h"
#include "decoder_library/DecoderLibrary.h"

namespace {

template <typename Call>
int Guarded(const char* name, int failure, Call call)
{
    try {
        return call();
    } catch (const std::exception& error) {
        TraceMessage("[HALVANE] - %s: %s", name, error.what());
    } catch (...) {
        TraceMessage("[HALVANE] - %s: unknown error", name);
    }
    return failure;
}

}  // namespace

extern "C" {

int DEC_LoadLibrary(void)
{
    return Guarded("DEC_LoadLibrary", 0, [] { return halvane::LoadLibrary(); });
}

int DEC_FreeLibrary(void)
{
    return Guarded("DEC_FreeLibrary", 1, [] { return halvane::FreeLibrary(); });
}

int DEC_CreateVideoDecoder(int channel)
{
    return Guarded("DEC_CreateVideoDecoder", -2, [=] { return halvane::CreateVideoDecoder(channel); });
}

int DEC_DestroyVideoDecoder(int index)
{
    return Guarded("DEC_DestroyVideoDecoder", 0, [=] { return halvane::DestroyVideoDecoder(index); });
}

int DEC_SetDecoderFMT(int index, int /*reserved*/, const DecoderFormat* format)
{
    return Guarded("DEC_SetDecoderFMT", 0, [=] { return halvane::SetDecoderFormat(index, format); });
}

int DEC_DecodeData(int index, const unsigned char* frame, unsigned char* picture, int frameLength,
                   int* pictureLength, int keyFrame, int /*reserved*/)
{
    return Guarded("DEC_DecodeData", 0, [=] {
        return halvane::DecodeData(index, frame, picture, frameLength, pictureLength, keyFrame);
    });
}

int DEC_DecodeAudio(int index, const unsigned char* adpcm, short* pcm, int length, void* /*reserved1*/,
                    int /*reserved2*/, int captureOnly)
{
    return Guarded("DEC_DecodeAudio", 0,
                   [=] { return halvane::DecodeAudio(index, adpcm, pcm, length, captureOnly); });
}

int DEC_Snap(int index, const char* path)
{
    return Guarded("DEC_Snap", 0, [=] { return halvane::Snap(index, path); });
}

int DEC_StartCapture(int index, const char* folder, int flags, DEC_CAPTURE_NOTIFY notify, int value)
{
    return Guarded("DEC_StartCapture", 0,
                   [=] { return halvane::StartCapture(index, folder, flags, notify, value); });
}

int DEC_StopCapture(int index)
{
    return Guarded("DEC_StopCapture", 0, [=] { return halvane::StopCapture(index); });
}

int DEC_GetLastError(void)
{
    return halvane::GetLastError();
}

int DEC_SetLastError(int code)
{
    return halvane::SetLastError(code);
}

}  // extern "C"
