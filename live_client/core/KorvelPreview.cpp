#include "live_client/core/KorvelPreview.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "camera_link/Camlink.h"
#include "common/TraceMessage.h"
#include "decoder_library/Halvane.h"
#include "device_sdk/Ferrow/Ferrow.h"
#include "device_sdk/Glimmet/Glimmet.h"
#include "device_sdk/Orvane/Orvane.h"
#include "live_client/core/AddressResolve.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelLogin.h"
#include "live_client/core/KorvelRecording.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/core/MakeHole.h"
#include "live_client/core/PageInfo.h"
#include "live_client/skin/TextFormat.h"
#include "platform/MessageBox.h"

// Process-wide by design: the device libraries give their callbacks only a pointer into these.
PreviewContext g_PreviewContext[kContextCount];
PreviewMediaInfo g_PreviewMediaInfo[kContextCount];
int g_nLastPreviewPage = 0;
int g_nLastPreviewWnd = 0;

namespace {

constexpr int kPcmBlock642 = ORVANE_PCM_BLOCK_BYTES;
constexpr int kAdpcmLarge = 1024;
constexpr int kAdpcmSmall = 256;
constexpr int kPcmLarge = 4040;
constexpr int kPcmSmall = 1010;

std::atomic<unsigned> g_longestPictureCallbackUs{0};
std::atomic<unsigned> g_pictureCallbacks{0};
std::atomic<unsigned> g_slowPictureCallbacks{0};
constexpr unsigned kSlowCallbackUs = 100000;
// Picture callbacks by their length in whole milliseconds (the last bucket holds every one
// of 255 ms or more), for the median and the tail of the time a picture takes from the
// device library to the window.
constexpr int kCallbackBuckets = 256;
std::atomic<unsigned> g_callbackMilliseconds[kCallbackBuckets];

// One lock per media-information entry: the format-change report of one window never waits
// for the pictures of another.
std::mutex g_mediaInfoLocks[kContextCount];

// The parts of the longest callback since the last reset. Written only when a callback
// beats the longest so far, which after the first seconds of a stream is rare.
std::mutex g_longestBreakdownLock;

std::mutex g_displayGates[kVideoWindowCount];
PictureCallbackBreakdown g_longestBreakdown;  // Guarded by g_longestBreakdownLock

std::atomic<PresentObserver> g_presentObserver{nullptr};

// A camera window's second context: the stream it moves to runs here until its first
// picture, and then the window's first context is the spare one.
PreviewContext g_MovingContext[kContextCount];

// Where a camera window's move between profiles stands. The contexts' session and decoder
// fields are changed under `lock` (a bank whose session is 0 owns nothing); a bank's
// callbacks may still run after its session was taken, until the session is stopped.
struct StreamMoveState {
  std::mutex lock;
  std::atomic<int> active{0};  // the context shown: 0 g_PreviewContext, 1 g_MovingContext
  bool moving = false;         // the other context is being opened or runs the new stream
  bool installed = false;      // the new stream's callbacks are registered
  bool promoted = false;       // its first picture is shown; the old stream waits to go
  bool settling = false;       // a tending or a stop tears one of the streams down
  StreamMove why = StreamMove::Fit;
  int toProfile = -1;
  unsigned generation = 0;     // every start and stop of the window's preview counts
  std::chrono::steady_clock::time_point since;
  // A profile whose stream did not open or showed nothing is not tried again for a while:
  // the window's size keeps asking for it every second.
  int refusedProfile = -1;
  std::chrono::steady_clock::time_point refusedAt;
};
constexpr std::chrono::seconds kRefusedProfileRest{30};
StreamMoveState g_moves[kContextCount];

PreviewContext& Bank(int entry, int bank) {
  return bank == 0 ? g_PreviewContext[entry] : g_MovingContext[entry];
}

int EntryOf(const PreviewContext& context) { return context.page * kSlotsPerPage + context.window; }

// True for a camera context whose pictures and reports are the window's: the one shown.
bool IsActiveCamera(const PreviewContext& context) {
  return g_moves[EntryOf(context)].active.load() == context.bank && !context.incoming.load();
}

void Observe(int window, const unsigned char* picture, int width, int height) {
  if (PresentObserver observer = g_presentObserver.load()) observer(window, picture, width, height);
}

std::chrono::microseconds::rep MicrosecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// Measures one picture callback into g_longestPictureCallbackUs, with the time its decode
// (kind 3) and its display took.
class CallbackTimer {
 public:
  CallbackTimer() : start_(std::chrono::steady_clock::now()) {}
  CallbackTimer(const CallbackTimer&) = delete;
  CallbackTimer& operator=(const CallbackTimer&) = delete;
  // Each step is measured from its Begin to its End; a callback that ends early has none.
  void BeginStep() { step_ = std::chrono::steady_clock::now(); }
  void EndDecode() {
    parts_.decodeUs = static_cast<unsigned>(MicrosecondsSince(step_));
    parts_.decoded = true;
  }
  void EndDisplay() { parts_.displayUs = static_cast<unsigned>(MicrosecondsSince(step_)); }
  ~CallbackTimer() {
    const unsigned us = static_cast<unsigned>(MicrosecondsSince(start_));
    g_pictureCallbacks.fetch_add(1, std::memory_order_relaxed);
    if (us >= kSlowCallbackUs) g_slowPictureCallbacks.fetch_add(1, std::memory_order_relaxed);
    g_callbackMilliseconds[std::min<unsigned>(us / 1000, kCallbackBuckets - 1)].fetch_add(
        1, std::memory_order_relaxed);
    unsigned longest = g_longestPictureCallbackUs.load(std::memory_order_relaxed);
    while (us > longest) {
      if (g_longestPictureCallbackUs.compare_exchange_weak(longest, us,
                                                           std::memory_order_relaxed)) {
        std::lock_guard<std::mutex> guard(g_longestBreakdownLock);
        if (us >= g_longestBreakdown.totalUs) {
          g_longestBreakdown = parts_;
          g_longestBreakdown.totalUs = us;
        }
        break;
      }
    }
  }

