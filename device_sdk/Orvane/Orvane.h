/* Orvane: DVR network SDK (libOrvane.so).
 *
 * Reaches recorders of device kinds 0, 1 and 2 (4, 16 and 8 channels) over TCP, decodes their
 * live video and sound itself and hands decoded pictures and sound blocks to the caller's
 * callbacks; searches and plays the recordings kept on the recorder; records a live channel
 * into local files; saves snapshots.
 *
 * Conventions:
 *   - Every function returns 0 for success and one of the ORVANE_ERR_ codes below otherwise.
 *   - A recorder connection is an int handle, never 0. Channels count from 0 except in the
 *     search query and file records, where the recorder's own numbering (from 1) is used.
 *   - All records are packed; the offsets given in the comments are byte offsets. Pointer
 *     fields are as wide as a pointer of the process (8 bytes on a 64-bit build); fields after
 *     a pointer are placed so that the offsets named here hold on every build.
 *   - Callbacks run on threads of the SDK, never on the caller's thread. The record passed to
 *     a callback and the buffers it points to are valid only during the call. Callbacks of one
 *     channel never run at the same time; callbacks of different channels may. Once
 *     ORVANE_destroyVideoDecoder, ORVANE_closeAudioReciever, ORVANE_stopFilePlay,
 *     ORVANE_closePlayCBReciever, ORVANE_logoutServer or ORVANE_destroyDVR has returned, the
 *     callbacks it concerns are not called again. Do not log out or destroy a handle from
 *     inside one of its picture, sound or play callbacks.
 *   - After the link drops, stopping and closing calls still succeed (and end a recording);
 *     calls that start something return ORVANE_ERR_NOT_CONNECTED.
 *   - Windows-form folder names ("D:\VIDEO\DVR_REC\...") go through the process drive table.
 */
#ifndef ORVANE_ORVANE_H
#define ORVANE_ORVANE_H

