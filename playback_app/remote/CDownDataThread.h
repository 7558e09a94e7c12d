#pragma once

// Reader of the download data connection (device port 4100): writes the streamed recording
// into the download folder, reports progress in twentieths of the size announced by the
// file's own RIFF header, and when the file is complete or the device closes, stops the
// transfer and asks the dialog for the next queued name.

#include <cstdint>
#include <string>

#include "platform/Thread.h"
#include "playback_app/remote/CMySocket.h"

namespace lumaro {

class CDownDataThread : public platform::Thread {
 public:
  // `folder` is the Windows-form download folder with its final backslash, `leafName` the
  // already checked local file name. `socket` and `dialog` outlive the thread. Created
  // suspended.
  CDownDataThread(CMySocket& socket, void* dialog, std::uint8_t transferId, std::string folder,
                  std::string leafName);
  ~CDownDataThread() override;

  const std::string& TargetPath() const { return m_strTarget; }

 protected:
  std::uint32_t Run() override;

 private:
  CMySocket& m_socket;
  void* const m_hDialog;
  const std::uint8_t m_byTransferId;
  const std::string m_strFolder;
  const std::string m_strTarget;
};

}  // namespace lumaro