 private:
  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point step_;
  PictureCallbackBreakdown parts_;
};

bool IsCurrentPage(const PreviewContext& context) {
  return context.dialog && context.page == context.dialog->CurrentPage();
}

bool IsHeardWindow(const PreviewContext& context) {
  return IsCurrentPage(context) && context.window == g_nCurWnd;
}

// Checked and drawn under the window's gate: a blank of the window never comes between the
// check and the picture.
void ShowPicture(const PreviewContext& context, const unsigned char* picture, int width,
                 int height) {
  std::lock_guard<std::mutex> gate(g_displayGates[context.window]);
  if (g_bClosing || !context.shown.load() || !IsCurrentPage(context)) return;
  GL_DisplayImg(context.window, picture, width, height);
  Observe(context.window, picture, width, height);
}

// --- Kinds 0-2 ----------------------------------------------------------------------------

void DvrPictureCallback(ORVANE_FRAME* record, void* user) {
  CallbackTimer timer;
  auto* context = static_cast<PreviewContext*>(user);
  if (g_bClosing || !context || !context->dialog || !record || !record->data) return;
  if (!IsCurrentPage(*context)) return;
  timer.BeginStep();
  ShowPicture(*context, record->data, record->width, record->height);
  timer.EndDisplay();
}

void DvrSoundCallback(ORVANE_FRAME* record, void* user) {
  auto* context = static_cast<PreviewContext*>(user);
  if (g_bClosing || !context || !record || !record->data) return;
  if (g_bMute) return;
  TraceMessage("[KORVEL] - DealAudio: chn: %d, nCurWnd: %d", context->channel, context->window);
  if (!IsHeardWindow(*context)) return;
  if (g_bSoundStarted == 0) {
    TraceMessage("[KORVEL] - -=- GL_BeginPlaySound");
    GL_BeginPlaySound(kPcmBlock642);
    g_bSoundStarted = 1;
  }
  GL_PlaySound(record->data);
}

// --- Kind 3 -------------------------------------------------------------------------------

// The moving stream's first real picture takes the window over: shown in place of the old
// stream's under the window's gate, after which the old stream's pictures no longer reach
// the window. The old stream itself is stopped by the tending, off this thread.
void PromoteMovingStream(PreviewContext& context, const unsigned char* picture) {
  const int entry = EntryOf(context);
  std::lock_guard<std::mutex> gate(g_displayGates[context.window]);
  StreamMoveState& move = g_moves[entry];
  std::lock_guard<std::mutex> guard(move.lock);
  if (!move.moving || !move.installed || move.promoted || !context.incoming.load() ||
      move.active.load() == context.bank)
    return;
  PreviewContext& old = Bank(entry, move.active.load());
  const bool shown = old.shown.load();
  if (shown && !g_bClosing && IsCurrentPage(context)) {
    GL_DisplayImg(context.window, picture, context.cameraInfo.nWidth, context.cameraInfo.nHeight);
    Observe(context.window, picture, context.cameraInfo.nWidth, context.cameraInfo.nHeight);
  }
  old.shown = false;
  context.shown = shown;
  context.incoming = false;
  move.active = context.bank;
  move.promoted = true;
  StorePreviewMediaInfo(entry, context.cameraInfo);
  TraceMessage("[KORVEL] - window %d shows profile %d (%dx%d) from its first picture, %lld ms "
               "after the stream opened",
               context.window + 1, context.profile, context.cameraInfo.nWidth,
               context.cameraInfo.nHeight,
               static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - move.since)
                                          .count()));
}

void FrwVideoCallback(const unsigned char* frame, int keyFrame, int length, int stamp,
                      void* user) {
  CallbackTimer timer;
  auto* context = static_cast<PreviewContext*>(user);
  // Once the program closes nothing more is decoded: the decoders go with the connections.
  if (g_bClosing || !context || !frame || length <= 0) return;
  const bool camera = context->kind == kKindCamera;
  const int entry = context->page * kSlotsPerPage + context->window;
  // A copy: a format change may rewrite the entry while this frame is decoded. A camera's
  // context keeps its own, written only on this thread.
  const PreviewMediaInfo info = camera ? context->cameraInfo : LoadPreviewMediaInfo(entry);
  std::uint8_t* picture = camera ? context->cameraPicture.get()
                                 : g_WindowBuffers.picture[context->window].get();
  if (!picture) return;
  // A format larger than the buffer is never decoded into it.
  const bool fits = camera ? CameraPictureFits(info.nWidth, info.nHeight) &&
                                 static_cast<std::size_t>(info.nWidth) * info.nHeight * 3 / 2 <=
                                     context->cameraPictureBytes
                           : PictureFitsBuffer(info.nWidth, info.nHeight);
  if (!fits) return;
  if (keyFrame) context->keySeen = true;
  int pictureLength = 0;
  timer.BeginStep();
  const int ok = DEC_DecodeData(context->decoder, frame, picture, length, &pictureLength,
                                keyFrame, stamp);
  timer.EndDecode();
  if (ok == 0) TraceMessage("[KORVEL] - DEC_DecodeData, T|F:%d", ok);
  // Only a picture the decoder made is shown: a failed decode or one held back for display
  // order would put the buffer's old (or never written) contents on screen.
  if (ok == 0 || pictureLength <= 0) return;
  if (camera && context->incoming.load()) {
    if (context->keySeen) PromoteMovingStream(*context, picture);
    return;
  }
  if (IsCurrentPage(*context)) {
    timer.BeginStep();
    ShowPicture(*context, picture, info.nWidth, info.nHeight);
    timer.EndDisplay();
  }
}

