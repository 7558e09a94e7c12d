#pragma once

// The main dialog's side of the Vantor device protocol: the 16 query and 16 transmit
// connections, the download control and data connections, their reader threads, the
// per-window transfer state, the download queue and its progress display. The dialog
// forwards its private messages UM_QUERY_CONNECTED .. UM_DOWN_PROGRESS to HandleMessage and
// shows what the host interface is told.
//
// Threads: everything but the row sink runs on the user-interface thread. Search rows are
// added by the query readers under m_csResult.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "platform/Window.h"
#include "playback_app/remote/CDownCmdThread.h"
#include "playback_app/remote/CDownDataThread.h"
#include "playback_app/remote/CMySocket.h"
#include "playback_app/remote/CQueryThread.h"
#include "playback_app/remote/CStreamPlayThread.h"
#include "playback_app/remote/CTransmitThread.h"
#include "playback_app/remote/VantorProtocol.h"

namespace lumaro {

// Why a search found nothing on some of its connections: the device refused the connection,
// or it neither completed the connection nor answered within the answer wait.
enum class SearchFailure { None, Refused, NoAnswer };

// What the protocol needs of the dialog. All calls come on the user-interface thread.
class IVantorHost {
 public:
  virtual ~IVantorHost() = default;
  // A search reply added rows: TakeNewRows() has them.
  virtual void OnRemoteRowsAdded() = 0;
  // The last outstanding search connection ended: the Search button returns, Stop hides.
  // `failure` is the first failure among the search's connections, None when all answered.
  virtual void OnRemoteSearchEnded(SearchFailure failure) = 0;
  // Window `window` stopped its remote playback (remote flag cleared, idle, buttons).
  virtual void OnRemotePlayStopped(int window) = 0;
  // The transmit connection of `window` is streaming into its temporary file and a stream
  // player feeds it to the engine port of the same number.
  virtual void OnRemoteStreamStarted(int window) = 0;
  // The handle pictures of playback window `window` go to, and whether sound is muted.
  virtual void* VideoWindowHandle(int window) = 0;
  // The engine's display callback for stream windows (snapshots are taken there); null for
  // none.
  virtual StreamDisplay DisplayCallback() = 0;
  virtual bool SoundMuted() = 0;
  // A Yes/No question with the language text of `key`; true for Yes.
  virtual bool AskYesNo(const char* key) = 0;
  // A notice with the language text of `key`.
  virtual void Notify(const char* key) = 0;
  // The download progress display changed (see DownloadProgress()).
  virtual void OnDownloadProgressChanged() = 0;
};

struct DownloadProgress {
  bool visible = false;
  int percent = 0;
  int bar_position = 0;       // range 1..200, step 10
  std::string name_label;     // local file name
  std::string percent_label;  // "0%", "5%", ...
  int steps = 0;              // step messages seen for the current download
};

class CVantorRemote {
 public:
  // `dialog` receives the readers' messages; `host` outlives this object.
  CVantorRemote(void* dialog, IVantorHost& host);
  ~CVantorRemote();

  // Opens every connection once without a remote address, so each has its event object.
  void StartNetwork();

  // One channel to search and the playback window whose query connection asks for it; the
  // same connection later asks for that channel's recordings to be played.
  struct SearchChannel {
    int channel;
    int window;
  };
  // Starts a search on `address` (dotted IPv4) with one query connection per channel, on
  // the channel's own window (channels without a valid window, or a window named twice, are
  // skipped). The download control connection is connected as well. Returns the number of
  // connections started (the outstanding count).
  int StartSearch(const std::string& address, std::uint32_t date, std::uint32_t fromTime,
                  std::uint32_t toTime, const std::vector<SearchChannel>& channels, int recordType);
  // Stops every query reader and connection, and the download control reader.
  void StopSearch();
  int Outstanding() const { return m_nOutstanding; }
  // True once the device has answered the current search (rows or its end of search).
  bool DeviceAnswered() const { return m_bDeviceAnswered; }
  // How long a search connection may stay silent (not connected, or no reply since the last
  // one) before its search ends; a connection that never answered counts as NoAnswer.
  void SetAnswerWait(std::chrono::milliseconds wait) { m_answerWait = wait; }

