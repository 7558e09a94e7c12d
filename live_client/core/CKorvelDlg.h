#pragma once

// The live client's main dialog: the video grid, the camera tree, the PTZ pad, the record,
// snapshot, playback and settings buttons and the status line. It owns every long-lived object
// of the client: configuration, theme and language, the grid and its render ports, the connect
// workers and their events, and the timers.
//
// It is a platform window: workers post it messages 0x914 (window status), 0x915 (tree image)
// and 0x916 (record buttons), the notifier 0x47B, the PTZ buttons send 0x857; all of them are
// handled on the user-interface thread. Every member is UI-thread only unless marked.

#include <QDialog>
#include <QPointer>
#include <array>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "live_client/core/CThreadSingleConnect.h"
#include "live_client/core/CWndManage.h"
#include "live_client/core/KorvelConfig.h"
#include "live_client/core/KorvelLiveLink.h"
#include "live_client/core/KorvelRunningTime.h"
#include "common/qt/QtMessagePump.h"
#include "live_client/skin/CWzdToolTipCtrl.h"
#include "live_client/skin/KorvelSkin.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/Window.h"

class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class CBmpButton;
class MHollowStatic;
class MBmpProgress;
class MDiskManager;
class CRecordDrives;
class CKorvelRecording;
class CPresetDlg;
class CStreamFitter;
class QTimer;