// Starts the sound output for blocks decoded from `adpcmBytes`; other sizes start nothing.
void BeginSoundFor(int adpcmBytes) {
  if (adpcmBytes == kAdpcmLarge) {
    GL_BeginPlaySound(kPcmLarge);
    g_bSoundStarted = 1;
  } else if (adpcmBytes == kAdpcmSmall) {
    GL_BeginPlaySound(kPcmSmall);
    g_bSoundStarted = 1;
  }
}

void FrwAudioCallback(const unsigned char* block, int length, int, void* user, int playOff,
                      int restart) {
  auto* context = static_cast<PreviewContext*>(user);
  if (g_bClosing || !context || !block || length <= 0) return;
  if (g_bMute) return;
  // The window's sound buffer holds the PCM of at most 1,024 ADPCM bytes.
  if (length > kAdpcmLarge) {
    TraceMessage("[KORVEL] - audio block of %d bytes dropped", length);
    return;
  }
  auto* pcm = reinterpret_cast<short*>(g_WindowBuffers.audio[context->window].get());
  if (!pcm) return;
  // Of a camera window moving between profiles only the shown stream is heard; the other's
  // blocks are still decoded for a capture (the recording's stream may be the new one).
  const bool heard = context->kind != kKindCamera || IsActiveCamera(*context);
  if (heard && IsHeardWindow(*context) && playOff == 0) {
    if (g_bSoundStarted == 0) {
      TraceMessage("[KORVEL] - -=- GL_BeginPlaySound");
      BeginSoundFor(length);
    }
    if (restart) {
      TraceMessage("[KORVEL] - -=- GL_BeginPlaySound");
      BeginSoundFor(length);
    }
    const int ok = DEC_DecodeAudio(context->decoder, block, pcm, length, nullptr, 0, 0);
    if (ok == 0) TraceMessage("[KORVEL] - DEC_DecodeAudio, T|F:%d", ok);
    GL_PlaySound(reinterpret_cast<const unsigned char*>(pcm));
  } else {
    const int ok = DEC_DecodeAudio(context->decoder, block, pcm, length, nullptr, 0, 1);
    if (ok == 0) TraceMessage("[KORVEL] - DEC_DecodeAudio, T|F:%d", ok);
  }
}

// Makes the camera preview's picture buffer hold a width x height picture (planar 4:2:0);
// a size it does not decode leaves the buffer as it is.
void SizeCameraPicture(PreviewContext& context, int width, int height) {
  if (!CameraPictureFits(width, height)) return;
  const std::size_t bytes = static_cast<std::size_t>(width) * height * 3 / 2 + 128;
  if (bytes <= context.cameraPictureBytes) return;
  context.cameraPicture = std::make_unique<std::uint8_t[]>(bytes);
  context.cameraPictureBytes = bytes;
}

void FormatChanged(PreviewContext& context, const void* data, int length) {
  if (!data || length < static_cast<int>(sizeof(PreviewMediaInfo))) return;
  const int entry = context.page * kSlotsPerPage + context.window;
  PreviewMediaInfo info;
  std::memcpy(&info, data, sizeof info);
  TraceMessage(
      "[KORVEL] - CONPROC: VideoInfo Changed. PAGE:%d  WND: %d --- VideInfo-nWidth: %d, "
      "nHeight: %d",
      context.page, context.window, info.nWidth, info.nHeight);
  // The camera's buffer grows before the new size is published, on the thread that decodes.
  if (context.kind == kKindCamera) {
    SizeCameraPicture(context, info.nWidth, info.nHeight);
    context.cameraInfo = info;
  }
  const bool shownStream = context.kind != kKindCamera || IsActiveCamera(context);
  if (shownStream) StorePreviewMediaInfo(entry, info);
  if (context.kind == kKindCamera ? !CameraPictureFits(info.nWidth, info.nHeight)
                                  : !PictureFitsBuffer(info.nWidth, info.nHeight)) {
    TraceMessage("[KORVEL] - picture %dx%d does not fit the window buffer: not decoded",
                 info.nWidth, info.nHeight);
    return;
  }
  const DecoderFormat format{info.nWidth, info.nHeight, info.nCompressor};
  DEC_SetDecoderFMT(context.decoder, 0, &format);
  if (!context.dialog || !shownStream) return;
  CCameraInfo& slot = g_PageInfo[context.page].camera[context.window];
  std::lock_guard<platform::CriticalSection> guard(context.dialog->m_csDialog);
  if (slot.nRecKind) {
    // The capture file was made for the old size: it ends here and the next one begins.
    DEC_StopCapture(context.decoder);
    TraceMessage("[KORVEL] - capture of window %d stopped at a format change", context.window);
    context.dialog->Recording().RestartCaptureAfterFormatChange(slot, context.page, context.window);
  }
}

void ConnectingProc(int status, const void* data, int length, void* user) {
  auto* context = static_cast<PreviewContext*>(user);
  if (!context) return;
  TraceMessage("[KORVEL] - ConnectingProc: PAGE:%d  WND: %d", context->page, context->window);
  if (status == FRW_STATUS_CONNECTION_LOST) {
    if (g_bClosing || !context->dialog) return;
    CCameraInfo& slot = g_PageInfo[context->page].camera[context->window];
    std::lock_guard<platform::CriticalSection> guard(slot.lock);
    if (slot.bTried) {
      slot.bConnected = 0;
      slot.nLostFlag = 1;
      BlankPreviewWindow(context->dialog, context->page, context->window, true);
      context->dialog->UpdateIndicators(context->page, context->window);
    }
  } else if (status == FRW_STATUS_FORMAT_CHANGED) {
    FormatChanged(*context, data, length);
  }
}

