/* Glimmet: display-and-sound library (libGlimmet.so).
 *
 * Each video window owns one render port (0 .. GL_MAX_PORTS-1). A port converts planar 4:2:0
 * pictures to RGB and presents them, scaled to the window's client area, into the
 * platform::Window it is bound to, with the port's recording indicator drawn over them. One
 * process-wide sound stream plays blocks of 16-bit PCM on the platform audio device.
 *
 * Every function returns 0 for success and a negative GL_ERR_ code otherwise; callers may
 * ignore the results. GL_DisplayImg and GL_PlaySound may be called from any thread while
 * another thread calls GL_PausePlaySound, GL_SetOsdStatus or GL_BeginPlaySound; each port and
 * the sound stream serialise themselves.
 */
#ifndef GLIMMET_GLIMMET_H
#define GLIMMET_GLIMMET_H

#ifdef __cplusplus
extern "C" {
#endif

#define GLIMMET_API __attribute__((visibility("default")))

#define GL_MAX_PORTS 64

#define GL_OK                  0
#define GL_ERR_NOT_INITIALISED (-1)  /* GL_InitLib not called, or GL_UnInitLib since */
#define GL_ERR_INVALID_PORT    (-2)  /* port outside 0 .. GL_MAX_PORTS-1, or not created */
#define GL_ERR_INVALID_ARGUMENT (-3) /* null picture or window, size out of range */
#define GL_ERR_DEVICE          (-4)  /* the audio device could not be opened */
#define GL_ERR_STATE           (-5)  /* sound block before GL_BeginPlaySound */

/* Recording indicator of GL_SetOsdStatus. */
#define GL_OSD_NONE      0
#define GL_OSD_MANUAL    1  /* red dot */
#define GL_OSD_SCHEDULED 2  /* yellow dot */

/* Both arguments are accepted for compatibility and not used. */
GLIMMET_API int GL_InitLib(int reserved1, int reserved2);
GLIMMET_API int GL_UnInitLib(void);

/* Binds `port` to `window` (a platform::Window*). width x height is only the expected first
   picture size. Creating a port that exists rebinds it. */
GLIMMET_API int GL_CreateVender(int port, int reserved, void* window, int width, int height);
GLIMMET_API int GL_DestroyVender(int port);

/* Draws one picture: the luma plane (width x height bytes), then the V plane, then the U
   plane (each (width/2) x (height/2) bytes). The picture is presented before the call returns;
   the caller keeps its buffer. */
GLIMMET_API int GL_DisplayImg(int port, const unsigned char* picture, int width, int height);

/* GL_OSD_NONE, GL_OSD_MANUAL or GL_OSD_SCHEDULED; takes effect with the next picture and is
   also drawn at once over the last one. */
GLIMMET_API int GL_SetOsdStatus(int port, int status);

/* Opens the platform audio device for the sound stream; `window` is the owner, not used. */
GLIMMET_API int GL_CreateAudioDevice(void* window);

/* (Re)starts the sound stream for blocks of `blockBytes`: 642, 1010 or 4040, all 16-bit mono
   PCM at 8000 samples per second. Blocks still queued are dropped. */
GLIMMET_API int GL_BeginPlaySound(int blockBytes);
/* Queues one block of the announced length; copied before the call returns. */
GLIMMET_API int GL_PlaySound(const unsigned char* block);
/* Stops the sound at once and drops queued blocks until the next GL_BeginPlaySound. */
GLIMMET_API int GL_PausePlaySound(void);

#ifdef __cplusplus
}
#endif

#endif /* GLIMMET_GLIMMET_H */
