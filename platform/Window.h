#pragma once

// Windows and messages.
//
// An HWND of the system is an opaque `void*` naming a platform::Window. The programs implement
// Window with a Qt widget; the platform implements it as a memory window (MemoryWindow.h) for
// tests and unattended runs. Every window registers itself in one process-wide registry (this
// file is part of libplatform.so), so a handle can be checked with IsWindow() before it is used
// and the handle functions below fail cleanly on a window that is gone.
//
// Messages are (message, wParam, lParam) with the system's fixed numbers. Posting queues the
// message for the window's owner thread and never blocks. Sending blocks until the owner thread
// has handled the message; on the owner thread itself it runs the handler directly, so a send
// from the UI thread to its own window cannot deadlock.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// Message numbers the platform itself gives meaning to.
inline constexpr unsigned WM_NULL = 0x0000;
inline constexpr unsigned WM_DESTROY = 0x0002;
inline constexpr unsigned WM_SETTEXT = 0x000C;  // lParam: const char*, zero-terminated
inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_TIMER = 0x0113;    // wParam: the timer id
inline constexpr unsigned WM_USER = 0x0400;
inline constexpr unsigned WM_APP = 0x8000;

// A posted message fails once this many are waiting, as a full Windows queue does, so a window
// nobody pumps cannot grow without bound.
inline constexpr std::size_t kMaxQueuedMessages = 10000;

struct Message {
  unsigned message = WM_NULL;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// A picture handed to Present: 32-bit BGRA rows, top row first. The caller keeps the pixels;
// Present copies what it needs before it returns.
struct Picture {
  const std::uint8_t* bgra = nullptr;
  int width = 0;
  int height = 0;
  int stride_bytes = 0;  // bytes from one row to the next; 0 means width * 4
};

// Handles a message on the window's owner thread and returns the result a sender gets.
using MessageHandler = std::function<LRESULT(const Message& message)>;

class Window {
 public:
  Window();
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  void* Handle() { return this; }

  // Shows the picture scaled to the client rectangle. Any thread.
  virtual void Present(const Picture& picture) = 0;
  // Client rectangle in pixels, left and top 0. Any thread.
  virtual Rect ClientRect() const = 0;

  // Sets the handler that messages are dispatched to. Set it before messages can arrive; it is
  // replaced atomically, so a message in flight sees either the old or the new handler.
  void SetMessageHandler(MessageHandler handler);

  // Queues a message for the owner thread. Never blocks; any thread. False when the window is
  // closing or its queue is full.
  bool Post(const Message& message);
  // Handles a message on the owner thread and returns the handler's result: directly when
  // called there, otherwise by queueing it and waiting. Returns 0 when the window closes first.
  LRESULT Send(const Message& message);

  // Window text. WM_SETTEXT sent or posted to the window also sets it.
  virtual void SetText(std::string_view text);
  std::string Text() const;

  // Posts WM_TIMER with `id` every `interval_ms` until KillTimer(id). Setting an existing id
  // restarts it with the new interval. Any thread.
  virtual bool SetTimer(unsigned id, unsigned interval_ms);
  virtual bool KillTimer(unsigned id);

  // The thread that handles this window's messages: the creating thread unless adopted.
  void AdoptOwnerThread();
  bool IsOwnerThread() const;

  // Owner thread only: dispatches every queued message in order; returns how many.
  int PumpMessages();
  // Owner thread only: waits up to `timeout` for one message, dispatches it and copies it to
  // `dispatched` if given. False on time-out.
  bool PumpOneMessage(std::chrono::milliseconds timeout, Message* dispatched = nullptr);
  // Number of messages waiting.
  std::size_t QueuedMessageCount() const;

 protected:
  // Called (on any thread, without locks held) after a message was queued, so that an
  // implementation with an event loop can schedule PumpMessages() on the owner thread.
  virtual void OnMessageQueued() {}
  // Implementations call this first in their destructor: the window leaves the registry,
  // waiting senders are released with result 0 and timers stop. Safe to call twice.
  void CloseWindow();

 private:
  friend LRESULT SendMessage(void* hwnd, unsigned message, WPARAM wParam, LPARAM lParam);
  struct Pending;
  // Queues a sent message; the caller waits on the result outside the registry lock.
  std::shared_ptr<Pending> QueueSent(const Message& message);
  static LRESULT WaitSent(const std::shared_ptr<Pending>& pending);
  LRESULT Dispatch(const Message& message);
  bool DequeueOne(std::unique_lock<std::mutex>& lock, std::shared_ptr<Pending>& out);

  mutable std::mutex lock_;
  std::condition_variable queue_changed_;
  // Guarded by lock_.
  std::deque<std::shared_ptr<Pending>> queue_;
  bool closed_ = false;
  std::string text_;
  std::thread::id owner_;
  std::shared_ptr<const MessageHandler> handler_;
};

// Handle functions. Each checks the handle against the registry first and fails (false, 0, an
// empty rectangle) when it does not name a live window.
bool IsWindow(void* hwnd);
bool PostMessage(void* hwnd, unsigned message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(void* hwnd, unsigned message, WPARAM wParam, LPARAM lParam);
bool SetWindowText(void* hwnd, std::string_view text);
bool GetClientRect(void* hwnd, Rect& rect);
bool PresentPicture(void* hwnd, const Picture& picture);
bool SetTimer(void* hwnd, unsigned id, unsigned interval_ms);
bool KillTimer(void* hwnd, unsigned id);

}  // namespace platform

// C interface of memory windows (libplatform.so). A memory window is an HWND like any other:
// the render library and the player engine present pictures into it. CopyPixels gives the last
// picture as shown in the window (scaled again when `width` x `height` differs from the client
// size) and returns 1 if any was presented. Destroying a null or unknown handle does nothing.
extern "C" {
__attribute__((visibility("default"))) void* PlatformCreateMemoryWindow(int width, int height);
__attribute__((visibility("default"))) void PlatformDestroyWindow(void* window);
__attribute__((visibility("default"))) unsigned int PlatformWindowPresentCount(void* window);
__attribute__((visibility("default"))) int PlatformWindowCopyPixels(void* window,
                                                                    unsigned char* bgra,
                                                                    int width, int height);
}
