#include "live_client/core/KorvelGlobals.h"

#include <mutex>

// Process-wide by design: the device-library callbacks carry no context beyond these.
int g_nResolution = 0;
CKorvelDlg* g_pMainDlg = nullptr;
std::atomic<int> g_nCurWnd{-1};
int g_nPrevWnd = -1;
std::atomic<int> g_bClosing{0};
std::atomic<int> g_bMute{0};
std::atomic<int> g_bSoundStarted{0};
platform::CriticalSection g_csCameraTable;

namespace {
// Written by the connect workers, read by the UI thread; never held across another lock.
std::mutex g_profileTextLock;
std::string g_profileText[kPageCount][kSlotsPerPage];  // Guarded by g_profileTextLock
}  // namespace

void SetSlotProfileText(int page, int w, const std::string& text) {
  if (page < 0 || page >= kPageCount || w < 0 || w >= kSlotsPerPage) return;
  std::lock_guard<std::mutex> guard(g_profileTextLock);
  g_profileText[page][w] = text;
}

std::string SlotProfileText(int page, int w) {
  if (page < 0 || page >= kPageCount || w < 0 || w >= kSlotsPerPage) return {};
  std::lock_guard<std::mutex> guard(g_profileTextLock);
  return g_profileText[page][w];
}
WindowBuffers g_WindowBuffers;

void WindowBuffers::Allocate() {
  for (int i = 0; i < kVideoWindowCount; ++i) {
    if (!picture[i]) picture[i] = std::make_unique<std::uint8_t[]>(kPictureBufferBytes);
    if (!audio[i]) audio[i] = std::make_unique<std::uint8_t[]>(kAudioBufferBytes);
  }
}

void WindowBuffers::Free() {
  for (int i = 0; i < kVideoWindowCount; ++i) {
    picture[i].reset();
    audio[i].reset();
  }
}
