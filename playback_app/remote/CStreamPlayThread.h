#pragma once

// Plays a Vantor recording while it is still arriving: reads the window's growing temporary
// file and feeds it to the player engine's stream input on the port of the same number.
// The transmit reader sets the data event after each write and the engine's source-buffer
// callback sets it when the engine runs low; after 50 reads in a row that find nothing new
// (100 ms apart) the input counts as ended, and the engine's next low-buffer call posts the
// end of the file to the dialog, once.
//
// Threads: the feed loop runs on this thread; SourceBufCallBack on the engine's parsing
// thread; CloseStream on the owner's (user-interface) thread. The engine is never called
// while holding m_cs from CloseStream, and the callback takes no lock, so an engine that
// waits for its parsing thread cannot deadlock against us.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "player_engine/Pellix.h"

namespace lumaro {

// The engine's display callback and its user value, registered for the stream's port while
// it plays (snapshots of the window are taken there).
struct StreamDisplay {
  PELLIX_DISPLAY_CB callback = nullptr;
  void* user = nullptr;
};

class CStreamPlayThread : public platform::Thread {
 public:
  // `window` is also the engine port; `videoWindow` the handle pictures go to; `dialog`
  // receives UM_FILE_END (0xFFFF, port). `tempFile` is the Windows-form path the transmit
  // reader writes; `dataEvent` (manual-reset, outlives the thread) is set by that reader
  // after each write. `muted`: no sound is started. `display` is registered on the port
  // while the stream is open. Created suspended.
  CStreamPlayThread(int window, void* videoWindow, void* dialog, std::string tempFile, platform::Event& dataEvent,
                    bool muted, StreamDisplay display = {});
  ~CStreamPlayThread() override;

  // Stops the engine's stream and closes the file; wakes a waiting feed loop. Safe twice.
  void CloseStream();
  // Wakes the feed loop: new bytes may be in the file.
  void DataArrived() { m_dataEvent.Set(); }
  int Window() const { return m_nWindow; }

  bool IsPlaying() const;
  bool InputEnded() const;
  std::uint64_t BytesFed() const;

 protected:
  std::uint32_t Run() override;

 private:
  static void SourceBufCallBack(int port, unsigned int remain, void* user, void* reserved);
  bool WaitForFirstBytes();
  bool OpenStream();
  void FeedLoop();

  const int m_nWindow;
  void* const m_hVideoWnd;
  void* const m_hDialog;
  const std::string m_strTempFile;
  const bool m_bMuted;
  const StreamDisplay m_display;
  platform::Event& m_dataEvent;

  mutable platform::CriticalSection m_cs;
  platform::File m_file;            // Guarded by m_cs
  bool m_bPlaying = false;          // Guarded by m_cs
  std::atomic<bool> m_bInputEnded{false};
  std::atomic<bool> m_bFileEndReported{false};
  bool m_bClosed = false;           // Guarded by m_cs
  bool m_bDisplaySet = false;       // Guarded by m_cs
  std::uint64_t m_nFed = 0;         // Guarded by m_cs
};

}  // namespace lumaro
