#pragma once

// One TCP connection to a Vantor device, non-blocking, with a network-event object that a
// reader thread waits on (together with its exit event) and then asks which of read,
// connect and close happened. A watcher thread per wrapper turns the socket's readiness
// into those events:
//   - connect: once per Connect(), with the connect error (0 on success), also when the
//     connect completed at once;
//   - read: data is waiting; reported again only after the next Receive(), so a reader that
//     takes part of the data is woken for the rest;
//   - close: the peer ended the connection (with the error for a reset) and every byte
//     before the end has been received.
//
// Threads: Open, Close, Connect and DisConnect are called by the owner (the user-interface
// thread). Send, Receive and EnumNetworkEvents may be called from any one thread at a time
// beside them. The lock order is lock_ alone; the event is signalled while holding it.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Sync.h"

namespace lumaro {

// Network event bits.
inline constexpr long FD_READ = 0x01;
inline constexpr long FD_CONNECT = 0x10;
inline constexpr long FD_CLOSE = 0x20;

struct NetworkEvents {
  long lNetworkEvents = 0;
  int iReadError = 0;
  int iConnectError = 0;  // errno value of a failed connect, 0 on success
  int iCloseError = 0;    // 0 for an orderly end, the errno value of a reset
};

class CMySocket {
 public:
  CMySocket();
  ~CMySocket();
  CMySocket(const CMySocket&) = delete;
  CMySocket& operator=(const CMySocket&) = delete;

  // Closes any previous socket and creates a new non-blocking one. `remoteAddress` (dotted
  // IPv4 text) and `remotePort` replace the remote address when the text is given; the local
  // address is stored but never bound. False when the socket cannot be created or the
  // remote address is not an IPv4 address.
  bool Open(const char* localAddress, std::uint16_t localPort, const char* remoteAddress,
            std::uint16_t remotePort);
  void Close();
  // Starts connecting to the remote address. 0 when connected at once, -1 otherwise (the
  // connect event reports the outcome either way).
  int Connect();
  // Shuts both directions down; the socket stays open until Close().
  void DisConnect();

  // One send; the count sent, or -1. A short send is not completed.
  int Send(const void* data, int length);
  // One receive of up to `length` bytes without blocking; the count, 0 at the peer's end, or
  // -1 when nothing is waiting or on error.
  int Receive(void* buffer, int length);
  // Takes the pending events (and resets the event object). False when the wrapper has no
  // socket.
  bool EnumNetworkEvents(NetworkEvents& events);

  // The event object; exists from the first Open until destruction.
  platform::Event* NetworkEvent() const { return event_.get(); }
  int Socket() const;
  bool IsOpen() const;
  bool IsConnected() const;
  const std::string& RemoteAddress() const { return remote_address_; }

 private:
  void WatchLoop();
  void Wake();
  // Stops the watcher from polling the current socket and waits until it has let go, so
  // that the descriptor can be closed without the watcher touching a reused number.
  void DetachWatcher(std::unique_lock<std::mutex>& lock);
  void SignalLocked(long bits);

  mutable std::mutex lock_;
  std::condition_variable changed_;
  // Guarded by lock_.
  int socket_ = -1;
  bool open_ = false;
  bool connected_ = false;
  bool connecting_ = false;
  bool read_armed_ = true;
  bool close_reported_ = false;
  bool stop_ = false;
  std::uint64_t generation_ = 0;          // raised whenever the polled socket changes
  std::uint64_t watcher_generation_ = 0;  // generation the watcher has seen
  NetworkEvents pending_;

  std::string remote_address_;  // Owner thread only
  std::uint16_t remote_port_ = 0;
  std::string local_address_;
  std::uint16_t local_port_ = 0;

  std::unique_ptr<platform::Event> event_;
  int wake_fd_ = -1;
  std::thread watcher_;
};

}  // namespace lumaro
