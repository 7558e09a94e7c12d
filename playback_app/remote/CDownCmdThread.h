#pragma once

// Reader of the download control connection (device port 4200): every chunk that starts
// with the download-ready reply gives the transfer id of the queued download to the main
// dialog; the device's close ends the thread.

#include <cstdint>

#include "platform/Thread.h"
#include "playback_app/remote/CMySocket.h"
#include "playback_app/remote/VantorProtocol.h"

namespace lumaro {

class CDownCmdThread : public platform::Thread {
 public:
  // `socket` and `dialog` outlive the thread. `pending` (may be empty: first byte 0) is a
  // request sent as soon as the connection completes a connect, for a control connection
  // that was not connected when the download was asked for. Created suspended.
  CDownCmdThread(CMySocket& socket, void* dialog, const vantor::Request& pending);
  ~CDownCmdThread() override;

 protected:
  std::uint32_t Run() override;

 private:
  CMySocket& m_socket;
  void* const m_hDialog;
  const vantor::Request m_pending;
};

}  // namespace lumaro
