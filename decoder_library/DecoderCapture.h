#pragma once
// Capture of an entry's compressed stream into AVI files through the record-file library's
// slot of the same index: start and stop, and the steps that DEC_DecodeData and
// DEC_DecodeAudio run for each frame and block. Every step holds the capture lock and none is
// ever entered with the decode lock held.

#include "decoder_library/Halvane.h"

namespace halvane {

int StartCapture(int index, const char* folder, int flags, DEC_CAPTURE_NOTIFY notify, int value);
int StopCapture(int index);

// Records a frame that decoded successfully. False (error 138 set) when the file had to be
// cut and the next file could not be created; the frame itself was written to the old one.
bool CaptureVideoFrame(int index, const unsigned char* frame, int length, bool keyFrame);

// Records an ADPCM block once the current file has its first key frame.
void CaptureAudioBlock(int index, const unsigned char* adpcm, int length);

}  // namespace halvane
