#pragma once

// Top-level windows that other processes find by title.
//
// A process registers a title (TitledWindowServer); any process finds it by that title
// (FindTitledWindow), sets its text (WM_SETTEXT shape: synchronous, acknowledged by the
// receiver) or posts it a message. Each registered title is one Unix-domain socket in
// RuntimeFolder() (Process.h) named after the title, byte-safely encoded, so titles with blanks
// or other characters work. A socket left behind by a dead process is not a window: finding and
// sending connect to it and fail, and the next registration replaces it.

#include "platform/Window.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// How long a sender waits for the receiver to acknowledge, so that a hung receiver cannot hang
// the sender forever.
inline constexpr std::chrono::milliseconds kTitledWindowSendTimeout{2000};

// Server side: owns one registered title. The handlers run on the server's own thread, one
// request at a time; the text handler runs before the sender gets its acknowledgement.
class TitledWindowServer {
 public:
  using TextHandler = std::function<void(const std::string& text)>;
  using MessageHandler = std::function<void(const Message& message)>;

  TitledWindowServer();
  ~TitledWindowServer();  // unregisters
  TitledWindowServer(const TitledWindowServer&) = delete;
  TitledWindowServer& operator=(const TitledWindowServer&) = delete;

  // Registers `title` with handlers for set-text and posted messages (either may be empty).
  // False when the title is already registered by a live window or the socket cannot be made.
  bool Register(std::string_view title, TextHandler on_text, MessageHandler on_message);
  // Registers `title` for a local window: set-text is sent to it (WM_SETTEXT, so the sender
  // waits until the window's thread handled it), posted messages are posted to it. The window
  // must outlive the registration.
  bool Register(std::string_view title, Window* window);
  // Removes the socket and stops the thread. Safe to call when not registered.
  void Unregister();

  bool IsRegistered() const;
  const std::string& Title() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Client side: a found window. A handle stays valid while the same registration lives; check
// it with IsWindow() before use and find the title again when it fails.
class TitledWindowHandle {
 public:
  const std::string& Title() const { return title_; }

  // True while the registration found is still in place (its socket file is the same one and
  // no request to it has failed). Cheap: no connection is made.
  bool IsWindow() const;
  // Sets the window's text and waits for the receiver's acknowledgement, at most `timeout`.
  // False (and the handle no longer a window) when the receiver is gone or did not answer;
  // false alone for a text over 1 MiB, which is not sent.
  bool SendText(std::string_view text,
                std::chrono::milliseconds timeout = kTitledWindowSendTimeout);
  // Posts a message; waits only for the receiver to take it, at most `timeout`.
  bool Post(const Message& message, std::chrono::milliseconds timeout = kTitledWindowSendTimeout);

 private:
  friend std::optional<TitledWindowHandle> FindTitledWindow(std::string_view title);
  std::string title_;
  std::string socket_path_;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  std::shared_ptr<std::atomic<bool>> failed_;  // shared by copies: a failure seen by one is seen by all
};

// Finds the live window registered with exactly this title; nothing when none answers.
std::optional<TitledWindowHandle> FindTitledWindow(std::string_view title);

// Socket path used for a title (exposed for diagnostics and tests).
std::string TitledWindowSocketPath(std::string_view title);

}  // namespace platform
