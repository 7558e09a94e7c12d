#pragma once

// Reader of one window's query connection (device port 4200): reports the connect, collects
// the 1,032-byte replies however the device splits them, hands search rows to the row sink
// and every other reply to the main dialog as a posted message, and ends when the device
// closes the connection or the exit event is set.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Thread.h"
#include "playback_app/remote/CMySocket.h"
#include "playback_app/remote/VantorProtocol.h"

namespace lumaro {

class CQueryThread : public platform::Thread {
 public:
  // Called on this thread with the rows of one search reply; the sink takes the result
  // list's lock itself.
  using RowSink = std::function<void(int window, const std::vector<vantor::SearchEntry>& rows)>;

  // `socket` and the window `dialog` outlive the thread. Created suspended.
  CQueryThread(int indexVidWnd, CMySocket& socket, void* dialog, RowSink sink);
  ~CQueryThread() override;

  // Handles one complete reply block of window `window`: rows to `sink`, the other codes as
  // messages posted to `dialog`. Blocks of another first byte or code are ignored.
  static void DispatchBlock(int window, const vantor::ReplyBlock& block, void* dialog, const RowSink& sink);

 protected:
  std::uint32_t Run() override;

 private:
  const int m_nIndexVidWnd;
  CMySocket& m_socket;
  void* const m_hDialog;
  const RowSink m_sink;
  vantor::ReplyAssembler m_block;  // This thread only
};

}  // namespace lumaro
