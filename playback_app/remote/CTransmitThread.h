#pragma once

// Reader of one window's transmit connection (device port 4100): writes the raw file bytes
// the device streams into the window's temporary file RemoteFileNN.avi in the folder
// LumaroTemp of the system drive (replacing an older one) and, when it ends, asks the device to stop the
// transfer with the same transfer id it was started with.

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Files.h"
#include "platform/Thread.h"
#include "playback_app/remote/CMySocket.h"

namespace lumaro {

class CTransmitThread : public platform::Thread {
 public:
  // `socket`, `dialog` and `dataEvent` (may be null; set after every write so a stream
  // player wakes up) outlive the thread. Created suspended.
  CTransmitThread(int indexVidWnd, CMySocket& socket, void* dialog, std::uint8_t transferId,
                  platform::Event* dataEvent);
  ~CTransmitThread() override;

  // "<system drive root>LumaroTemp\RemoteFileNN.avi" for window `window`.
  static std::string TempFilePath(int window);

  std::uint8_t TransferId() const { return m_byTransferId; }
  // Bytes written so far; any thread.
  std::uint64_t TotalBytes() const { return m_nTotal.load(); }

 protected:
  std::uint32_t Run() override;

 private:
  const int m_nIndexVidWnd;
  CMySocket& m_socket;
  void* const m_hDialog;
  const std::uint8_t m_byTransferId;
  platform::Event* const m_pDataEvent;
  std::atomic<std::uint64_t> m_nTotal{0};
};

}  // namespace lumaro
