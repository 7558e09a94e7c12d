#include "playback_app/remote/CTransmitThread.h"

#include <cstdio>
#include <vector>

#include "common/TraceMessage.h"
#include "platform/Paths.h"
#include "playback_app/LumaroIds.h"
#include "playback_app/remote/VantorProtocol.h"

namespace lumaro {

namespace {
constexpr int kChunkBytes = 4096;
}

CTransmitThread::CTransmitThread(int indexVidWnd, CMySocket& socket, void* dialog, std::uint8_t transferId,
                                 platform::Event* dataEvent)
    : m_nIndexVidWnd(indexVidWnd), m_socket(socket), m_hDialog(dialog), m_byTransferId(transferId),
      m_pDataEvent(dataEvent) {}

CTransmitThread::~CTransmitThread() { KillThread(); }

std::string CTransmitThread::TempFilePath(int window) {
  char name[32];
  std::snprintf(name, sizeof name, "RemoteFile%02d.avi", window);
  return platform::SystemDriveRoot().substr(0, 3) + "LumaroTemp\\" + name;
}

std::uint32_t CTransmitThread::Run() {
  const std::string path = TempFilePath(m_nIndexVidWnd);
  platform::CreateFolderTree(path.substr(0, path.find_last_of('\\') + 1));
  platform::File file;
  if (!file.Open(path, platform::File::Mode::CreateAlways)) {
    TraceMessage("[LUMARO] - CTransmitThread::Run(). cannot create %s", path.c_str());
    return 0;
  }
  const auto wnd = static_cast<platform::WPARAM>(m_nIndexVidWnd);
  std::vector<std::uint8_t> chunk(kChunkBytes);
  for (;;) {
    const std::uint32_t woke = platform::WaitForAny({StopEvent(), m_socket.NetworkEvent()}, platform::INFINITE);
    if (woke != platform::WAIT_OBJECT_0 + 1) break;
    NetworkEvents events;
    if (!m_socket.EnumNetworkEvents(events)) continue;
    if (events.lNetworkEvents & FD_CONNECT) {
      platform::PostMessage(m_hDialog, UM_TRANSMIT_CONNECTED, wnd, events.iConnectError);
    }
    if ((events.lNetworkEvents & FD_READ) && events.iReadError == 0) {
      const int received = m_socket.Receive(chunk.data(), kChunkBytes);
      if (received > 0) {
        if (!file.Write(chunk.data(), static_cast<std::size_t>(received))) {
          TraceMessage("[LUMARO] - CTransmitThread::Run(). write to %s failed.", path.c_str());
        }
        m_nTotal += static_cast<std::uint64_t>(received);
        if (m_pDataEvent != nullptr) m_pDataEvent->Set();
      }
    }
    if (events.lNetworkEvents & FD_CLOSE) {
      platform::PostMessage(m_hDialog, UM_TRANSMIT_CLOSED, wnd, events.iCloseError);
      break;
    }
  }
  const vantor::Request stop = vantor::MakeTransferRequest(vantor::kCmdStopTransfer, m_byTransferId);
  m_socket.Send(stop.data(), static_cast<int>(stop.size()));
  file.Close();
  return 0;
}

}  // namespace lumaro
