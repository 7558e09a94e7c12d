/* Pellix: the player engine. Plays AVI recordings and pushed streams on 16 independent
   ports (0 to 15). Functions return non-zero for success and keep one error code for the
   whole library (Pellix_GetLastError). Callbacks run on the engine's threads: the display
   callback on the port's playback thread (the picture is valid only during the call), the
   source-buffer callback on the stream's parsing thread. Data given to Pellix_InputData is
   copied before the call returns. */
#ifndef PELLIX_H
#define PELLIX_H

#ifdef __cplusplus
extern "C" {
#endif

#define PELLIX_API __attribute__((visibility("default")))

typedef void (*PELLIX_SOURCE_CB)(int port, unsigned int remain, void* user, void* reserved);
typedef void (*PELLIX_DISPLAY_CB)(int port, unsigned char* picture, int size, int width,
                                  int height, int stamp, int type, void* user, int reserved);
typedef void (*PELLIX_DRAW_CB)(void* dc, void* user);
/* What a draw callback receives as `dc`: the picture about to be shown in the port's window,
   32-bit BGRA rows, top row first, which the callback may draw on before it is shown. */
typedef struct { unsigned char* bgra; int width, height, stride_bytes; } PELLIX_DRAW_CANVAS;
typedef void (*PELLIX_DEC_CB)(int port, unsigned char* data, int size, void* info, void* user, int reserved);
typedef void (*PELLIX_VERIFY_CB)(int port, void* range, void* user);
typedef struct { int left, top, right, bottom; } PELLIX_RECT;

PELLIX_API unsigned int Pellix_GetSdkVersion(void);
PELLIX_API unsigned int Pellix_GetCaps(void);
PELLIX_API unsigned int Pellix_GetLastError(int port);
PELLIX_API int   Pellix_GetFileHeadLength(void);
PELLIX_API int   Pellix_SetStreamOpenMode(int port, int mode);
PELLIX_API int   Pellix_GetStreamOpenMode(int port);
PELLIX_API int   Pellix_OpenFile(int port, const char* fileName);
PELLIX_API int   Pellix_OpenStream(int port, const unsigned char* header, int headerLength, int bufferSize);
PELLIX_API int   Pellix_InputData(int port, const unsigned char* data, int length);
PELLIX_API int   Pellix_CloseFile(int port);
PELLIX_API int   Pellix_CloseStream(int port);
PELLIX_API int   Pellix_SetFileEndMsg(int port, void* window, unsigned int message);
PELLIX_API unsigned int Pellix_GetSourceBufferRemain(int port);
PELLIX_API int   Pellix_ResetSourceBuffer(int port);
PELLIX_API int   Pellix_SetSourceBufCallBack(int port, unsigned int threshold, PELLIX_SOURCE_CB callback, void* user, void* reserved);
PELLIX_API int   Pellix_ResetSourceBufFlag(int port);
PELLIX_API int   Pellix_Play(int port, void* window);
PELLIX_API int   Pellix_Stop(int port);
PELLIX_API int   Pellix_Pause(int port, int pause);
PELLIX_API int   Pellix_Fast(int port);
PELLIX_API int   Pellix_Slow(int port);
PELLIX_API int   Pellix_OneByOne(int port);
PELLIX_API int   Pellix_OneByOneBack(int port);
PELLIX_API int   Pellix_RefreshPlay(int port);
PELLIX_API int   Pellix_SetPlayPos(int port, float position);
PELLIX_API float Pellix_GetPlayPos(int port);
PELLIX_API int   Pellix_SetCurrentFrameNum(int port, unsigned int frame);
PELLIX_API unsigned int Pellix_GetCurrentFrameNum(int port);
PELLIX_API unsigned int Pellix_GetPlayedFrames(int port);
PELLIX_API unsigned int Pellix_GetPlayedTime(int port);
PELLIX_API unsigned int Pellix_GetFileTime(int port);
PELLIX_API unsigned int Pellix_GetFileTotalFrames(int port);
PELLIX_API unsigned int Pellix_GetCurrentFrameRate(int port);
PELLIX_API int   Pellix_GetPictureSize(int port, int* width, int* height);
PELLIX_API unsigned int Pellix_GetFileTime2(int reserved, const char* fileName);
PELLIX_API int   Pellix_GetKeyFramePos(int port, unsigned int value, unsigned int type, void* info);
PELLIX_API int   Pellix_GetNextKeyFramePos(int port, unsigned int value, unsigned int type, void* info);
PELLIX_API int   Pellix_PlaySound(int port);
PELLIX_API int   Pellix_StopSound(int port);
PELLIX_API int   Pellix_SetVolume(int port, unsigned short volume);
PELLIX_API unsigned int Pellix_GetVolume(int port);
PELLIX_API int   Pellix_SetDisplayBuf(int port, unsigned int frames);
PELLIX_API unsigned int Pellix_GetDisplayBuf(int port);
PELLIX_API int   Pellix_SetDisplayCallBack(int port, PELLIX_DISPLAY_CB callback, void* user);
PELLIX_API int   Pellix_RigisterDrawFun(int port, PELLIX_DRAW_CB callback, void* user);
PELLIX_API int   Pellix_SetDisplayRegion(int port, unsigned int region, const PELLIX_RECT* rect, void* window, int enable);
PELLIX_API int   Pellix_SetOverlayMode(int port, int overlay, unsigned int colorKey);
PELLIX_API int   Pellix_GetOverlayMode(int port);
PELLIX_API unsigned int Pellix_GetColorKey(int port);
PELLIX_API void  Pellix_SetMultiScreen(int port, int flag);
PELLIX_API int   Pellix_IsMultiScreen(int port);
PELLIX_API int   Pellix_ConvertToBmpFile(const unsigned char* picture, int size, int width, int height, int flip, const char* fileName);
PELLIX_API int   Pellix_SetPicQuality(int port, int value);
PELLIX_API int   Pellix_SetRenderer(int port, int value);
PELLIX_API int   Pellix_SetDecCallBack(int port, PELLIX_DEC_CB callback, void* user);
PELLIX_API int   Pellix_SetVerifyCallBack(int port, unsigned int begin, unsigned int end, PELLIX_VERIFY_CB callback, void* user);

#ifdef __cplusplus
}
#endif

#endif /* PELLIX_H */
