#pragma once

// Live preview of a camera slot: starting and stopping the device streams and the callbacks
// that turn them into pictures in the slot's video window and sound on the one sound output.
//
// Kinds 0-2: the DVR SDK decodes and hands over pictures and sound blocks. Kind 3: the
// media-transmit library hands over compressed frames and ADPCM blocks, which are decoded
// here into the window's preallocated buffers. Kind 4: the camera link hands over the same,
// decoded the same way into a buffer of the preview's own, sized for the camera's pictures
// (network cameras send up to 4K, past what the windows' buffers hold). Pictures reach the window's render port only
// while the slot's page is the current page; sound only for the selected window of it.
//
// The callbacks run on the device libraries' threads, several at once for different windows.
// They read their window's context entry without locks: it is written before the callbacks are
// registered and not again until the preview has been stopped. The kind-3 media information is
// different: the format-change report rewrites it while pictures are decoded, so it is only
// copied in and out whole under its entry's own lock (StorePreviewMediaInfo,
// LoadPreviewMediaInfo). Nothing here allocates per frame.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "live_client/core/CameraInfo.h"

class CKorvelDlg;
class CLoginInfo;

// Media information of a kind-3 preview: width, height, compressor, frame rate.
struct PreviewMediaInfo {
  int nWidth = 0;
  int nHeight = 0;
  int nCompressor = 0;
  int nFrameRate = 0;
};
static_assert(sizeof(PreviewMediaInfo) == 16);

// What every callback of one window's preview gets as its user value.
struct PreviewContext {
  CKorvelDlg* dialog = nullptr;
  int channel = 0;
  int window = 0;
  int page = 0;
  int handle = 0;
  std::uint8_t channelByte = 0;  // kind 3
  int decoder = -1;              // kinds 3 and 4
  int mediaInfo[4] = {};         // kinds 3 and 4: media info at the start
  int kind = 0;
  CLoginInfo* login = nullptr;   // kind 4: the camera's login, named in a loss report
  // Kind 4: the picture buffer, written before the callbacks are registered and then only by
  // the stream's own receive thread (a format change), which is also the one that decodes.
  std::unique_ptr<std::uint8_t[]> cameraPicture;
  std::size_t cameraPictureBytes = 0;
  // The preview's pictures may reach its window: set when it starts, cleared (under the
  // window's display gate) when it stops or its stream is lost for good.
  std::atomic<bool> shown{false};
  // Kind 4: the session the callbacks come from and the camera profile it streams, the
  // picture size it decodes (written before the callbacks are registered, then only by the
  // stream's own receive thread), and which of the window's two contexts this is. A window
  // moving to another profile runs the new stream in its other context (`incoming`) until
  // that stream's first picture is presented.
  int session = 0;
  int profile = -1;
  int bank = 0;
  PreviewMediaInfo cameraInfo;
  std::atomic<bool> incoming{false};
  bool keySeen = false;  // receive thread only
};


inline constexpr int kContextCount = kPageCount * kSlotsPerPage;  // 125
// Indexed by page x 25 + window. Process-wide: the device libraries hand back only a pointer
// into these.
extern PreviewContext g_PreviewContext[kContextCount];
// Written and read only through StorePreviewMediaInfo / LoadPreviewMediaInfo.
extern PreviewMediaInfo g_PreviewMediaInfo[kContextCount];
// Page and window of the last preview started (kinds 0-2).
extern int g_nLastPreviewPage;
extern int g_nLastPreviewWnd;

// Copies the media information of context `entry` (0 .. kContextCount-1) out or in, whole,
// under that entry's own lock, so a reader never sees the width of one format with the height
// of another. Any thread; the lock is never held across a call into a device or decoding
// library. An entry out of range reads as all zeros and is not written.
PreviewMediaInfo LoadPreviewMediaInfo(int entry);
void StorePreviewMediaInfo(int entry, const PreviewMediaInfo& info);

// Starts the preview of `slot` (page, window) over `login`. 0 or the failing code. Connect
// worker or UI thread, holding the camera-table lock (worker) and the slot's lock.
int StartSDKPreview(CKorvelDlg* dialog, CLoginInfo& login, CCameraInfo& slot, int page,
                    int window);
// Stops the preview of `slot`; stops its recording first. 0 or the last failing code. Holding
// the slot's lock.
int StopSDKPreview(CKorvelDlg* dialog, CCameraInfo& slot);