  // Asks the device for `name` on window `window` (its query connection must be up).
  bool PlayFile(int window, const std::string& name);
  // Ends the window's transfer (the reader's end sends the stop request), closes it and
  // closes the window's stream player.
  void StopWindow(int window);
  const std::string& WindowRemoteFile(int window) const { return m_windows[Index(window)].remote_file; }
  // The window's stream player, or null.
  const CStreamPlayThread* StreamPlayer(int window) const { return m_windows[Index(window)].stream_thread.get(); }

  // Queues names (duplicates and names already queued are skipped) after the IDS_DOWN_FILE
  // question. False when the operator did not answer Yes.
  bool QueueDownloads(const std::vector<std::string>& names);
  bool DownloadIdle() const { return m_bDownIdle; }
  const std::string& CurrentDownload() const { return m_strDownName; }
  const std::deque<std::string>& DownloadQueue() const { return m_downQueue; }
  const DownloadProgress& Progress() const { return m_progress; }
  // Windows-form folder downloads go to, with its final backslash.
  void SetDownloadFolder(std::string folder) { m_strDownFolder = std::move(folder); }
  const std::string& DownloadFolder() const { return m_strDownFolder; }

  // Rows of the current search in list order (copy, any thread): each reply's rows after
  // those of earlier replies, the rows of one reply in reverse order.
  std::vector<vantor::SearchEntry> RemoteRows() const;
  // The rows added since the last call (or since ClearRows), in list order.
  std::vector<vantor::SearchEntry> TakeNewRows();
  void ClearRows();

  // Handles the messages of the readers. True when `message` was one of them.
  bool HandleMessage(const platform::Message& message, platform::LRESULT& result);

 private:
  struct WindowState {
    CMySocket query;
    CMySocket transmit;
    std::unique_ptr<CQueryThread> query_thread;
    std::unique_ptr<CTransmitThread> transmit_thread;
    std::unique_ptr<CStreamPlayThread> stream_thread;
    std::unique_ptr<platform::Event> data_event = std::make_unique<platform::Event>(platform::EventReset::Manual);
    vantor::SearchQuery query_fields;
    bool searching = false;
    bool answered = false;             // a reply came since the search started
    std::chrono::steady_clock::time_point heard;  // connect, or the last reply
    std::uint8_t transfer_id = 0;
    std::uint32_t transfer_value = 0;  // opaque, stored as the device gave it
    std::string remote_file;
    std::string pending_file;          // asked for, not yet ready
  };

  static std::size_t Index(int window) { return static_cast<std::size_t>(window); }
  static bool ValidWindow(platform::WPARAM window) { return window < static_cast<platform::WPARAM>(kWindows); }
  void SearchConnectionEnded(int window);
  void SearchConnectionFailed(int window, SearchFailure failure);
  void OnSearchWatch();
  void OnDownNext();
  void OnDownReady(std::uint8_t transferId);
  void OnDownProgress(bool start);
  void HideProgress();

  static constexpr int kWindows = 16;
  void* const m_hDialog;
  IVantorHost& m_host;
  std::string m_strAddress;
  std::array<WindowState, kWindows> m_windows;
  int m_nOutstanding = 0;
  bool m_bDeviceAnswered = false;
  SearchFailure m_searchFailure = SearchFailure::None;
  std::chrono::milliseconds m_answerWait{10000};

  mutable platform::CriticalSection m_csResult;
  std::vector<vantor::SearchEntry> m_rows;  // Guarded by m_csResult
  std::size_t m_nRowsTaken = 0;             // Guarded by m_csResult

  CMySocket m_downCmd;
  CMySocket m_downData;
  std::unique_ptr<CDownCmdThread> m_pDownCmdThread;
  std::unique_ptr<CDownDataThread> m_pDownDataThread;
  std::deque<std::string> m_downQueue;
  std::string m_strDownName;
  std::string m_strDownFolder = "D:\\DownLoadVideo\\";
  bool m_bDownIdle = true;
  std::uint8_t m_byDownTransferId = 0;
  DownloadProgress m_progress;
};

}  // namespace lumaro