std::string LanguageOf(CKorvelDlg* dialog, const char* key) {
  return dialog ? dialog->LanguageText(key) : std::string(key);
}

int StartAlderPreview(CKorvelDlg* dialog, CLoginInfo& login, CCameraInfo& slot, int page,
                      int window) {
  std::string dotted;
  if (ResolveAddress(login.strAddr, dotted) != kResolveOk) {
    if (!MakeHole(login, nullptr, dialog ? dialog->Handle() : nullptr,
                  [dialog](const char* key) { return LanguageOf(dialog, key); }))
      return -2;
  }
  const int result = FRWStartPreview(slot.hDvr, slot.nChannel, 0, 0);
  if (result != 0) {
    TraceMessage("[KORVEL] - FRWStartPreview failed, handle = %d channel = %d failcode =%d",
                 slot.hDvr, slot.nChannel, result);
    return result;
  }
  PreviewMediaInfo info;
  FRWGetMediaInfo(slot.hDvr, slot.nChannel, &info);

  const int decoder = DEC_CreateVideoDecoder(slot.nChannel);
  if (decoder < 0)
    platform::MessageBox(dialog ? dialog->Handle() : nullptr, "DEC_createVideoDecoder ERROR",
                         "", platform::MB_OK);
  slot.hDecoder = decoder;
  TraceMessage("[KORVEL] - DEC_SetDecoderFMT(). WND: %d. CALLID = %d\n", window, decoder);
  if (PictureFitsBuffer(info.nWidth, info.nHeight)) {
    const DecoderFormat format{info.nWidth, info.nHeight, info.nCompressor};
    DEC_SetDecoderFMT(decoder, 0, &format);
  } else {
    TraceMessage("[KORVEL] - picture %dx%d does not fit the window buffer: not decoded",
                 info.nWidth, info.nHeight);
  }
  TraceMessage("[KORVEL] - Current VideoInfo: nCompressor: %d, m_nWidth: %d, m_nHeight: %d",
               info.nCompressor, info.nWidth, info.nHeight);

  const int entry = page * kSlotsPerPage + window;
  StorePreviewMediaInfo(entry, info);
  PreviewContext& context = g_PreviewContext[entry];
  context.dialog = dialog;
  context.channel = slot.nChannel;
  context.window = window;
  context.page = page;
  context.handle = slot.hDvr;
  context.channelByte = static_cast<std::uint8_t>(slot.nChannel);
  context.decoder = decoder;
  std::memcpy(context.mediaInfo, &info, sizeof context.mediaInfo);

  FRWRegConnectStatusCallBack(slot.hDvr, slot.nChannel, ConnectingProc, &context);
  FRWRegVideoPreCallBack(slot.hDvr, slot.nChannel, FrwVideoCallback, &context);
  FRWRegAudioPreCallBack(slot.hDvr, slot.nChannel, FrwAudioCallback, &context);
  TraceMessage("[KORVEL] - reg....................");
  return 0;
}

// --- Kind 4 -------------------------------------------------------------------------------

// The camera link reports a lost stream once, keeps reconnecting, and reports it restored.
// The preview stays registered throughout (the slot stays connected, marked lost), so a
// disconnect still stops it; a recording ends its file at the loss and goes on in a new one
// after the reconnection.
void CameraStatusProc(int status, const void* data, int length, void* user) {
  auto* context = static_cast<PreviewContext*>(user);
  if (!context) return;
  if (status == CML_STATUS_FORMAT_CHANGED) {
    FormatChanged(*context, data, length);
    return;
  }
  if (g_bClosing || !context->dialog) return;
  // A stream the window does not show (one being moved to, or one on its way out) says
  // nothing about the window's connection.
  if (!IsActiveCamera(*context)) return;
  CKorvelDlg& dialog = *context->dialog;
  CCameraInfo& slot = g_PageInfo[context->page].camera[context->window];
  const bool lost = status == CML_STATUS_CONNECTION_LOST;
  if (!lost && status != CML_STATUS_RESTORED) return;
  TraceMessage("[KORVEL] - camera of page %d window %d %s", context->page + 1, context->window + 1,
               lost ? "lost" : "reconnected");
  bool recording = false;
  {
    std::lock_guard<platform::CriticalSection> guard(slot.lock);
    if (!slot.bTried) return;
    slot.nLostFlag = lost ? 1 : 0;
    recording = slot.nRecKind != 0;
  }
  if (recording) {
    std::lock_guard<platform::CriticalSection> guard(dialog.m_csDialog);
    if (lost) {
      DEC_StopCapture(context->decoder);
      TraceMessage("[KORVEL] - capture of window %d ended at the loss", context->window + 1);
    } else {
      dialog.Recording().RestartCaptureAfterFormatChange(slot, context->page, context->window);
    }
  }
  // The stream comes back by itself into the same preview: its pictures stay allowed.
  if (lost) BlankPreviewWindow(&dialog, context->page, context->window, false);
  if (lost) dialog.Post({korvel::WM_KORVEL_ERRREPORT, 5, reinterpret_cast<platform::LPARAM>(context->login)});
  dialog.UpdateIndicators(context->page, context->window);
}