#ifdef __cplusplus
extern "C" {
#endif

#define ORVANE_API __attribute__((visibility("default")))

/* Result codes. The live client reports code + 100 for the first four. */
#define ORVANE_OK                    0
#define ORVANE_ERR_CONNECTION_EXISTS (-1)  /* login on a handle that is already logged in */
#define ORVANE_ERR_TIMEOUT           1     /* no connection or no reply in time */
#define ORVANE_ERR_INVALID_ARGUMENT  2     /* null pointer, bad index, unknown format or rate */
#define ORVANE_ERR_INVALID_HANDLE    3     /* handle unknown or SDK not started */
#define ORVANE_ERR_USER              4     /* wrong user name or password */
#define ORVANE_ERR_NOT_CONNECTED     5     /* not logged in, or the link has dropped */
#define ORVANE_ERR_STATE             6     /* call out of order (e.g. send before open) */
#define ORVANE_ERR_FILE              7     /* a local file or folder could not be written */
#define ORVANE_ERR_NO_PICTURE        8     /* snapshot before the first decoded picture */
#define ORVANE_ERR_NO_VIDEO          9     /* the channel has no video source */
#define ORVANE_ERR_PROTOCOL          10    /* the recorder's reply made no sense */
#define ORVANE_ERR_REFUSED           11    /* the recorder refused (e.g. unknown recording) */
#define ORVANE_ERR_RESOURCES         12    /* out of memory or threads */
#define ORVANE_ERR_NOT_LOGGED_IN     2033  /* logout of a handle not logged in: counts as done */

/* Picture format of ORVANE_setDecoderFMT and ORVANE_setPlayCBDecoderFMT: planar 4:2:0, the
   luma plane (width x height bytes), then the V plane, then the U plane (each a quarter of the
   luma size): width x height x 3 / 2 bytes in all. */
#define ORVANE_FMT_YUV420 6

/* Sound blocks of ORVANE_regDecAudioFrameCB: 16-bit signed little-endian mono PCM at 8000
   samples per second, 321 samples (642 bytes, 40.125 ms) per block. The buffer behind a block
   holds 4040 bytes (zeros after the block), so a sound output still set up for the largest
   block size of the render library never reads past it. */
#define ORVANE_PCM_BLOCK_BYTES 642
#define ORVANE_PCM_SAMPLE_RATE 8000

/* Size argument of ORVANE_startRecord that the programs pass: files are split at 100 MB. */
#define ORVANE_RECORD_SPLIT_BYTES 104857600u

#pragma pack(push, 1)

/* Login block, 46 bytes. Texts need no terminator: a 12-character name fills its field. */
typedef struct ORVANE_LOGIN {
  char user[12];          /*  0 */
  char password[12];      /* 12 */
  char clientMac[18];     /* 24: "00:11:22:33:44:55", may be empty */
  unsigned int clientIp;  /* 42: network order, may be 0 */
} ORVANE_LOGIN;

/* PTZ command record, 6 bytes. command 0 stops the movement in progress; 1 up, 2 down, 3 left,
   4 right, 6 zoom in, 7 zoom out, 8 focus near, 9 focus far, 10 iris open, 11 iris close. */
typedef struct ORVANE_PTZ {
  unsigned char channel;  /* 0 */
  unsigned int command;   /* 1: little-endian */
  unsigned char reserved; /* 5: 0 */
} ORVANE_PTZ;

#define ORVANE_FRAME_VIDEO 1
#define ORVANE_FRAME_AUDIO 2

/* Record handed to the picture, sound and play callbacks. */
typedef struct ORVANE_FRAME {
  int channel;                 /*  0: channel (from 0); for file playback the play index */
  unsigned char* data;         /*  4: picture (ORVANE_FMT_YUV420) or PCM block */
  int size;                    /*  4 + pointer: bytes at data */
  int type;                    /* ORVANE_FRAME_VIDEO or ORVANE_FRAME_AUDIO */
  unsigned int stampMs;        /* recorder time of the frame, milliseconds, wraps */
  unsigned char reserved[48 - 16 - sizeof(unsigned char*)];
  unsigned short width;        /* 48: pictures only, 0 for sound */
  unsigned short height;       /* 50: pictures only, 0 for sound */
  unsigned int rate;           /* 52: frames per second, or samples per second for sound */
  unsigned int frameNumber;    /* 56: count of records delivered on this channel */
} ORVANE_FRAME;

/* Recording search query, 16 bytes. */
typedef struct ORVANE_SEARCH {
  unsigned short channelMask;  /*  0: bit c-1 for channel c */
  unsigned short typeMask;     /*  2: record types wanted (see ORVANE_RECFILE.type) */
  unsigned int startTime;      /*  4: window start, seconds (recorder wall clock as UTC) */
  unsigned int endTime;        /*  8: window end, seconds */
  unsigned short firstIndex;   /* 12: first match wanted, from 1 */
  unsigned short pageSize;     /* 14: matches wanted at most */
} ORVANE_SEARCH;

#define ORVANE_REC_TIMER  1
#define ORVANE_REC_MOTION 2
#define ORVANE_REC_ALARM  4
#define ORVANE_REC_MANUAL 8

/* One recording kept on the recorder. The first ORVANE_RECFILE_DATA_BYTES bytes describe it
   completely: a copy of them is all ORVANE_startFilePlay needs. The link to the next record
   follows at byte 84 (so the record is 88 bytes on a 32-bit build and 92 on a 64-bit one). */
#define ORVANE_RECFILE_DATA_BYTES 84
typedef struct ORVANE_RECFILE {
  unsigned char channel;        /*  0: channel, from 1 */
  unsigned char type;           /*  1: ORVANE_REC_ value */
  unsigned int startTime;       /*  2: seconds, recorder wall clock counted as UTC */
  unsigned int endTime;         /*  6: seconds */
  unsigned int sizeBytes;       /* 10 */
  unsigned int fileId;          /* 14: the recorder's catalogue number */
  char fileName[64];            /* 18: the recorder's file name, zero-terminated */
  unsigned char reserved[2];    /* 82 */
  struct ORVANE_RECFILE* next;  /* 84: next returned record, null after the last */
} ORVANE_RECFILE;

/* Result block filled by ORVANE_recFilesSearch. The SDK owns the records; they stay valid
   until ORVANE_recFilesSearchClean on this block, the next search into it, or ORVANE_cleanup. */
typedef struct ORVANE_SEARCH_RESULT {
  unsigned short total;         /* 0: matches in all */
  unsigned short first;         /* 2: index of the first returned match (from 1), 0 if none */
  unsigned short last;          /* 4: index of the last returned match, 0 if none */
  ORVANE_RECFILE* files;        /* 6: first returned record, null if none */
} ORVANE_SEARCH_RESULT;

/* System parameter block, 96 bytes. */
typedef struct ORVANE_SYSTEM_PARAMS {
  char deviceName[32];          /*  0: zero-terminated */
  unsigned int deviceKind;      /* 32: 0, 1 or 2 */
  unsigned int channels;        /* 36 */
  unsigned int width;           /* 40: live picture size */
  unsigned int height;          /* 44 */
  unsigned int frameRate;       /* 48 */
  unsigned int audioRate;       /* 52: samples per second of the decoded sound */
  char version[16];             /* 56: zero-terminated */
  unsigned char reserved[24];   /* 72 */
} ORVANE_SYSTEM_PARAMS;

#pragma pack(pop)

typedef void (*ORVANE_CONNLOST_CB)(void* context);
typedef void (*ORVANE_DATA_CB)(ORVANE_FRAME* record, void* context);
/* position and total in milliseconds of the recording. */
typedef void (*ORVANE_PROGRESS_CB)(unsigned int position, unsigned int total, void* user);
typedef void (*ORVANE_PLAYOVER_CB)(void* user);

/* First and last call of a process. ORVANE_cleanup logs out and destroys every handle. */
ORVANE_API int ORVANE_startup(void);
ORVANE_API int ORVANE_cleanup(void);

/* Connection. createDVR only records the address (ip in network order); loginServer connects
   and logs in (ORVANE_ERR_TIMEOUT when the recorder does not answer within 5 s). */
ORVANE_API int ORVANE_createDVR(int* handle, unsigned int ip, unsigned short port);
ORVANE_API int ORVANE_loginServer(int handle, const ORVANE_LOGIN* login);
/* Called once per login, on an SDK thread, when the link drops (not after a logout). */
ORVANE_API int ORVANE_regCBMsgConnLost(int handle, ORVANE_CONNLOST_CB callback, void* context);
ORVANE_API int ORVANE_logoutServer(int handle);
ORVANE_API int ORVANE_destroyDVR(int handle);
ORVANE_API int ORVANE_getSystemParams(int handle, void* params96);

/* Live channel. Order of use: setDecoderFMT, open receivers, start sending, register the
   callbacks; stop sending, destroy the decoder, close the receivers. The SDK plays no sound
   of its own; mutePreViewAudio only records the wish. */
ORVANE_API int ORVANE_setDecoderFMT(int handle, int channel, int format);
ORVANE_API int ORVANE_openVideoReciever(int handle, int channel, int reserved1, int reserved2);
ORVANE_API int ORVANE_openAudioReciever(int handle, int channel, int reserved1, int reserved2);
ORVANE_API int ORVANE_mutePreViewAudio(int handle, int channel, int mute);
ORVANE_API int ORVANE_createVideoDecoder(int handle, int channel, ORVANE_DATA_CB callback,
                                         void* context);
ORVANE_API int ORVANE_regDecAudioFrameCB(int handle, int channel, ORVANE_DATA_CB callback,
                                         void* context);
ORVANE_API int ORVANE_startVideoSend(int handle, int channel);
ORVANE_API int ORVANE_startAudioSend(int handle, int channel);
ORVANE_API int ORVANE_stopVideoSend(int handle, int channel);
ORVANE_API int ORVANE_stopAudioSend(int handle, int channel);
ORVANE_API int ORVANE_destroyVideoDecoder(int handle, int channel);
ORVANE_API int ORVANE_closeVideoReciever(int handle, int channel);
ORVANE_API int ORVANE_closeAudioReciever(int handle, int channel);

ORVANE_API int ORVANE_PtzControl(int handle, const ORVANE_PTZ* command);

/* Writes the channel's received video, unchanged, into MPEG-4 elementary stream files
   "CH<nn>_<yyyymmdd>_<hhmmss>.m4v" (nn = channel + 1, local time) inside `folder`, which is
   created when missing. Each file starts at a key frame; a new file begins at the first key
   frame after a file has reached splitBytes. */
ORVANE_API int ORVANE_startRecord(int handle, int channel, const char* folder,
                                  unsigned int splitBytes);
ORVANE_API int ORVANE_stopRecord(int handle, int channel);

/* Saves the channel's last decoded picture into folder + fileName (the folder is created):
   a 24-bit BMP for a name ending ".bmp", a JPEG for ".jpg" or ".jpeg" (case ignored). */
ORVANE_API int ORVANE_snapshot(int handle, int channel, const char* folder,
                               const char* fileName);

/* Recording search, one page per call. */
ORVANE_API int ORVANE_recFilesSearch(int handle, const ORVANE_SEARCH* query,
                                     ORVANE_SEARCH_RESULT* result);
ORVANE_API int ORVANE_recFilesSearchClean(ORVANE_SEARCH_RESULT* result);

/* File playback; `index` is 0 (one playback per handle). The play callback gets pictures in
   the same record as live pictures, with `user` as context. */
ORVANE_API int ORVANE_openPlayCBReciever(int handle, int index, ORVANE_DATA_CB callback,
                                         void* user);
ORVANE_API int ORVANE_setPlayCBDecoderFMT(int handle, int index, int format);
ORVANE_API int ORVANE_regCBMsgProgress(int handle, int index, ORVANE_PROGRESS_CB callback,
                                       void* user);
ORVANE_API int ORVANE_regCBMsgPlayOver(int handle, int index, ORVANE_PLAYOVER_CB callback,
                                       void* user);
ORVANE_API int ORVANE_startFilePlay(int handle, int index, const ORVANE_RECFILE* file);
/* enable 1: the progress callback is called about once a second while playing. */
ORVANE_API int ORVANE_playProgress(int handle, int index, int enable);
ORVANE_API int ORVANE_pausePlay(int handle, int index);
ORVANE_API int ORVANE_resumePlay(int handle, int index);
/* rate 1, 2, 4, 8: normal and faster; -2, -4, -8: 1/2, 1/4, 1/8 of normal speed. */
ORVANE_API int ORVANE_setPlayRate(int handle, int index, int rate);
ORVANE_API int ORVANE_stopFilePlay(int handle, int index);
ORVANE_API int ORVANE_closePlayCBReciever(int handle, int index);

#ifdef __cplusplus
}
#endif

#endif /* ORVANE_ORVANE_H */
