#include "playback_app/remote/CDownCmdThread.h"

#include "common/TraceMessage.h"
#include "playback_app/LumaroIds.h"

namespace lumaro {

CDownCmdThread::CDownCmdThread(CMySocket& socket, void* dialog, const vantor::Request& pending)
    : m_socket(socket), m_hDialog(dialog), m_pending(pending) {}

CDownCmdThread::~CDownCmdThread() { KillThread(); }

std::uint32_t CDownCmdThread::Run() {
  vantor::ReplyBlock block{};
  for (;;) {
    const std::uint32_t woke = platform::WaitForAny({StopEvent(), m_socket.NetworkEvent()}, platform::INFINITE);
    if (woke != platform::WAIT_OBJECT_0 + 1) break;
    NetworkEvents events;
    if (!m_socket.EnumNetworkEvents(events)) continue;
    if ((events.lNetworkEvents & FD_CONNECT) && events.iConnectError == 0 && m_pending[0] == vantor::kMagic) {
      m_socket.Send(m_pending.data(), static_cast<int>(m_pending.size()));
    }
    if ((events.lNetworkEvents & FD_READ) && events.iReadError == 0) {
      block.fill(0);
      const int received = m_socket.Receive(block.data(), static_cast<int>(block.size()));
      // Byte 2 is the transfer id, so a reply must reach it to count.
      if (received >= 3 && block[0] == vantor::kMagic && block[1] == vantor::kReplyDownloadReady) {
        platform::PostMessage(m_hDialog, UM_DOWN_READY, block[2], 0);
      } else if (received >= 2 && block[0] == vantor::kMagic && block[1] == vantor::kReplyTransferRefused) {
        TraceMessage("[LUMARO] - CDownCmdThread::Run(). the device refused the download.");
        platform::PostMessage(m_hDialog, UM_DOWN_NEXT, 0, 0);
      }
    }
    if (events.lNetworkEvents & FD_CLOSE) {
      platform::PostMessage(m_hDialog, UM_DOWN_CMD_CLOSED, 0, events.iCloseError);
      break;
    }
  }
  return 0;
}

}  // namespace lumaro
