#include "playback_app/remote/CDownDataThread.h"

#include <vector>

#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "playback_app/LumaroIds.h"
#include "playback_app/remote/RemoteMessages.h"
#include "playback_app/remote/VantorProtocol.h"

namespace lumaro {

namespace {
constexpr int kChunkBytes = 4096;
constexpr std::uint64_t kProgressSteps = 20;
// RIFF size field at offset 4, plus the 8 bytes of the RIFF header itself.
constexpr std::size_t kRiffHeaderBytes = 8;
}  // namespace

CDownDataThread::CDownDataThread(CMySocket& socket, void* dialog, std::uint8_t transferId, std::string folder,
                                 std::string leafName)
    : m_socket(socket), m_hDialog(dialog), m_byTransferId(transferId), m_strFolder(std::move(folder)),
      m_strTarget(m_strFolder + leafName) {}

CDownDataThread::~CDownDataThread() { KillThread(); }

std::uint32_t CDownDataThread::Run() {
  platform::File file;
  platform::FileError error = platform::FileError::None;
  const bool folder_ok = platform::IsFolder(m_strFolder) || platform::CreateFolderTree(m_strFolder, &error);
  if (!folder_ok || !file.Open(m_strTarget, platform::File::Mode::CreateAlways, &error)) {
    TraceMessage("[LUMARO] - CDownDataThread::Run(). cannot create %s: %s", m_strTarget.c_str(),
                 platform::FileErrorText(error));
    // The dialog tells the operator, drops this name and goes on with the queue.
    platform::PostMessage(m_hDialog, UM_DOWN_DATA_END, kDownDataCreateFailed, 0);
    platform::PostMessage(m_hDialog, UM_DOWN_NEXT, 0, 0);
    return 0;
  }

  std::vector<std::uint8_t> chunk(kChunkBytes);
  // The first bytes of the stream, kept until the RIFF size field is complete: a device may
  // send fewer than 8 bytes in its first segment.
  std::vector<std::uint8_t> head;
  std::uint64_t expected = 0;
  std::uint64_t step = 0;
  std::uint64_t total = 0;
  std::uint64_t since_step = 0;
  bool stopped_by_exit = false;
  platform::LPARAM end_error = 0;
  for (;;) {
    const std::uint32_t woke = platform::WaitForAny({StopEvent(), m_socket.NetworkEvent()}, platform::INFINITE);
    if (woke != platform::WAIT_OBJECT_0 + 1) {
      stopped_by_exit = true;
      break;
    }
    NetworkEvents events;
    if (!m_socket.EnumNetworkEvents(events)) continue;
    if (events.lNetworkEvents & FD_CONNECT) {
      platform::PostMessage(m_hDialog, UM_DOWN_CONNECTED, 0, events.iConnectError);
    }
    if ((events.lNetworkEvents & FD_READ) && events.iReadError == 0) {
      const int received = m_socket.Receive(chunk.data(), kChunkBytes);
      if (received > 0) {
        if (!file.Write(chunk.data(), static_cast<std::size_t>(received))) {
          TraceMessage("[LUMARO] - CDownDataThread::Run(). write to %s failed.", m_strTarget.c_str());
        }
        total += static_cast<std::uint64_t>(received);
        if (expected == 0) {
          head.insert(head.end(), chunk.begin(), chunk.begin() + std::min<int>(received, kRiffHeaderBytes));
          if (head.size() >= kRiffHeaderBytes) {
            expected = vantor::ReadU32(&head[4]) + static_cast<std::uint64_t>(kRiffHeaderBytes);
            step = expected / kProgressSteps;
            // The bytes before the size was known count toward the first step, so a
            // complete file gives exactly twenty steps.
            since_step = total;
            platform::PostMessage(m_hDialog, UM_DOWN_PROGRESS, 1, 0);
          }
        } else {
          since_step += static_cast<std::uint64_t>(received);
        }
        // A step of zero bytes (a file under twenty bytes, or a hostile size) gives no steps.
        while (step > 0 && since_step >= step) {
          since_step -= step;
          platform::PostMessage(m_hDialog, UM_DOWN_PROGRESS, 0, 0);
        }
        if (expected != 0 && total >= expected) break;
      }
    }
    if (events.lNetworkEvents & FD_CLOSE) {
      end_error = events.iCloseError;
      break;
    }
  }
  if (!stopped_by_exit) platform::PostMessage(m_hDialog, UM_DOWN_DATA_END, 0, end_error);
  const vantor::Request stop = vantor::MakeTransferRequest(vantor::kCmdStopTransfer, m_byTransferId);
  m_socket.Send(stop.data(), static_cast<int>(stop.size()));
  file.Close();
  platform::PostMessage(m_hDialog, UM_DOWN_NEXT, 0, 0);
  return 0;
}

}  // namespace lumaro