// Fills `context` for a camera session of `profile` and makes its decoder; the callbacks
// are registered by the caller. False (nothing made) when no decoder is free.
bool PrepareCameraContext(PreviewContext& context, CKorvelDlg* dialog, CLoginInfo* login,
                          const CCameraInfo& slot, int page, int window, int session,
                          int profile) {
  CML_MEDIA_INFO camera{};
  CMLGetSessionMediaInfo(slot.hDvr, session, &camera);
  const PreviewMediaInfo info{camera.nWidth, camera.nHeight, camera.nCompressor,
                              camera.nFrameRate};
  const int decoder = DEC_CreateVideoDecoder(profile);
  if (decoder < 0) {
    TraceMessage("[KORVEL] - DEC_CreateVideoDecoder failed for window %d", window + 1);
    return false;
  }
  context.dialog = dialog;
  context.channel = slot.nChannel;
  context.window = window;
  context.page = page;
  context.handle = slot.hDvr;
  context.decoder = decoder;
  context.kind = kKindCamera;
  context.login = login;
  context.session = session;
  context.profile = profile;
  context.cameraInfo = info;
  context.keySeen = false;
  std::memcpy(context.mediaInfo, &info, sizeof context.mediaInfo);
  SizeCameraPicture(context, info.nWidth, info.nHeight);
  if (CameraPictureFits(info.nWidth, info.nHeight)) {
    const DecoderFormat format{info.nWidth, info.nHeight, info.nCompressor};
    DEC_SetDecoderFMT(decoder, 0, &format);
  } else {
    TraceMessage("[KORVEL] - camera picture %dx%d is not decoded", info.nWidth, info.nHeight);
  }
  TraceMessage("[KORVEL] - camera of window %d: profile %d, codec %d, %dx%d, %d pictures/s",
               window + 1, profile, info.nCompressor, info.nWidth, info.nHeight, info.nFrameRate);
  return true;
}

int StartCameraPreview(CKorvelDlg* dialog, CLoginInfo& login, CCameraInfo& slot, int page,
                       int window) {
  int session = 0;
  const int result = CMLStartPreviewSession(slot.hDvr, slot.nChannel, &session);
  if (result != CML_OK) {
    TraceMessage("[KORVEL] - CMLStartPreview failed, handle = %d stream = %d failcode = %d",
                 slot.hDvr, slot.nChannel, result);
    return ReportableCameraCode(result);
  }
  const int entry = page * kSlotsPerPage + window;
  StreamMoveState& move = g_moves[entry];
  PreviewContext& context = g_PreviewContext[entry];
  {
    // The window starts on its slot's profile in its first context.
    std::lock_guard<std::mutex> guard(move.lock);
    ++move.generation;
    move.active = 0;
    move.moving = move.installed = move.promoted = false;
    move.refusedProfile = -1;
    g_MovingContext[entry].shown = false;
    g_MovingContext[entry].incoming = false;
    if (!PrepareCameraContext(context, dialog, &login, slot, page, window, session,
                              slot.nChannel)) {
      CMLStopPreviewSession(slot.hDvr, session);
      context.session = 0;
      return FRW_ERR_NO_SOURCE;
    }
    context.incoming = false;
  }
  slot.hDecoder = context.decoder;
  StorePreviewMediaInfo(entry, context.cameraInfo);
  CMLRegSessionCallBacks(slot.hDvr, session, CameraStatusProc, FrwVideoCallback, FrwAudioCallback,
                         &context);
  return 0;
}

// Stops a camera session and frees its decoder (the session first: its callbacks decode).
void EndCameraSession(int handle, int session, int decoder) {
  if (session != 0) CMLStopPreviewSession(handle, session);
  if (decoder >= 0) DEC_DestroyVideoDecoder(decoder);
}

// Takes what the window's context `bank` owns, under the move's lock: its session ends
// with the caller.
struct TakenSession {
  int handle = 0;
  int session = 0;
  int decoder = -1;
};
TakenSession TakeSession(PreviewContext& context) {
  TakenSession taken{context.handle, context.session, context.decoder};
  context.session = 0;
  context.incoming = false;
  context.shown = false;
  return taken;
}

// Completes or gives up the move of context entry `entry`; with a zero timeout a waiting
// move is given up at once (whatever its kind). True while the move still waits.
bool TendMove(int entry, std::chrono::milliseconds timeout) {
  StreamMoveState& move = g_moves[entry];
  TakenSession ending;
  bool gaveUp = false;
  int window = entry % kSlotsPerPage;
  int keptProfile = -1;
  int wantedProfile = -1;
  unsigned generation = 0;
  {
    std::lock_guard<std::mutex> guard(move.lock);
    if (!move.moving) return false;
    if (!move.installed || move.settling) return true;
    generation = move.generation;
    const int active = move.active.load();
    PreviewContext& shown = Bank(entry, active);
    PreviewContext& other = Bank(entry, 1 - active);
    if (move.promoted) {
      // The new stream is on screen: the slot's decoder is now its (snapshots and
      // recordings go to the stream shown), and the old stream goes.
      CCameraInfo& slot = g_PageInfo[entry / kSlotsPerPage].camera[window];
      {
        std::unique_lock<platform::CriticalSection> slotGuard(slot.lock, std::try_to_lock);
        if (!slotGuard.owns_lock()) return true;  // next time round
        slot.hDecoder = shown.decoder;
      }
      ending = TakeSession(other);
    } else {
      const bool late = std::chrono::steady_clock::now() - move.since >= timeout;
      if (!late || (move.why == StreamMove::Recording && timeout.count() > 0)) return true;
      ending = TakeSession(other);
      gaveUp = true;
      keptProfile = shown.profile;
      wantedProfile = other.profile;
      move.refusedProfile = wantedProfile;
      move.refusedAt = std::chrono::steady_clock::now();
    }
    move.settling = true;
  }
  if (gaveUp)
    TraceMessage("[KORVEL] - window %d: profile %d showed no picture in time; it keeps profile %d",
                 window + 1, wantedProfile, keptProfile);
  EndCameraSession(ending.handle, ending.session, ending.decoder);
  std::lock_guard<std::mutex> guard(move.lock);
  for (int bank = 0; bank < 2; ++bank)
    if (Bank(entry, bank).session == 0 && Bank(entry, bank).decoder == ending.decoder)
      Bank(entry, bank).decoder = -1;
  move.settling = false;
  if (move.generation == generation) move.moving = move.installed = move.promoted = false;
  return false;
}