class CKorvelDlg : public QDialog,
                   public platform::Window,
                   public CKorvelSettings,
                   public WndManageHost {
  Q_OBJECT

 public:
  // `clientFolder`: the folder of Setting.ini, Korvel.cfg, UI_Skin and Language in Windows
  // form; empty means the program folder.
  explicit CKorvelDlg(std::string clientFolder = {}, QWidget* parent = nullptr);
  ~CKorvelDlg() override;

  // Initialises, runs the dialog until it ends, then tears down. Returns the dialog's result.
  int DoModal();
  // The dialog's initialisation. False when it failed; the dialog has then ended.
  bool OnInitDialog();
  // Final teardown after the dialog has ended: logins closed, configuration saved, render
  // ports and libraries released. Runs once; the destructor runs it if nobody did.
  void PostNcDestroy();

  // platform::Window: the dialog draws itself; pictures are only presented into the video
  // windows' surfaces, so one presented here is dropped. Any thread.
  void Present(const platform::Picture&) override {}
  platform::Rect ClientRect() const override { return {0, 0, m_nWidth.load(), m_nHeight.load()}; }

  // A command of a button, the context menu or a video window.
  void OnCommand(int id);
  // Cancel key and exit buttons: the exit question, then the exit wait.
  void OnCancel();

  // Connection work (logins, previews) is attached by its owner before OnInitDialog; without
  // it the client runs without live video. The maintenance thread over the dialog's drives and
  // recording control is attached by the constructor; a test may replace it (or remove it with
  // an empty factory) before OnInitDialog and run the steps itself.
  void SetLiveLink(std::shared_ptr<KorvelLiveLink> link) { m_pLiveLink = std::move(link); }
  void SetMaintenanceThreadFactory(std::function<std::unique_ptr<platform::Thread>()> factory) {
    m_maintenanceFactory = std::move(factory);
  }

  // The local fixed drives (listed once, by the constructor), the recording-drive settings
  // with their watchdog, and recording control. They live as long as the dialog.
  MDiskManager& Disks() { return *m_pDiskManager; }
  CRecordDrives& RecordDrives() { return *m_pRecordDrives; }
  CKorvelRecording& Recording() { return *m_pRecording; }
  // Any thread: shows an OK message box with `text` (8-bit) on the UI thread; from another
  // thread it is queued and shown there later, so no worker waits for the operator while it
  // holds a lock.
  void ShowMessageOnUi(const std::string& text);

  // Any thread: record-button state of window w (0 off, 1 pending, 2 may start, 3 may stop);
  // applied to the buttons when w is the selected window. Ignored in full-screen mode.
  void SetRecStatus(int w, int st);
  // Any thread: record mark of window w of `page` (only the current page): 0 none, 1 manual,
  // 2 scheduled. Also the render port's recording indicator.
  void SetRecordMark(int page, int w, int value);
  // Window `w` shows its idle background and its render port forgets its last picture (any
  // thread; callers hold the window's display gate, see BlankPreviewWindow).
  void BlankWindow(int w);
  // Any thread: posts the tree image and record-button state that slot w of `page` calls for.
  void UpdateIndicators(int page, int w);
  // UI thread: hands window w's worker a command (signals its event, clears its idle event).
  void SignalCommand(int w, ConnectCommand command);

  // Selects window k (click in a window or a slot item of the tree).
  void SelectWindow(int k);
  // Rebuilds the camera tree for the current page.
  void BuildTree();
  // Refreshes the status line (timer 2137).
  void ShowStatusLine();

  // UI thread: recodes the PTZ buttons for the kind of the selected window's slot.
  void SetPtzCodes();
  // Any thread: the grid lays its windows out again (m_nLayout) on the UI thread.
  void PostLayoutRefresh();
  // Any thread: the system asks the program to end (a stop signal). The dialog exits as on a
  // confirmed Exit, without asking: recordings are closed and indexed and the settings saved.
  void RequestStop(int signal);
  // One message received for the error report: wParam (code + 100) x 65536 + 1 and lParam
  // window x 65536 + page for a connect failure; wParam 5 and lParam the login record for a
  // lost DVR connection.
  struct ErrorReportEntry {
    platform::WPARAM wParam;
    platform::LPARAM lParam;
  };
  // UI thread: the error-report messages received so far, oldest first.
  const std::vector<ErrorReportEntry>& ErrorReports() const { return m_errorReports; }
  // The themed control of a command id, or null.
  QWidget* ControlById(int id) const;

  // Read access for the other parts of the client and for tests.
  const CKorvelSkin& Skin() const { return m_skin; }
  CWndManage* WndManage() { return m_pWndManage.get(); }
  const std::string& ClientFolder() const { return m_strClientFolder; }
  // Camera windows show the stream that fits their size ("[Setting] FitStreamToWindow", read
  // at start-up); off, every window goes back to its slot's profile. Applied at once.
  bool FitStreamToWindow() const { return m_bFitStream; }
  void SetFitStreamToWindow(bool fit);
  // Chooses the profile of every shown camera window of the current page and asks for the
  // moves (the layout calls it once the grid settles, the status timer every second).
  void FitCameraStreams();
  int CurrentPage() const override { return m_nCurPage.load(); }
  int RecStatus(int w) const { return m_nRecStatus[w].load(); }
  bool IsExitWaiting() const { return m_bExitWaiting; }
  platform::Event* IdleEvent(int w) { return m_hEvtIdle[w].get(); }
  int BlinkCounter() const { return m_nBlink; }
  // Language text of `key` from "STC_STRING" (8-bit; "" after the reader's message).
  std::string LanguageText(const char* key) const override;

  // Dialog state (Part names kept, as the rest of the client reaches them).
  std::string m_strLanguage = "English";
  std::string m_strSkin = "Blue1024,768";
  std::vector<std::string> m_strDiskLst;
  std::atomic<int> m_bNoDiskSpace{0};  // any thread, interlocked
  std::atomic<int> m_nCurPage{0};  // written by the UI thread; workers read it
  int m_btAutoPage = 0;
  int m_bFrameStyle = 1;
  int m_bFullScreen = 0;
  int m_nLayout = 5;
  int m_nPrevLayout = 5;
  platform::CriticalSection m_csDialog;
  // Automatic-scan state of a kind-3 camera per page x 25 + window (1 on). UI thread only.
  int m_nAutoScan[kPageCount * kSlotsPerPage] = {};

 protected:
  void accept() override;
  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void OnMessageQueued() override;

 private:
  // Posted by a worker's SetRecordMark: wParam page x 25 + window, lParam the mark.
  static constexpr unsigned kApplyRecordMarkMessage = platform::WM_USER + 0x202;
  // Posted by a worker after a disconnect: the layout is applied again.
  static constexpr unsigned kApplyLayoutMessage = platform::WM_USER + 0x203;
  // Posted by ShowMessageOnUi: the queued message boxes are shown.
  static constexpr unsigned kShowMessagesMessage = platform::WM_USER + 0x204;
  // Posted by RequestStop: wParam the signal.
  static constexpr unsigned kStopRequestMessage = platform::WM_USER + 0x205;

  // WndManageHost.
  QSize ScreenSize() const override;
  void ShowOtherControls(bool show) override;
  void GridLaidOut() override;

  void CreateControls();
  void CreateContextMenu();
  // The context menu's entries take their texts from the language file.
  void LabelContextMenu();
  void BuildDiskList();
  bool InitProper();
  void CreateGridAndRenderPorts();
  void StartSdks();
  void ShowPageCaption();
  void StartWorkers();
  platform::LRESULT OnMessage(const platform::Message& message);
  void OnTimer(unsigned id);
  void ExitWait();
  void BlinkRecordMarks();
  void ShowQueuedMessages();
  void OpenSnapshotFolder(const char* path);
  // The PTZ presets of the selected window, beside the video (menu entry).
  void ShowPresets();
  void StartPlayback();
  void ChangeLayout(int side);
  void ChangeDisplayPage(int step);
  void ToggleFullScreen();
  void ToggleWindowStyle();
  void OnWindowDoubleClick(int index);
  void OnWindowRightClick(int index);
  void OnTreeDoubleClick(int w);
  void ToggleMute();
  // The sound button shows whether sound is on: pressed while muted, and says so in its tip.
  void ShowSoundState();
  void ApplyRecButtons(int w);
  void ApplyRecordMark(int w, int value);
  void SetTreeImage(int w, int image);
  void EndDialog(int result);

  QtMessagePump m_pump;
  std::string m_strClientFolder;
  CKorvelSkin m_skin;
  std::unique_ptr<CWndManage> m_pWndManage;
  CWzdToolTipCtrl m_tooltips;
  QMenu* m_pContextMenu = nullptr;
  QPointer<CPresetDlg> m_pPresetDlg;
  std::map<int, QWidget*> m_controlById;     // themed controls by command id
  std::vector<QWidget*> m_otherControls;     // every themed control (hidden in full screen)
  QTreeWidget* m_pTree = nullptr;
  MHollowStatic* m_pPageInfo = nullptr;
  MHollowStatic* m_pRunDays = nullptr;
  MHollowStatic* m_pClock = nullptr;
  MHollowStatic* m_pUseDisk = nullptr;
  MBmpProgress* m_pDiskBar = nullptr;
  QTreeWidgetItem* m_hTreeItem[kVideoWindowCount] = {};

  std::unique_ptr<platform::Event> m_hEvtConnect[kVideoWindowCount];
  std::unique_ptr<platform::Event> m_hEvtDisconnect[kVideoWindowCount];
  std::unique_ptr<platform::Event> m_hEvtStartRec[kVideoWindowCount];
  std::unique_ptr<platform::Event> m_hEvtStopRec[kVideoWindowCount];
  std::unique_ptr<platform::Event> m_hEvtIdle[kVideoWindowCount];
  std::unique_ptr<CThreadSingleConnect> m_pThread[kVideoWindowCount];
  std::array<std::atomic<int>, kVideoWindowCount> m_nRecStatus{};  // any thread
  std::array<std::atomic<int>, kVideoWindowCount> m_nOsdStatus{};  // the render ports' marks
  // Declared before the maintenance thread, which uses them, so they outlive it.
  std::unique_ptr<MDiskManager> m_pDiskManager;
  std::unique_ptr<CRecordDrives> m_pRecordDrives;
  std::unique_ptr<CKorvelRecording> m_pRecording;
  std::mutex m_messagesLock;
  std::deque<std::string> m_queuedMessages;  // Guarded by m_messagesLock
  std::unique_ptr<platform::Thread> m_pThreadDelRec;
  std::function<std::unique_ptr<platform::Thread>()> m_maintenanceFactory;
  std::shared_ptr<KorvelLiveLink> m_pLiveLink;
  std::vector<ErrorReportEntry> m_errorReports;

  std::atomic<int> m_nWidth{0};
  std::atomic<int> m_nHeight{0};
  KorvelRunningTime m_runningTime;
  int m_nBlink = 0;
  bool m_bExitWaiting = false;
  bool m_bInitialised = false;
  bool m_bConfigLoaded = false;  // saved again at teardown only once it was read
  bool m_bTornDown = false;
  bool m_bRenderStarted = false;
  bool m_bFitStream = true;
  QTimer* m_pFitTimer = nullptr;  // the grid settles: a drag does not move streams per step
  std::unique_ptr<CStreamFitter> m_pStreamFitter;
};
