#pragma once
/* libHalvane.so: decoding and capture of one kind of recorder's channels.
 *
 * A decoder is addressed by an index 0 to 47 taken with DEC_CreateVideoDecoder. Every
 * function returns 1 for success and 0 for failure unless its comment says otherwise; the
 * reason for a failure is then in DEC_GetLastError(), one code for the whole process, which
 * a later success does not clear. The caller owns every buffer it passes; the library
 * fills results before returning and keeps no pointer to them. */

#ifdef __cplusplus
extern "C" {
#endif

#define HALVANE_API __attribute__((visibility("default")))

/* Only the first three fields are read; a caller's record may continue behind them. */
typedef struct { int width, height, compressor; } DecoderFormat;   /* a caller's record may continue */
/* compressor: 1 MPG4, 2 MP42, 3 XviD, 4 WMV9 (the recorders' values); the network cameras'
   codecs, as Annex B access units with parameter sets in band before key frames, or whole
   JPEG pictures: */
#define DEC_COMPRESSOR_H264   5
#define DEC_COMPRESSOR_H265   6
#define DEC_COMPRESSOR_MJPEG  7

/* Called on the decoding thread, inside DEC_DecodeData or DEC_DecodeAudio. */
typedef void (*DEC_CAPTURE_NOTIFY)(int code, int value);

/* Last error codes. */
#define DEC_ERROR_NOT_LOADED           128 /* DEC_SetDecoderFMT before DEC_LoadLibrary */
#define DEC_ERROR_NOT_IN_USE           130 /* DEC_SetDecoderFMT on an entry not created */
#define DEC_ERROR_NO_AUDIO_DECODER     131
#define DEC_ERROR_BAD_INDEX            133 /* also: no free entry; decoding without a codec */
#define DEC_ERROR_CAPTURE_REFUSED      134
#define DEC_ERROR_VIDEO_DECODE         135
#define DEC_ERROR_AUDIO_DECODE         136
#define DEC_ERROR_CAPTURE_FLAGS        137
#define DEC_ERROR_CAPTURE_FILE         138
#define DEC_ERROR_CODEC_OPEN           144
/* Code handed to the capture notification when a frame could not be written. */
#define DEC_NOTIFY_WRITE_FAILED        140

/* Compressor values of DecoderFormat, as the recorder reports them: 1 and 2 are decoded by
 * the system's MPEG-4 codecs "MPG4" and "MP42" (0 names none and is refused), 3 by XviD,
 * 4 by the WMV9 media object; any other value sets no codec. */

HALVANE_API int DEC_LoadLibrary(void);
HALVANE_API int DEC_FreeLibrary(void);
/* Entry index 0..47; -1 no free entry; -2 the entry's lock could not be made; -3 not loaded. */
HALVANE_API int DEC_CreateVideoDecoder(int channel);
HALVANE_API int DEC_DestroyVideoDecoder(int index);
HALVANE_API int DEC_SetDecoderFMT(int index, int reserved, const DecoderFormat* format);
/* Decodes one frame into picture, a YV12 picture of width x height x 3 / 2 bytes (Y, then V,
 * then U). *pictureLength receives that size. */
HALVANE_API int DEC_DecodeData(int index, const unsigned char* frame, unsigned char* picture,
                               int frameLength, int* pictureLength, int keyFrame, int reserved);
/* Expands IMA ADPCM blocks of 256 bytes (mono, 505 samples each) into pcm, which holds 1010
 * bytes per 256 bytes of data, and hands the same bytes to a running capture. With
 * captureOnly set nothing is decoded and pcm is not touched. */
HALVANE_API int DEC_DecodeAudio(int index, const unsigned char* adpcm, short* pcm, int length,
                                void* reserved1, int reserved2, int captureOnly);
/* Saves the entry's next successfully decoded picture to path: a name containing ".JPG" in
 * any case as a JPEG of quality 100, else one containing ".BMP" as a 24-bit bitmap, else
 * nothing. A later call before that picture replaces the path. */
HALVANE_API int DEC_Snap(int index, const char* path);
/* Records the entry's compressed frames, as DEC_DecodeData and DEC_DecodeAudio receive them,
 * into AVI files named folder + "YYYY-MM-DD-hhmmss M1cc.avi" (T for a timed recording, cc
 * the channel + 1), each beginning with a key frame and cut after half an hour. flags: 0x1
 * video only or 0x2 video and sound, with 0x100 manual or 0x200 timed. notify, if given, is
 * called with (DEC_NOTIFY_WRITE_FAILED, value) on the decoding thread for every frame or
 * block that could not be written. */
HALVANE_API int DEC_StartCapture(int index, const char* folder, int flags, DEC_CAPTURE_NOTIFY notify, int value);
/* Closes the entry's capture file; 1 also when nothing was being captured. */
HALVANE_API int DEC_StopCapture(int index);
HALVANE_API int DEC_GetLastError(void);
/* Stores the code as the last error and returns it. */
HALVANE_API int DEC_SetLastError(int code);

#ifdef __cplusplus
}
#endif
