#pragma once
/* libStordane.so: the record-file library.
 *
 * Writes recordings into AVI files through 48 capture slots (0..47, the same numbers as the
 * decoder instances of the capture library), enters every closed file into the recording
 * index of its date folder, and offers an optional drive-manager worker that frees space on
 * the recording drives.
 *
 * Results: 0 for success or one of the OX_ERR_ values below. Every function taking nIndex
 * returns OX_ERR_INDEX when it is outside 0..47. Calls on different slots may run on
 * different threads at once; the caller keeps every buffer it passes, the library copies
 * what it needs before returning. */

#ifdef __cplusplus
extern "C" {
#endif

#define STORDANE_EXPORT __attribute__((visibility("default")))

#define OX_ERR_INDEX 0x9000c001u     /* slot index outside 0..47 */
#define OX_ERR_PARAM 0x9000c002u     /* bad file name, or the drive worker could not be created */
#define OX_ERR_OPEN 0x9000c003u      /* file not created, or its video stream refused */
#define OX_ERR_WRITE 0x9000c004u     /* unknown frame type, no open file, or a write failed */
#define OX_ERR_CLOSE 0x9000c005u     /* finishing a stream or the file failed */
#define OX_ERR_SUSPENDED 0x9000c006u /* recording suspended for lack of disk space */

/* Frame types of OxWriteFrameToAVIFile. */
#define OX_FRAME_VIDEO_KEY 0
#define OX_FRAME_VIDEO_DELTA 1
#define OX_FRAME_AUDIO 5
#define OX_FRAME_AUDIO_ALT 6

/* Values of OxSetCapCompression. */
#define OX_COMPRESSION_XVID 3
#define OX_COMPRESSION_WMV3 4
/* Network cameras: written as FourCC H264, HEVC and MJPG. */
#define OX_COMPRESSION_H264 5
#define OX_COMPRESSION_H265 6
#define OX_COMPRESSION_MJPEG 7

/* Messages of the drive-manager callback (wParam and lParam are 0). */
#define OX_MSG_NO_SPACE 1524      /* recording suspended: no room could be made */
#define OX_MSG_DRIVER_SWITCH 1525 /* the current recording drive changed */

/* Called on the drive-manager worker thread. */
typedef void (*OX_DRIVER_MSG_CB)(unsigned int message, unsigned int wParam, long lParam);

/* Settings of a slot, read when its next file is created. */
STORDANE_EXPORT unsigned int OxSetCapSize(int nIndex, int width, int height);
/* Frames per second, 1..30; 13 stands for 12.5. Other values record as 25. */
STORDANE_EXPORT unsigned int OxSetCapFrmRate(int nIndex, int frameRate);
/* OX_COMPRESSION_XVID, _WMV3, _H264, _H265 or _MJPEG; other values leave the setting unchanged. */
STORDANE_EXPORT unsigned int OxSetCapCompression(int nIndex, int compression);

/* Creates the file (a Windows-form path of at most 259 characters), closing a file the slot
 * still holds without indexing it. */
STORDANE_EXPORT unsigned int OxCreateAVIFile(int nIndex, const char* fileName);
/* Writes one compressed video frame (frameType 0 key, 1 delta) or one IMA ADPCM block
 * (frameType 5 or 6; 1024 bytes, or a 256-byte block for any other size). */
STORDANE_EXPORT unsigned int OxWriteFrameToAVIFile(int nIndex, const unsigned char* data, int size,
                                                   int frameType);
/* Finishes the file and enters it into the recording index (or deletes it when too small). */
STORDANE_EXPORT unsigned int OxCloseAVIFile(int nIndex);
/* Playing time of the slot's current or last file in whole seconds (0 when nothing written). */
STORDANE_EXPORT unsigned int OxGetFileTimeLength(int nIndex);

/* Drive-manager worker: start (0 or OX_ERR_PARAM), stop (0), register the callback (0). */
STORDANE_EXPORT unsigned int OxStartDealDrivers(void);
STORDANE_EXPORT unsigned int OxStopDealDrivers(void);
STORDANE_EXPORT unsigned int OxRegDealDriverMsgCallBack(OX_DRIVER_MSG_CB callback);

#ifdef __cplusplus
}
#endif
