#include "playback_app/remote/CQueryThread.h"

#include "common/TraceMessage.h"
#include "platform/Tick.h"
#include "playback_app/LumaroIds.h"
#include "playback_app/remote/RemoteMessages.h"

namespace lumaro {

CQueryThread::CQueryThread(int indexVidWnd, CMySocket& socket, void* dialog, RowSink sink)
    : m_nIndexVidWnd(indexVidWnd), m_socket(socket), m_hDialog(dialog), m_sink(std::move(sink)) {}

CQueryThread::~CQueryThread() {
  TraceMessage("[LUMARO] - CQueryThread::~CQueryThread KillThread(): %d.", m_nIndexVidWnd);
  KillThread();
}

void CQueryThread::DispatchBlock(int window, const vantor::ReplyBlock& block, void* dialog,
                                 const RowSink& sink) {
  if (block[0] != vantor::kMagic) return;
  const auto wnd = static_cast<platform::WPARAM>(window);
  switch (block[1]) {
    case vantor::kReplySearchResults: {
      std::vector<vantor::SearchEntry> rows;
      if (vantor::ParseSearchResults(block, rows) != vantor::ParseResult::Ok) {
        TraceMessage("[LUMARO] - search reply of window %d refused: %d entries.", window, block[3]);
        return;
      }
      if (sink && !rows.empty()) sink(window, rows);
      break;
    }
    case vantor::kReplySearchFinished:
      platform::PostMessage(dialog, UM_SEARCH_END, wnd, 0);
      break;
    case vantor::kReplyTransferEnded:
      platform::PostMessage(dialog, UM_PLAY_STOPPED, wnd, 0);
      break;
    case vantor::kReplyTransferReady:
      platform::PostMessage(dialog, UM_TRANSMIT_READY, wnd,
                            PackTransferReady(block[2], vantor::ReadU32(&block[4])));
      break;
    case vantor::kReplyTransferRefused:
      platform::PostMessage(dialog, UM_PLAY_STOPPED2, wnd, 0);
      break;
    default:
      break;
  }
}

std::uint32_t CQueryThread::Run() {
  platform::Event* exit_event = StopEvent();
  for (;;) {
    const std::uint32_t woke = platform::WaitForAny({exit_event, m_socket.NetworkEvent()}, platform::INFINITE);
    if (woke == platform::WAIT_FAILED) {
      TraceMessage("[LUMARO] - RRRRRRRRRRRRRRRRRRRRRRRRRR - m_nIndexVidWnd: %d", m_nIndexVidWnd);
      if (IsStopRequested()) break;
      platform::Sleep(10);
      continue;
    }
    if (woke == platform::WAIT_OBJECT_0) {
      TraceMessage("[LUMARO] - CQueryThread::Run() m_hEventExit is set. - m_nIndexVidWnd: %d", m_nIndexVidWnd);
      break;
    }
    NetworkEvents events;
    if (!m_socket.EnumNetworkEvents(events)) {
      TraceMessage("[LUMARO] - EEEEEEEEEEEEEEEEEEEEEEEEEE - m_nIndexVidWnd: %d", m_nIndexVidWnd);
      continue;
    }
    const auto wnd = static_cast<platform::WPARAM>(m_nIndexVidWnd);
    if (events.lNetworkEvents & FD_CONNECT) {
      TraceMessage("[LUMARO] - CCCCCCCCCCCCCCCCCCCCCCCCCC - m_nIndexVidWnd: %d", m_nIndexVidWnd);
      platform::PostMessage(m_hDialog, UM_QUERY_CONNECTED, wnd, events.iConnectError);
    }
    if ((events.lNetworkEvents & FD_READ) && events.iReadError == 0) {
      const int received = m_socket.Receive(m_block.FillPosition(), static_cast<int>(m_block.Missing()));
      if (received > 0 && m_block.Commit(static_cast<std::size_t>(received))) {
        DispatchBlock(m_nIndexVidWnd, m_block.Block(), m_hDialog, m_sink);
        m_block.Reset();
      }
    }
    if (events.lNetworkEvents & FD_CLOSE) {
      TraceMessage("[LUMARO] - QueryThread::Run(). FD_CLOSE.");
      platform::PostMessage(m_hDialog, UM_QUERY_CLOSED, wnd, events.iCloseError);
      break;
    }
  }
  TraceMessage("[LUMARO] - CQuueryThread::Run() Exit. m_nIndexVidWnd: %d", m_nIndexVidWnd);
  return 0;
}

}  // namespace lumaro