// The window shows its idle background now: a preview that stopped, lost its stream or whose
// page was left must not leave its last picture there, looking live. The window's display gate
// is held meanwhile, so no picture checked before the blank lands after it. With
// `endPictures`, the context's preview stays off its window until it starts again. Any thread;
// only windows of the current page are touched.
void BlankPreviewWindow(CKorvelDlg* dialog, int page, int window, bool endPictures);
// Serialises the drawing of window `window`'s pictures with its blanking (0 .. 24).
std::mutex& WindowDisplayGate(int window);

// Longest time one picture callback (decode and display) took since the last reset, in
// microseconds; any thread. A callback that takes long holds up its channel's stream.
unsigned LongestPictureCallbackUs();
// Picture callbacks since the last reset, and those of them that took 100 ms or more.
unsigned PictureCallbackCount();
unsigned SlowPictureCallbackCount();
void ResetLongestPictureCallback();
// Where the longest picture callback since the last reset spent its time: in the decode of a
// kind-3 frame (which waits for every other window's decode, the decoding library decoding one
// frame at a time) and in the display (conversion to the window's size and the hand-over to
// the window). The rest of the total went to the callback's own steps.
struct PictureCallbackBreakdown {
  unsigned totalUs = 0;
  unsigned decodeUs = 0;
  unsigned displayUs = 0;
  bool decoded = false;  // a kind-3 frame; false for a DVR picture, which comes decoded
};
PictureCallbackBreakdown LongestPictureCallbackBreakdown();
// The length that `fraction` (0.5 for the median, 0.99 ...) of the picture callbacks since the
// last reset stayed under, rounded up to whole milliseconds; 0 before any callback. A kind-3
// or kind-4 callback runs from the frame's arrival in the device library's thread to the
// picture's hand-over to its window, so this is the delay the client adds to a picture.
unsigned PictureCallbackPercentileMs(double fraction);

// True when a picture of width x height fits the per-window picture buffer.
bool PictureFitsBuffer(int width, int height);
// True when a network camera's picture of width x height is one this client decodes (up to
// 3840 x 2160 pixels, sides up to 4096).
bool CameraPictureFits(int width, int height);

// --- Kind 4: moving a window between the camera's profiles --------------------------------
//
// A camera logged in through its services offers several profiles (streams of one picture
// at different sizes). Its window may show another profile than its slot's: the new stream
// opens beside the shown one, in the window's second context, and decodes without being
// shown; its first decoded picture after a key frame replaces the old stream's on screen
// (under the window's display gate, so no blank comes between), and only then is the old
// stream stopped. The window's sound, status and record mark are the window's and stay.

// True when the slot's window may show other profiles of its camera: a network camera with
// a services port whose address names no stream path (the services then name the streams).
bool CameraSlotMayMoveStream(const CCameraInfo& slot);
// The camera profile window `window` of page `page` shows now, and the one it is moving to;
// -1 for none.
int ShownCameraProfile(int page, int window);
int IncomingCameraProfile(int page, int window);
// True while the window's move is under way (opening, waiting for its picture, or its old
// stream being stopped).
bool CameraStreamMoving(int page, int window);

enum class StreamMove {
  Fit,        // the window's size asks for it; given up after the timeout of the tending
  Recording,  // a recording starts on the slot's profile: never given up, the slot's decoder
              // becomes the new stream's at once, so the capture begins at its key frame
};
// Opens `profile` beside the window's shown stream. Blocks while the stream opens (up to the
// camera link's 5 s), so never on the UI thread. 0 when the new stream runs or the window
// shows that profile already; a failure is traced and the window keeps its stream. A move
// already under way makes a Fit move give up (-1); a Recording move first settles it.
// Takes the slot's lock (its holder may call it).
int MoveCameraStream(CKorvelDlg* dialog, CCameraInfo& slot, int page, int window, int profile,
                     StreamMove why);
// Completes the moves whose new stream presented its first picture (the old stream and its
// decoder go) and gives up the Fit moves whose new stream presented nothing within `timeout`
// (the new stream goes, the old one stays; traced). True while a move still waits.
bool TendCameraStreamMoves(std::chrono::milliseconds timeout);

// Observer of every picture handed to a window's render port, and of every blank of a window
// (picture null), on the thread that draws. One process-wide observer; null for none.
using PresentObserver = void (*)(int window, const unsigned char* picture, int width, int height);
void SetPresentObserver(PresentObserver observer);
