#pragma once
// The C++ side of the exported DEC_ functions: same arguments, same results, same error
// codes. They may throw only std::bad_alloc; the exports turn that into a failure.

#include "decoder_library/DecoderCapture.h"
#include "decoder_library/Halvane.h"

namespace halvane {

int LoadLibrary();
int FreeLibrary();
int CreateVideoDecoder(int channel);
int DestroyVideoDecoder(int index);
int SetDecoderFormat(int index, const DecoderFormat* format);
int DecodeData(int index, const unsigned char* frame, unsigned char* picture, int frameLength, int* pictureLength,
               int keyFrame);
int DecodeAudio(int index, const unsigned char* adpcm, short* pcm, int length, int captureOnly);
int Snap(int index, const char* path);
int GetLastError();
int SetLastError(int code);

}  // namespace halvane