int StartDvrPreview(CKorvelDlg* dialog, CCameraInfo& slot, int page, int window) {
  const int handle = slot.hDvr;
  const int channel = slot.nChannel;
  int r = 0;
  if (slot.bFmtSet == 0) {
    const int result = ORVANE_setDecoderFMT(handle, channel, ORVANE_FMT_YUV420);
    if (result != 0) {
      TraceMessage("[KORVEL] - ORVANE_setDecoderFMT failed, handle = %d channel = %d failcode =%d",
                   handle, channel, result);
      return result;
    }
    slot.bFmtSet = 1;
  }
  int result = ORVANE_openVideoReciever(handle, channel, 0, 0);
  if (result != 0) {
    TraceMessage("[KORVEL] - ORVANE_openVideoReciever failed, handle = %d channel = %d failcode =%d",
                 handle, channel, result);
    return result;
  }
  ORVANE_mutePreViewAudio(handle, channel, 1);
  r |= ORVANE_openAudioReciever(handle, channel, 0, 0);
  if (r != 0) {
    TraceMessage("[KORVEL] - ORVANE_openAudioReciever failed, handle = %d channel = %d failcode =%d",
                 handle, channel, r);
    return r;
  }
  r |= ORVANE_startVideoSend(handle, channel);
  if (r != 0) {
    TraceMessage("[KORVEL] - ORVANE_startVideoSend failed, handle = %d channel = %d failcode =%d",
                 handle, channel, r);
    result = ORVANE_destroyVideoDecoder(handle, channel);
    if (result != 0) TraceMessage("[KORVEL] - destroyVideoDecoder failed! failcode = %d\n", result);
    result = ORVANE_closeVideoReciever(handle, channel);
    if (result != 0)
      TraceMessage("[KORVEL] - closeVideoReciever failed! handle =\t%d channel = %d failcode = %d\n",
                   handle, channel, result);
  }
  r |= ORVANE_startAudioSend(handle, channel);
  if (r != 0) {
    TraceMessage("[KORVEL] - ORVANE_startAudioSend failed, handle = %d channel = %d failcode =%d",
                 handle, channel, r);
    result = ORVANE_closeAudioReciever(handle, channel);
    if (result != 0)
      TraceMessage("[KORVEL] - closeAudioReciever failed! handle =\t%d channel = %d failcode = %d\n",
                   handle, channel, result);
  }
  PreviewContext& context = g_PreviewContext[page * kSlotsPerPage + window];
  context.dialog = dialog;
  context.channel = channel;
  context.window = window;
  context.page = page;
  context.handle = handle;
  r |= ORVANE_createVideoDecoder(handle, channel, DvrPictureCallback, &context);
  if (r != 0) {
    TraceMessage("[KORVEL] - ORVANE_createVideoDecoder failed");
    return r;
  }
  r |= ORVANE_regDecAudioFrameCB(handle, channel, DvrSoundCallback, &context);
  if (r != 0) TraceMessage("[KORVEL] - ORVANE_regDecAudioFrameCB failed");
  g_nLastPreviewPage = page;
  g_nLastPreviewWnd = window;
  TraceMessage("[KORVEL] - END--------------------> StartSDKPreview");
  return r;
}

// Stops both streams of a camera window (the shown one and one being moved to) and frees
// their decoders. A tending tearing a stream down is waited for, so no context is reused
// under callbacks still running. The stop result of the shown stream.
int StopCameraSessions(const CCameraInfo& slot) {
  const int entry = slot.nPage * kSlotsPerPage + slot.nWnd;
  if (slot.nPage < 0 || slot.nPage >= kPageCount || slot.nWnd < 0 || slot.nWnd >= kSlotsPerPage)
    return CML_ERR_HANDLE;
  StreamMoveState& move = g_moves[entry];
  TakenSession taken[2];
  int shownSession = 0;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(move.lock);
      if (!move.settling) {
        ++move.generation;
        shownSession = Bank(entry, move.active.load()).session;
        for (int bank = 0; bank < 2; ++bank) taken[bank] = TakeSession(Bank(entry, bank));
        move.moving = move.installed = move.promoted = false;
        move.active = 0;
        break;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  int outcome = CML_OK;
  for (const TakenSession& ending : taken) {
    if (ending.session == 0) continue;
    const int result = CMLStopPreviewSession(ending.handle, ending.session);
    if (ending.session == shownSession) outcome = result;
    if (ending.decoder >= 0) DEC_DestroyVideoDecoder(ending.decoder);
  }
  std::lock_guard<std::mutex> guard(move.lock);
  for (int bank = 0; bank < 2; ++bank)
    if (Bank(entry, bank).session == 0) Bank(entry, bank).decoder = -1;
  return outcome;
}

}  // namespace

unsigned LongestPictureCallbackUs() { return g_longestPictureCallbackUs.load(); }

unsigned PictureCallbackCount() { return g_pictureCallbacks.load(); }

unsigned SlowPictureCallbackCount() { return g_slowPictureCallbacks.load(); }

PictureCallbackBreakdown LongestPictureCallbackBreakdown() {
  std::lock_guard<std::mutex> guard(g_longestBreakdownLock);
  return g_longestBreakdown;
}

