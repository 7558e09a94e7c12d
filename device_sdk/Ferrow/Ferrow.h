/* Ferrow: media-transmit library for capture-card recorders (device kind 3).
 *
 * One handle is one login to a recorder; each previewed channel of a handle gets its own
 * media connection and its own receive thread, so the callbacks of several channels run at
 * the same time on the library's threads. Every function returns 0 for success and one of
 * the FRW_ERR_ codes otherwise, except FRWLoadLibrary (non-zero on success) and
 * FRWCalculateCrc (the check value). The wire protocol is described in
 * device_sdk/PROTOCOLS.md. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define FRW_API __attribute__((visibility("default")))

/* Result codes. A caller that adds 100 to them reads 101 "over time", 104 "user info error"
   and 109 "no video source"; -1 is a preview of a channel the handle cannot open twice. */
#define FRW_OK                0
#define FRW_ERR_TIMEOUT       1   /* device unreachable or no answer in time */
#define FRW_ERR_NOT_LOADED    2   /* FRWLoadLibrary has not succeeded */
#define FRW_ERR_PARAMETER     3   /* null pointer, bad length, channel outside 0..23 */
#define FRW_ERR_USER          4   /* user name or password refused by the device */
#define FRW_ERR_HANDLE        5   /* no such handle, or no preview of that channel */
#define FRW_ERR_REFUSED       6   /* the device refused a request (bad check value, ...) */
#define FRW_ERR_PROTOCOL      7   /* the device answered something this library cannot read */
#define FRW_ERR_NO_SOURCE     9   /* the channel has no video source on the device */

/* Status values given to the connection-status callback. */
#define FRW_STATUS_FORMAT_CHANGED  0x11  /* data: the new FRW_MEDIA_INFO, length 16 */
#define FRW_STATUS_CONNECTION_LOST 0x20  /* data: null, length 0; reported once per channel */

/* Request code and sub-code of a PTZ command, with its 55-byte payload: bytes 0-1 the check
   value of bytes 2-4 (high byte first), 2 channel, 3 PTZ code, 4 start flag, 5-54 the user
   name, NUL-terminated. */
#define FRW_REQUEST_PTZ        0x59
#define FRW_REQUEST_PTZ_SUB    3
#define FRW_PTZ_PAYLOAD_BYTES  55

#define FRW_CHANNELS           24
#define FRW_COMPRESSOR_MPEG4   3   /* MPEG-4 part 2 (XviD compatible) */

/* Connect block handed to FRWCreateHandle (32 bytes, little-endian, packed). */
typedef struct {
    char           szAddress[16];  /* dotted IPv4 text; NUL-terminated unless 16 long */
    unsigned short wPort;          /* the device's control port */
    unsigned char  byChannel;      /* channel of the first preview; informative */
    unsigned char  byReserved;
    unsigned int   dwMediaPort;    /* media port; 0 means wPort + 1 */
    unsigned int   dwReserved1;
    unsigned int   dwReserved2;
} FRW_CONNECT_INFO;

/* User block handed to FRWCreateHandle (24 bytes). A text of exactly 12 characters has no
   terminating NUL. */
typedef struct {
    char szUser[12];
    char szPassword[12];
} FRW_USER_INFO;

/* Media information of a previewed channel (16 bytes). */
typedef struct {
    int nWidth;
    int nHeight;
    int nCompressor;   /* FRW_COMPRESSOR_MPEG4 */
    int nFrameRate;    /* frames per second the device sends */
} FRW_MEDIA_INFO;

/* Callbacks run on the library's threads. The data is valid only during the call. Between
   FRWStopPreview returning and the next FRWStartPreview of that channel no callback of the
   channel runs, except when FRWStopPreview is called from inside one of them.
   stamp_ms: the device's capture time of the frame or block, in milliseconds (wraps).
   playOff: the device asks that this block be recorded but not played.
   restart: the block size changed; the sound output must be started again. */
typedef void (*FRW_CONNECT_STATUS_CB)(int status, const void* data, int length, void* context);
typedef void (*FRW_VIDEO_CB)(const unsigned char* frame, int keyFrame, int length, int stamp_ms,
                             void* context);
typedef void (*FRW_AUDIO_CB)(const unsigned char* block, int length, int stamp_ms, void* context,
                             int playOff, int restart);

/* Starts the library. localPort is reported to the device at login; flags is kept for the
   device. Returns non-zero on success; a second call succeeds without effect. */
FRW_API int FRWLoadLibrary(int localPort, int flags);
/* Destroys every handle (stopping its previews) and stops the library. */
FRW_API int FRWFreeLibrary(void);

/* Connects to the device of connectInfo and logs in with userInfo; on success *handle is a
   non-zero handle. Blocks for at most a few seconds. */
FRW_API int FRWCreateHandle(int* handle, const void* connectInfo, const void* userInfo,
                            int reserved);
/* Stops the handle's previews and closes its connection. Waits for a loss report that is
   running on the handle's thread, so it must not be called while holding a lock that the
   status callback takes. */
FRW_API int FRWDestroyHandle(int handle);

/* Opens the media connection of a channel (0..23) and waits for its media information. A
   channel may be previewed more than once on one handle: each start is its own preview, the
   callbacks registered next bind to the newest, and FRWStopPreview ends the oldest. */
FRW_API int FRWStartPreview(int handle, int channel, int reserved1, int reserved2);
/* Waits for a running video, sound or format callback of the preview (unless called from
   one); a loss report is not waited for. */
FRW_API int FRWStopPreview(int handle, int channel);
/* Fills 16 bytes (FRW_MEDIA_INFO) with the channel's current format. */
FRW_API int FRWGetMediaInfo(int handle, int channel, void* mediaInfo);

FRW_API int FRWRegConnectStatusCallBack(int handle, int channel, FRW_CONNECT_STATUS_CB callback,
                                        void* context);
FRW_API int FRWRegVideoPreCallBack(int handle, int channel, FRW_VIDEO_CB callback, void* context);
FRW_API int FRWRegAudioPreCallBack(int handle, int channel, FRW_AUDIO_CB callback, void* context);

/* Sends a request to the device and waits for its answer (timeout_ms 0: 3000 ms). When reply
   and replyLength are given, *replyLength is the buffer size on entry and the answer's length
   on return. Returns FRW_OK when the device accepted the request. */
FRW_API int FRWRequestEx(int handle, int channel, int request, int subCode, const void* payload,
                         int length, void* reply, int* replyLength, int timeout_ms,
                         int reserved);

/* CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR.
   The check value of "123456789" is 0x29B1. */
FRW_API unsigned short FRWCalculateCrc(const unsigned char* data, int length);

#ifdef __cplusplus
}
#endif
