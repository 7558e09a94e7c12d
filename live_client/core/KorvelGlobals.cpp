#include "live_client/core/KorvelGlobals.h"

// Process-wide by design: the device-library callbacks carry no context beyond these.
int g_nResolution = 0;
CKorvelDlg* g_pMainDlg = nullptr;
std::atomic<int> g_nCurWnd{-1};
int g_nPrevWnd = -1;
std::atomic<int> g_bClosing{0};
std::atomic<int> g_bMute{0};
std::atomic<int> g_bSoundStarted{0};
platform::CriticalSection g_csCameraTable;
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
