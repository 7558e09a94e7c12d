#pragma once

// One recorder connection (an SDK handle): the TCP link, the receiving thread that routes
// replies to waiting requests and data to the channels and the player, the login state and the
// connection-lost report.
//
// Lock order: a channel's or the player's locks, then lock_, then send_lock_.

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device_sdk/Orvane/FilePlayer.h"
#include "device_sdk/Orvane/LiveChannel.h"
#include "device_sdk/Orvane/Orvane.h"
#include "device_sdk/Orvane/OrvaneProtocol.h"

namespace orvane {

class DvrConnection {
 public:
  DvrConnection(uint32_t ip_network_order, uint16_t port);
  ~DvrConnection();

  int Login(const ORVANE_LOGIN& login);
  int Logout();
  int RegisterConnectionLost(ORVANE_CONNLOST_CB callback, void* context);
  int GetSystemParams(ORVANE_SYSTEM_PARAMS& params);

  // Sends a request and waits for its reply (5 s). Returns the recorder's result, or
  // ORVANE_ERR_NOT_CONNECTED / ORVANE_ERR_TIMEOUT / ORVANE_ERR_PROTOCOL. On success the reply
  // payload after the result goes to *body when given.
  int Request(uint16_t type, uint16_t channel, const std::vector<uint8_t>& payload,
              std::vector<uint8_t>* body);

  // The live channel, or null when not logged in or out of range. With `after_loss`, also a
  // channel of a link that has dropped or been logged out, for stopping and closing what the
  // caller had started. The pointer stays valid until the connection is destroyed.
  LiveChannel* channel(int index, bool after_loss = false);
  FilePlayer* player();
  bool logged_in();

 private:
  enum class Link { None, LoggedIn, Lost };
  struct Pending {
    bool done = false;
    int32_t result = 0;
    std::vector<uint8_t> body;
  };

  int Connect();
  void ReceiveLoop(int fd);
  // Closes the link and joins the receiving thread; tears down channels and player.
  void CloseLink();

  const uint32_t ip_;
  const uint16_t port_;

  std::mutex lock_;
  std::condition_variable replies_;
  // Guarded by lock_.
  int fd_ = -1;
  Link link_ = Link::None;
  bool closing_ = false;      // a logout or destroy is closing the link on purpose
  bool logging_out_ = false;  // the recorder will close the link after the logout reply
  uint32_t next_sequence_ = 1;
  std::map<uint32_t, Pending> pending_;
  ORVANE_CONNLOST_CB lost_callback_ = nullptr;
  void* lost_context_ = nullptr;
  wire::LoginInfo info_;

  std::mutex send_lock_;  // one message at a time on the socket

  std::mutex api_lock_;  // serialises login, logout and destruction
  // Guarded by api_lock_; read by the receiving thread while it runs (set before it starts).
  std::vector<std::unique_ptr<LiveChannel>> channels_;
  std::unique_ptr<FilePlayer> player_;
  std::thread receiver_;
};

}  // namespace orvane
