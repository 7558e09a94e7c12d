#include "playback_app/remote/CVantorRemote.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "platform/Tick.h"
#include "playback_app/LumaroIds.h"
#include "playback_app/remote/RemoteMessages.h"

namespace lumaro {

CVantorRemote::CVantorRemote(void* dialog, IVantorHost& host) : m_hDialog(dialog), m_host(host) {}

CVantorRemote::~CVantorRemote() {
  // Readers first: each holds a reference to its connection.
  m_pDownCmdThread.reset();
  m_pDownDataThread.reset();
  for (WindowState& window : m_windows) {
    window.query_thread.reset();
    window.transmit_thread.reset();
    window.stream_thread.reset();
  }
}

void CVantorRemote::StartNetwork() {
  for (WindowState& window : m_windows) {
    window.query.Open(nullptr, 0, nullptr, 0);
    window.transmit.Open(nullptr, 0, nullptr, 0);
  }
  m_downCmd.Open(nullptr, 0, nullptr, 0);
  m_downData.Open(nullptr, 0, nullptr, 0);
}

int CVantorRemote::StartSearch(const std::string& address, std::uint32_t date, std::uint32_t fromTime,
                               std::uint32_t toTime, const std::vector<SearchChannel>& channels, int recordType) {
  StopSearch();
  ClearRows();
  m_strAddress = address;
  m_nOutstanding = 0;
  m_bDeviceAnswered = false;
  m_searchFailure = SearchFailure::None;
  const auto now = std::chrono::steady_clock::now();
  for (const SearchChannel& wanted : channels) {
    if (wanted.window < 0 || wanted.window >= kWindows) {
      TraceMessage("[LUMARO] - channel %d has no playback window; not searched.", wanted.channel);
      continue;
    }
    WindowState& window = m_windows[Index(wanted.window)];
    if (window.searching) {
      TraceMessage("[LUMARO] - window %d already searches; channel %d not searched.", wanted.window, wanted.channel);
      continue;
    }
    if (!window.query.Open(nullptr, 0, address.c_str(), vantor::kQueryPort)) continue;
    window.query_fields = vantor::SearchQuery{date, fromTime, toTime, static_cast<std::uint16_t>(wanted.channel),
                                              static_cast<std::uint16_t>(recordType)};
    window.query_thread = std::make_unique<CQueryThread>(
        wanted.window, window.query, m_hDialog,
        [this](int from, const std::vector<vantor::SearchEntry>& rows) {
          {
            std::lock_guard<platform::CriticalSection> guard(m_csResult);
            // The list shows each reply after the rows already there, its own rows newest
            // first.
            m_rows.insert(m_rows.end(), rows.rbegin(), rows.rend());
          }
          platform::PostMessage(m_hDialog, UM_SEARCH_ROWS, static_cast<platform::WPARAM>(from), 0);
        });
    window.query_thread->Resume();
    window.searching = true;
    window.answered = false;
    window.heard = now;
    ++m_nOutstanding;
    window.query.Connect();
  }
  if (m_downCmd.Open(nullptr, 0, address.c_str(), vantor::kQueryPort)) m_downCmd.Connect();
  if (m_nOutstanding == 0) m_host.OnRemoteSearchEnded(SearchFailure::None);
  else platform::SetTimer(m_hDialog, kTimerSearchWatch, kSearchWatchPeriodMs);
  return m_nOutstanding;
}

void CVantorRemote::StopSearch() {
  for (WindowState& window : m_windows) {
    if (window.query_thread) {
      window.query_thread.reset();
      window.query.Close();
    }
    window.searching = false;
  }
  m_nOutstanding = 0;
  platform::KillTimer(m_hDialog, kTimerSearchWatch);
  m_pDownCmdThread.reset();
  m_downCmd.DisConnect();
}

bool CVantorRemote::PlayFile(int window, const std::string& name) {
  if (window < 0 || window >= kWindows) return false;
  WindowState& state = m_windows[Index(window)];
  vantor::Request request;
  if (!state.query.IsConnected() || !vantor::MakeFileRequest(vantor::kCmdPlayFile, name, request)) {
    TraceMessage("[LUMARO] - play of %s on window %d not sent.", name.c_str(), window);
    return false;
  }
  state.pending_file = name;
  return state.query.Send(request.data(), static_cast<int>(request.size())) == static_cast<int>(request.size());
}

void CVantorRemote::StopWindow(int window) {
  if (window < 0 || window >= kWindows) return;
  WindowState& state = m_windows[Index(window)];
  state.transmit_thread.reset();  // its end sends the stop request
  state.transmit.Close();
  state.stream_thread.reset();    // closes the engine's stream first
  state.remote_file.clear();
}

std::vector<vantor::SearchEntry> CVantorRemote::RemoteRows() const {
  std::lock_guard<platform::CriticalSection> guard(m_csResult);
  return m_rows;
}

std::vector<vantor::SearchEntry> CVantorRemote::TakeNewRows() {
  std::lock_guard<platform::CriticalSection> guard(m_csResult);
  const std::size_t first = std::min(m_nRowsTaken, m_rows.size());
  m_nRowsTaken = m_rows.size();
  return std::vector<vantor::SearchEntry>(m_rows.begin() + static_cast<std::ptrdiff_t>(first), m_rows.end());
}

void CVantorRemote::ClearRows() {
  std::lock_guard<platform::CriticalSection> guard(m_csResult);
  m_rows.clear();
  m_nRowsTaken = 0;
}

void CVantorRemote::SearchConnectionEnded(int window) {
  WindowState& state = m_windows[Index(window)];
  if (!state.searching) return;
  state.searching = false;
  if (m_nOutstanding > 0 && --m_nOutstanding == 0) {
    platform::KillTimer(m_hDialog, kTimerSearchWatch);
    m_host.OnRemoteSearchEnded(m_searchFailure);
  }
}

void CVantorRemote::SearchConnectionFailed(int window, SearchFailure failure) {
  if (!m_windows[Index(window)].searching) return;
  if (m_searchFailure == SearchFailure::None) m_searchFailure = failure;
  SearchConnectionEnded(window);
}

void CVantorRemote::OnSearchWatch() {
  const auto now = std::chrono::steady_clock::now();
  for (int i = 0; i < kWindows; ++i) {
    WindowState& state = m_windows[Index(i)];
    if (!state.searching || now - state.heard < m_answerWait) continue;
    if (!state.query.IsConnected()) {
      // Still connecting: the device does not answer at that address. The connection is of
      // no further use, so it is closed with its reader.
      TraceMessage("[LUMARO] - query connection of window %d: no connection after %lld ms.", i,
                   static_cast<long long>(m_answerWait.count()));
      state.query_thread.reset();
      state.query.Close();
      SearchConnectionFailed(i, SearchFailure::NoAnswer);
    } else if (!state.answered) {
      TraceMessage("[LUMARO] - search of window %d: no reply after %lld ms.", i,
                   static_cast<long long>(m_answerWait.count()));
      SearchConnectionFailed(i, SearchFailure::NoAnswer);
    } else {
      // Rows came but the end of the search did not: the rows are listed already, so the
      // search ends quietly. The connection stays up for playing them.
      TraceMessage("[LUMARO] - search of window %d: no end of search; ended after %lld ms of silence.", i,
                   static_cast<long long>(m_answerWait.count()));
      SearchConnectionEnded(i);
    }
  }
}

bool CVantorRemote::QueueDownloads(const std::vector<std::string>& names) {
  if (!m_host.AskYesNo("IDS_DOWN_FILE")) return false;
  for (const std::string& name : names) {
    if (name == m_strDownName) continue;
    if (std::find(m_downQueue.begin(), m_downQueue.end(), name) != m_downQueue.end()) continue;
    m_downQueue.push_back(name);
  }
  if (m_bDownIdle) {
    m_bDownIdle = false;
    platform::PostMessage(m_hDialog, UM_DOWN_NEXT, 0, 0);
  }
  return true;
}

void CVantorRemote::OnDownNext() {
  if (!m_strDownName.empty()) {
    platform::Sleep(10);
    m_strDownName.clear();
    HideProgress();
  }
  // A data reader that ended on its own is done; drop it before the next one.
  m_pDownDataThread.reset();
  while (!m_downQueue.empty()) {
    const std::string name = m_downQueue.front();
    m_downQueue.pop_front();
    const bool playing = std::any_of(m_windows.begin(), m_windows.end(),
                                     [&](const WindowState& w) { return w.remote_file == name; });
    if (playing) {
      m_host.Notify("IDS_CANT_DOWNFILE");
      continue;
    }
    const std::string leaf = vantor::LocalLeafName(name);
    vantor::Request request;
    if (leaf.empty() || !vantor::MakeFileRequest(vantor::kCmdDownloadFile, name, request)) {
      TraceMessage("[LUMARO] - download of \"%s\" refused: no usable file name.", name.c_str());
      continue;
    }
    if (m_strAddress.empty()) {
      TraceMessage("[LUMARO] - download of \"%s\" skipped: no device searched.", name.c_str());
      continue;
    }
    if (platform::Exists(m_strDownFolder + leaf) && !m_host.AskYesNo("IDS_DOWNFILE_EXIST")) continue;

    m_strDownName = name;
    vantor::Request pending{};
    if (m_downCmd.IsConnected()) {
      m_downCmd.Send(request.data(), static_cast<int>(request.size()));
    } else {
      // The device closed the control connection since the search: connect again and let
      // the reader send the request once connected.
      pending = request;
      m_pDownCmdThread.reset();
      if (m_downCmd.Open(nullptr, 0, m_strAddress.c_str(), vantor::kQueryPort)) m_downCmd.Connect();
    }
    m_pDownCmdThread = std::make_unique<CDownCmdThread>(m_downCmd, m_hDialog, pending);
    m_pDownCmdThread->Resume();
    return;
  }
  m_bDownIdle = true;
}

void CVantorRemote::OnDownReady(std::uint8_t transferId) {
  if (m_strDownName.empty()) return;
  m_byDownTransferId = transferId;
  m_pDownDataThread.reset();
  if (!m_downData.Open(nullptr, 0, m_strAddress.c_str(), vantor::kTransmitPort)) return;
  m_pDownDataThread = std::make_unique<CDownDataThread>(m_downData, m_hDialog, transferId, m_strDownFolder,
                                                        vantor::LocalLeafName(m_strDownName));
  m_pDownDataThread->Resume();
  m_downData.Connect();
}

void CVantorRemote::OnDownProgress(bool start) {
  if (start) {
    m_progress.name_label = vantor::LocalLeafName(m_strDownName);
    m_progress.percent_label = "0%";
    m_progress.bar_position = 0;
    m_progress.visible = true;
    m_progress.percent = 0;
    m_progress.steps = 0;
  } else {
    m_progress.bar_position += 10;
    m_progress.percent += 5;
    ++m_progress.steps;
    if (m_progress.percent < 100) {
      char text[16];
      std::snprintf(text, sizeof text, "%d%s", m_progress.percent, "%");
      m_progress.percent_label = text;
    } else {
      m_progress.visible = false;
    }
  }
  m_host.OnDownloadProgressChanged();
}

void CVantorRemote::HideProgress() {
  if (!m_progress.visible) return;
  m_progress.visible = false;
  m_host.OnDownloadProgressChanged();
}

bool CVantorRemote::HandleMessage(const platform::Message& message, platform::LRESULT& result) {
  result = 0;
  const platform::WPARAM wnd = message.wParam;
  switch (message.message) {
    case UM_QUERY_CONNECTED:
      if (!ValidWindow(wnd)) return true;
      if (message.lParam != 0) {
        TraceMessage("[LUMARO] - query connection of window %d failed: %d", static_cast<int>(wnd),
                     static_cast<int>(message.lParam));
        SearchConnectionFailed(static_cast<int>(wnd),
                               message.lParam == ECONNREFUSED ? SearchFailure::Refused : SearchFailure::NoAnswer);
      } else {
        WindowState& state = m_windows[wnd];
        state.heard = std::chrono::steady_clock::now();
        const vantor::Request request = vantor::MakeSearchRequest(state.query_fields);
        state.query.Send(request.data(), static_cast<int>(request.size()));
      }
      return true;
    case UM_SEARCH_ROWS:
      if (ValidWindow(wnd)) {
        m_windows[wnd].answered = true;
        m_windows[wnd].heard = std::chrono::steady_clock::now();
      }
      m_bDeviceAnswered = true;
      m_host.OnRemoteRowsAdded();
      return true;
    case UM_SEARCH_END:
      if (ValidWindow(wnd)) {
        m_windows[wnd].answered = true;
        m_bDeviceAnswered = true;
        SearchConnectionEnded(static_cast<int>(wnd));
      }
      return true;
    case platform::WM_TIMER:
      if (message.wParam != kTimerSearchWatch) return false;
      OnSearchWatch();
      return true;
    case UM_QUERY_CLOSED:
      if (!ValidWindow(wnd)) return true;
      TraceMessage("[LUMARO] - OnCloseQuery().\t[HEAD]");
      TraceMessage("[LUMARO] - OnCloseQuery(). close and delete thread.");
      m_windows[wnd].query.Close();
      if (m_windows[wnd].query_thread) {
        TraceMessage("[LUMARO] - delete m_pQueryThread[%d].", static_cast<int>(wnd));
        m_windows[wnd].query_thread.reset();
      }
      // A device that hangs up before any reply did not answer the search.
      if (!m_windows[wnd].answered) SearchConnectionFailed(static_cast<int>(wnd), SearchFailure::NoAnswer);
      SearchConnectionEnded(static_cast<int>(wnd));
      TraceMessage("[LUMARO] - OnCloseQuery().\t[END]");
      return true;
    case UM_TRANSMIT_READY: {
      if (!ValidWindow(wnd)) return true;
      WindowState& state = m_windows[wnd];
      state.transfer_id = TransferIdOf(message.lParam);
      state.transfer_value = TransferValueOf(message.lParam);
      state.remote_file = state.pending_file;
      state.transmit_thread.reset();
      if (!state.transmit.Open(nullptr, 0, m_strAddress.c_str(), vantor::kTransmitPort)) return true;
      state.transmit_thread = std::make_unique<CTransmitThread>(static_cast<int>(wnd), state.transmit, m_hDialog,
                                                                state.transfer_id, state.data_event.get());
      state.transmit_thread->Resume();
      state.transmit.Connect();
      return true;
    }
    case UM_TRANSMIT_CONNECTED: {
      if (!ValidWindow(wnd)) return true;
      WindowState& state = m_windows[wnd];
      if (message.lParam != 0 || !state.transmit_thread) return true;
      const vantor::Request start = vantor::MakeTransferRequest(vantor::kCmdStartTransfer, state.transfer_id);
      state.transmit.Send(start.data(), static_cast<int>(start.size()));
      const int window = static_cast<int>(wnd);
      state.stream_thread.reset();
      state.stream_thread = std::make_unique<CStreamPlayThread>(window, m_host.VideoWindowHandle(window), m_hDialog,
                                                                CTransmitThread::TempFilePath(window),
                                                                *state.data_event, m_host.SoundMuted(),
                                                                m_host.DisplayCallback());
      state.stream_thread->Resume();
      m_host.OnRemoteStreamStarted(window);
      return true;
    }
    case UM_PLAY_STOPPED:
    case UM_PLAY_STOPPED2:
      if (ValidWindow(wnd)) m_host.OnRemotePlayStopped(static_cast<int>(wnd));
      return true;
    case UM_TRANSMIT_CLOSED:
      if (!ValidWindow(wnd)) return true;
      TraceMessage("[LUMARO] - OnCloseTransmit(). close and delete thread.");
      m_windows[wnd].transmit_thread.reset();
      m_windows[wnd].transmit.Close();
      m_windows[wnd].remote_file.clear();
      return true;
    case UM_DOWN_NEXT:
      OnDownNext();
      return true;
    case UM_DOWN_READY:
      OnDownReady(static_cast<std::uint8_t>(message.wParam));
      return true;
    case UM_DOWN_CONNECTED:
      if (message.lParam == 0 && m_pDownDataThread) {
        const vantor::Request start = vantor::MakeTransferRequest(vantor::kCmdStartTransfer, m_byDownTransferId);
        m_downData.Send(start.data(), static_cast<int>(start.size()));
      }
      return true;
    case UM_DOWN_DATA_END:
      // The reader still sends its stop request after this message: let it finish first.
      m_pDownDataThread.reset();
      m_downData.Close();
      if (message.wParam == kDownDataCreateFailed) m_host.Notify("IDS_DOWNFILE_FAIL");
      return true;
    case UM_DOWN_CMD_CLOSED:
      m_pDownCmdThread.reset();
      m_downCmd.Close();
      // A download still waiting for its ready reply would never get it now: go on with
      // the queue instead of blocking every later download.
      if (!m_strDownName.empty() && !m_pDownDataThread) platform::PostMessage(m_hDialog, UM_DOWN_NEXT, 0, 0);
      return true;
    case UM_DOWN_PROGRESS:
      OnDownProgress(message.wParam == 1);
      return true;
    default:
      return false;
  }
}

}  // namespace lumaro