void ResetLongestPictureCallback() {
  {
    std::lock_guard<std::mutex> guard(g_longestBreakdownLock);
    g_longestBreakdown = PictureCallbackBreakdown{};
  }
  g_longestPictureCallbackUs = 0;
  g_pictureCallbacks = 0;
  g_slowPictureCallbacks = 0;
  for (auto& bucket : g_callbackMilliseconds) bucket = 0;
}

unsigned PictureCallbackPercentileMs(double fraction) {
  unsigned counts[kCallbackBuckets];
  unsigned long long total = 0;
  for (int i = 0; i < kCallbackBuckets; ++i) total += counts[i] = g_callbackMilliseconds[i].load();
  if (total == 0) return 0;
  const auto wanted = static_cast<unsigned long long>(fraction * static_cast<double>(total));
  unsigned long long seen = 0;
  for (int i = 0; i < kCallbackBuckets; ++i) {
    seen += counts[i];
    // A callback counted in bucket i lasted less than i + 1 ms.
    if (seen > wanted) return static_cast<unsigned>(i + 1);
  }
  return kCallbackBuckets;
}

PreviewMediaInfo LoadPreviewMediaInfo(int entry) {
  if (entry < 0 || entry >= kContextCount) return {};
  std::lock_guard<std::mutex> guard(g_mediaInfoLocks[entry]);
  return g_PreviewMediaInfo[entry];
}

void StorePreviewMediaInfo(int entry, const PreviewMediaInfo& info) {
  if (entry < 0 || entry >= kContextCount) return;
  std::lock_guard<std::mutex> guard(g_mediaInfoLocks[entry]);
  g_PreviewMediaInfo[entry] = info;
}

bool CameraPictureFits(int width, int height) {
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return false;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) <= 3840u * 2160u;
}

bool PictureFitsBuffer(int width, int height) {
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return false;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 / 2 <=
         kPictureBufferBytes;
}

int StartSDKPreview(CKorvelDlg* dialog, CLoginInfo& login, CCameraInfo& slot, int page,
                    int window) {
  TraceMessage("[KORVEL] - --------------------> StartSDKPreview");
  g_PreviewContext[page * kSlotsPerPage + window].shown = true;
  g_moves[page * kSlotsPerPage + window].active = 0;
  if (slot.nKind == kKindAlder) return StartAlderPreview(dialog, login, slot, page, window);
  if (slot.nKind == kKindCamera) return StartCameraPreview(dialog, login, slot, page, window);
  return StartDvrPreview(dialog, slot, page, window);
}

std::mutex& WindowDisplayGate(int window) {
  return g_displayGates[std::clamp(window, 0, kVideoWindowCount - 1)];
}

void BlankPreviewWindow(CKorvelDlg* dialog, int page, int window, bool endPictures) {
  if (page < 0 || page >= kPageCount || window < 0 || window >= kVideoWindowCount) return;
  std::lock_guard<std::mutex> gate(g_displayGates[window]);
  if (endPictures) {
    g_PreviewContext[page * kSlotsPerPage + window].shown = false;
    g_MovingContext[page * kSlotsPerPage + window].shown = false;
  }
  if (dialog && page == dialog->CurrentPage()) {
    dialog->BlankWindow(window);
    Observe(window, nullptr, 0, 0);
  }
}

int StopSDKPreview(CKorvelDlg* dialog, CCameraInfo& slot) {
  TraceMessage("[KORVEL] - Start--------------------> StopSDKPreview");
  int outcome = 0;
  // The window goes blank before the stream stops: a picture still on its way is not drawn.
  BlankPreviewWindow(dialog, slot.nPage, slot.nWnd, true);
  // The recording ends before the stream it is made of; the schedule is disarmed with it.
  if (dialog) dialog->Recording().StopWithPreview(slot);
  else slot.bSchedOn = 0;
  if (slot.nKind == kKindCamera) {
    outcome = StopCameraSessions(slot);
    slot.hDecoder = -1;
  } else if (slot.nKind == kKindAlder) {
    outcome = FRWStopPreview(slot.hDvr, slot.nChannel);
    TraceMessage("[KORVEL] - destroyVideoDecoder(). CALLID = %d\n", slot.hDecoder);
    if (slot.hDecoder >= 0) DEC_DestroyVideoDecoder(slot.hDecoder);
    slot.hDecoder = -1;
  } else {
    const int handle = slot.hDvr;
    const int channel = slot.nChannel;
    int result = ORVANE_stopVideoSend(handle, channel);
    if (result != 0) {
      outcome = result;
      TraceMessage("[KORVEL] - stopVideoSend failed! handle = %d channel = %d failcode = %d\n",
                   handle, channel, result);
    }
    result = ORVANE_stopAudioSend(handle, channel);
    if (result != 0) {
      outcome = result;
      TraceMessage("[KORVEL] - stopAudioSend failed! handle = %d channel = %d failcode = %d\n",
                   handle, channel, result);
    }
    result = ORVANE_destroyVideoDecoder(handle, channel);
    if (result != 0) {
      outcome = result;
      TraceMessage("[KORVEL] - destroyVideoDecoder failed! failcode = %d\n", result);
    }
    result = ORVANE_closeVideoReciever(handle, channel);
    if (result != 0) {
      outcome = result;
      TraceMessage("[KORVEL] - closeVideoReciever failed! handle =\t%d channel = %d failcode = %d\n",
                   handle, channel, result);
    }
    result = ORVANE_closeAudioReciever(handle, channel);
    if (result != 0) {
      outcome = result;
      TraceMessage("[KORVEL] - closeAudioReciever failed! handle =\t%d channel = %d failcode = %d\n",
                   handle, channel, result);
    }
  }
  GL_PausePlaySound();
  g_bSoundStarted = 0;
  TraceMessage("[KORVEL] - END--------------------> StopSDKPreview");
  return outcome;
}

