#pragma once

// Process-wide values of the live client. The connect workers, the maintenance thread and the
// callbacks of the device libraries reach the main dialog and the selection through these; the
// user-interface thread alone writes the selection and the resolution class.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "live_client/core/CameraInfo.h"
#include "platform/Sync.h"

class CKorvelDlg;

// Skin resolution class: 1 = 1024 x 768 skin, 2 = 1440 x 900 skin, 0 = neither. Set by the
// display-mode check, read by the skin loader.
extern int g_nResolution;
// The one main dialog; set by its constructor, cleared by its destructor.
extern CKorvelDlg* g_pMainDlg;
// Selected video window 0-24, -1 for none; and the one selected before it. Written by the UI
// thread only; the sound callbacks read the selection.
extern std::atomic<int> g_nCurWnd;
extern int g_nPrevWnd;
// 1 from the start of the final teardown: callbacks of the device libraries then do nothing.
extern std::atomic<int> g_bClosing;
// Sound switched off by the mute button; sound output started for the selected window.
extern std::atomic<int> g_bMute;
extern std::atomic<int> g_bSoundStarted;
// Guards the page table against the connect workers and the recording code. Taken before a
// slot's own lock.
extern platform::CriticalSection g_csCameraTable;

// What a network camera's services call the profile of a slot's channel, with its size
// ("SubStream 640x360"), once a login read it; "" when unknown. Shown by the camera tree and
// the camera list. Any thread.
void SetSlotProfileText(int page, int w, const std::string& text);
std::string SlotProfileText(int page, int w);

// Per-window picture and sound buffers, allocated once the device libraries are started and
// freed in the final teardown.
inline constexpr std::size_t kPictureBufferBytes = 720 * 576 * 3 + 128;  // 1,244,288
inline constexpr std::size_t kAudioBufferBytes = 4040;
struct WindowBuffers {
  std::unique_ptr<std::uint8_t[]> picture[kVideoWindowCount];
  std::unique_ptr<std::uint8_t[]> audio[kVideoWindowCount];
  bool Allocated() const { return picture[0] != nullptr; }
  void Allocate();
  void Free();
};
extern WindowBuffers g_WindowBuffers;