void SetPresentObserver(PresentObserver observer) { g_presentObserver = observer; }

bool CameraSlotMayMoveStream(const CCameraInfo& slot) {
  return slot.nKind == kKindCamera && slot.nPort2 > 0 && !slot.strAddr.empty() &&
         CameraHostOf(slot.strAddr) == slot.strAddr;
}

int ShownCameraProfile(int page, int window) {
  if (page < 0 || page >= kPageCount || window < 0 || window >= kSlotsPerPage) return -1;
  const int entry = page * kSlotsPerPage + window;
  StreamMoveState& move = g_moves[entry];
  std::lock_guard<std::mutex> guard(move.lock);
  const PreviewContext& shown = Bank(entry, move.active.load());
  return shown.kind == kKindCamera && shown.session != 0 ? shown.profile : -1;
}

int IncomingCameraProfile(int page, int window) {
  if (page < 0 || page >= kPageCount || window < 0 || window >= kSlotsPerPage) return -1;
  StreamMoveState& move = g_moves[page * kSlotsPerPage + window];
  std::lock_guard<std::mutex> guard(move.lock);
  return move.moving && !move.promoted ? move.toProfile : -1;
}

bool CameraStreamMoving(int page, int window) {
  if (page < 0 || page >= kPageCount || window < 0 || window >= kSlotsPerPage) return false;
  StreamMoveState& move = g_moves[page * kSlotsPerPage + window];
  std::lock_guard<std::mutex> guard(move.lock);
  return move.moving;
}

bool TendCameraStreamMoves(std::chrono::milliseconds timeout) {
  bool waiting = false;
  for (int entry = 0; entry < kContextCount; ++entry) waiting = TendMove(entry, timeout) || waiting;
  return waiting;
}

int MoveCameraStream(CKorvelDlg* dialog, CCameraInfo& slot, int page, int window, int profile,
                     StreamMove why) {
  if (page < 0 || page >= kPageCount || window < 0 || window >= kSlotsPerPage) return -1;
  const int entry = page * kSlotsPerPage + window;
  StreamMoveState& move = g_moves[entry];
  if (why == StreamMove::Recording) {
    // A move under way is settled first: completed when its picture is shown, else given
    // up; one still opening is waited for (its open ends within the camera link's 5 s).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (TendMove(entry, std::chrono::milliseconds(0))) {
      if (std::chrono::steady_clock::now() >= deadline) {
        TraceMessage("[KORVEL] - window %d: the move under way did not settle", window + 1);
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  int handle = 0;
  unsigned generation = 0;
  int kept = -1;
  CLoginInfo* login = nullptr;
  {
    std::lock_guard<platform::CriticalSection> slotGuard(slot.lock);
    if (!slot.bConnected || !CameraSlotMayMoveStream(slot)) return -1;
    if (why == StreamMove::Fit && slot.nRecKind != 0) return -1;
    handle = slot.hDvr;
    std::lock_guard<std::mutex> guard(move.lock);
    const PreviewContext& shown = Bank(entry, move.active.load());
    if (shown.session == 0) return -1;
    if (shown.profile == profile) return 0;
    if (move.moving) return -1;
    if (why == StreamMove::Fit && profile == move.refusedProfile &&
        std::chrono::steady_clock::now() - move.refusedAt < kRefusedProfileRest)
      return -1;
    move.moving = true;
    move.installed = move.promoted = false;
    move.why = why;
    move.toProfile = profile;
    generation = move.generation;
    kept = shown.profile;
    login = shown.login;
  }
  TraceMessage("[KORVEL] - window %d moves from profile %d to profile %d%s", window + 1, kept,
               profile, why == StreamMove::Recording ? " for its recording" : "");
  int session = 0;
  const int result = CMLStartPreviewSession(handle, profile, &session);
  std::unique_lock<std::mutex> guard(move.lock);
  if (result != CML_OK || move.generation != generation) {
    if (move.generation == generation) move.moving = false;
    if (result != CML_OK) {
      move.refusedProfile = profile;
      move.refusedAt = std::chrono::steady_clock::now();
    }
    guard.unlock();
    if (result == CML_OK) {
      CMLStopPreviewSession(handle, session);
      return -1;
    }
    TraceMessage("[KORVEL] - window %d: profile %d did not open (%d); it keeps profile %d",
                 window + 1, profile, result, kept);
    return ReportableCameraCode(result);
  }
  PreviewContext& incoming = Bank(entry, 1 - move.active.load());
  incoming.shown = false;
  incoming.incoming = true;
  if (!PrepareCameraContext(incoming, dialog, login, slot, page, window, session, profile)) {
    incoming.incoming = false;
    move.moving = false;
    guard.unlock();
    CMLStopPreviewSession(handle, session);
    return FRW_ERR_NO_SOURCE;
  }
  incoming.bank = 1 - move.active.load();
  move.installed = true;
  move.since = std::chrono::steady_clock::now();
  const int decoder = incoming.decoder;
  guard.unlock();
  if (why == StreamMove::Recording) {
    // The caller holds the slot's lock and starts the capture on this decoder next: the
    // file begins with the new stream's first key frame.
    std::lock_guard<platform::CriticalSection> slotGuard(slot.lock);
    slot.hDecoder = decoder;
  }
  CMLRegSessionCallBacks(handle, session, CameraStatusProc, FrwVideoCallback, FrwAudioCallback,
                         &incoming);
  return 0;
}
