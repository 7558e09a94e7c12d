#pragma once

// The main dialog of the playback program: search controls, result lists, the 16 playback
// windows, the channel buttons and the time ruler's place, all placed and pictured by the
// theme and labelled by the language file. It owns every long-lived object of the program
// and creates them in OnInitDialog; UnInit takes them down.
//
// Threads: everything here runs on the user-interface thread. Workers (the command thread,
// later the remote readers) talk to the dialog only by posting its private messages
// (LumaroIds.h) through its platform::Window handle.

#include <QColor>
#include <QDialog>
#include <QImage>
#include <array>
#include <atomic>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Window.h"
#include "playback_app/CDriver.h"
#include "playback_app/C_MonthView.h"
#include "playback_app/CThreadCmdProcess.h"
#include "playback_app/LumaroIds.h"
#include "playback_app/LumaroSkin.h"
#include "common/qt/QtMessagePump.h"
#include "playback_app/RecordSearch.h"
#include "playback_app/VideoWndState.h"

class QCalendarWidget;
class QComboBox;
class QMenu;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace lumaro {

class ChannelButtons;
class CColorCheckBox;
class CMyPagesWnd;
class CColorStatic;
class CColorWnd;
class CDateTimeBox;
class CPictureButton;
class CPictureSlider;
class CRecordSetDlg;
class CRecorderRemote;
class CRemoteDlgHost;
class CVantorRemote;
enum class SearchFailure;
class TimeStaffWnd;
class VideoPlayerWnd;

enum class ViewMode { Time, List };

class CLumaroDlg : public QDialog, public platform::Window {
  Q_OBJECT
 public:
  // `clientMode` is the "-s" value (0 = started by the live client); `picturePath` the
  // snapshot folder. `programFolder` defaults to the folder of the executable (tests give a
  // folder of their own).
  CLumaroDlg(int clientMode, const std::string& picturePath, const std::string& programFolder = {},
             QWidget* parent = nullptr);
  ~CLumaroDlg() override;

  // Runs the initialisation; false when it failed (UnInit has then run and the dialog is
  // closed as cancelled).
  bool OnInitDialog();
  // OnInitDialog, then the modal loop. Returns QDialog::Accepted or Rejected.
  int DoModal();

  // Any thread: the system asks the program to end (a stop signal). The dialog closes as on
  // Cancel, without asking: playback stops and the settings are saved.
  void RequestStop(int signal);

  // Commands the dialog owns.
  void OnButtonExit();
  // The Cancel action (Esc, the close box, a stop signal): false when the operator chose to
  // keep a running download and the program goes on.
  bool OnCancel();
  void OnOK();
  void OnButtonSearch();
  void OnModeTime();
  void OnModeList();
  void OnThemeCommand(int command);
  // The window menu's commands (kCommandAbout opens the about box).
  void OnSysCommand(int command);
  // The dialog's own menu (right click on its background): About when the language file
  // names it, the themes and the languages.
  void FillContextMenu(QMenu& menu);
  // Lets a test answer the about box instead of its modal loop.
  void SetAboutRunner(std::function<void(QDialog&)> runner) { m_aboutRunner = std::move(runner); }
  void OnLanguageCommand(int command);
  // Selects or releases channel `channel` (1..24) as a press on its button does.
  void SetChannelSelected(int channel, bool selected);
  // The calendar's day changed (also when set by the program).
  void OnCalendarSelect();
  // Playback of the selected window (CLumaroDlgPlay.cpp).
  void OnButtonPlay();
  void OnButtonPause();
  void OnButtonStop();
  void OnButtonFrame(bool forward);
  void OnButtonSlow();
  void OnButtonFast();
  void OnButtonSpeedAll(bool faster);
  void OnButtonPlayAll();
  void OnButtonStopAll();
  void OnButtonMute();
  void OnButtonSnap();
  // Open-file button: any AVI or MP4 file in the selected window (device type ALDER only).
  void OnButtonFileOpen();
  // Lets a test answer the file-open dialog: returns the chosen path, "" for Cancel.
  void SetFileDialogRunner(std::function<std::string()> runner) { m_fileDialogRunner = std::move(runner); }
  // Save video: the selected window's recording as an MP4 file of the operator's choice.
  void OnButtonSaveVideo();
  void SetSaveDialogRunner(std::function<std::string()> runner) { m_saveDialogRunner = std::move(runner); }
  // Opens the local result row `row` in its channel's window and plays it.
  void OpenResultRow(int row);
  QString SpeedText() const;
  int SoundWindow() const { return m_nSoundWindow; }
  bool IsMuted() const { return m_bMute; }

  // Drag selection over the channel buttons (its area follows the theme).
  ChannelButtons* ChannelDrag() const { return m_pChannelDrag; }

  // Full screen of the pager on or off (full-screen button, right click on the pager).
  void SetFullScreen(bool on);
  bool IsFullScreen() const;

  // Queues a task for the command thread (one semaphore release per task).
  void QueueTask(int task);

  // --- State, for the parts of the program that plug in here and for tests.
  bool IsClientMode() const { return m_nClientMode == 0; }
  ViewMode Mode() const { return m_viewMode; }
  bool IsRemote() const { return m_bRemote; }
  int DeviceType() const { return m_nDeviceType; }
  const std::string& ThemeName() const { return m_strThemeName; }
  const std::string& LanguageName() const { return m_strLanguage; }
  const std::string& PicturePath() const { return m_strPicturePath; }
  const std::string& SettingsFile() const { return m_strSettingsFile; }
  const std::string& LanguageFilePath() const { return m_strLanguageFile; }
  const ThemeData& Theme() const { return m_theme; }
  const CDriver& Drivers() const { return m_driver; }
  const std::array<ChannelState, kChannels>& Channels() const { return m_ChannelState; }
  const std::array<VideoWndState, kVideoWindows>& WindowStates() const { return m_VideoWndState; }
  const std::vector<std::string>& ThemeNames() const { return m_themeList; }
  const std::vector<LanguageEntry>& Languages() const { return m_languageList; }
  const std::string& RulerLabel(int channel) const { return m_strRulerLabels[static_cast<std::size_t>(channel - 1)]; }
  const std::vector<std::string>& AddressHistory() const { return m_addressHistory; }
  int SelectedWindow() const { return m_nSelectedWindow; }
  // The day searched, as midnight local time.
  std::time_t SearchDayStart() const;
  VideoPlayerWnd* VideoWindow(int index) const { return m_videoWindows[static_cast<std::size_t>(index)]; }
  // The pager (owner of the playback windows) and the time ruler's place.
  CMyPagesWnd* Pager() const { return m_pPager; }
  TimeStaffWnd* RulerArea() const { return m_wndTimeStaff; }
  // Lets a test (or an unattended run) answer the record-set dialog: called instead of its
  // modal loop, returns the dialog's result.
  void SetRecordSetRunner(std::function<int(CRecordSetDlg&)> runner) { m_recordSetRunner = std::move(runner); }

  // The Vantor device side (null before OnInitDialog). Remote result rows open and download
  // through these, as a double click and a right click on the remote list do.
  CVantorRemote* VantorRemote() const { return m_pVantor.get(); }
  // The recorder side (device types 0..2); null until the first recorder search.
  CRecorderRemote* RecorderRemote() const { return m_pRecorder.get(); }
  void OpenRemoteRow(int row);
  void DownloadSelectedRemoteRows();

  // The engine's display callback of every playback window (`user` is the dialog): takes the
  // window's pending snapshot. Runs on the engine's playback thread.
  static void DisplayCBFun(int port, unsigned char* picture, int size, int width, int height, int stamp,
                           int type, void* user, int reserved);
  // The port offered for each device type by the login and record-set dialogs: the last
  // one accepted for that type, or the type's default.
  const std::array<int, 4>& DevicePorts() const { return m_devicePorts; }

  // platform::Window: the dialog itself shows no pictures; its handle carries messages.
  void Present(const platform::Picture&) override {}
  platform::Rect ClientRect() const override { return platform::Rect{0, 0, width(), height()}; }

  // The message handler of the dialog's platform window (UI thread).
  platform::LRESULT HandleMessage(const platform::Message& message);

 protected:
  void OnMessageQueued() override { m_pump.Schedule(); }
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void accept() override;

 private:
  // Construction of the controls (as the dialog template would).
  void CreateControls();
  CPictureButton* AddButton(int id, const char* section);
  CColorStatic* AddLabel(const char* section);

  // Initialisation and teardown.
  bool InitSequence();
  void UnInit();
  void CloseAndRelease(int result);
  bool DownloadRunning() const;
  // Asks IDS_DOWN_EXIT while a download runs; true when closing may go on.
  bool ConfirmLosingDownload();
  void ReadAddressHistory();
  void WriteAddressHistory();
  void StartRenderTargets();
  void StopRenderTargets();
  void DealTask(int task);

  // Theme and language (CLumaroDlgSkin.cpp).
  bool LoadSkin();
  bool LayoutControls();
  bool ReadLanguageTexts();
  bool ApplyViewMode();
  void ApplyLabelColours();
  void PlaceChannelButtons();
  bool TextOf(const char* section, const char* key, QString& text);
  std::vector<std::string> ButtonSections() const;

  // Search (CLumaroDlgSearch.cpp).
  void SearchChannels(const std::vector<int>& channels);
  void FillResultList(const std::vector<int>& channels);
  void RemoveChannelRows(int channel);
  void StopWindow(int window);
  // The playback labels as they read with nothing playing.
  void ResetPlayLabels();
  void StopAllWindows();
  void SelectWindow(int window);
  bool RunRecordSet();
  void OnRecordTypeChanged(int index);
  void OnRemoteToggled(bool checked);
  SearchRequest CurrentRequest() const;

  // Playback (CLumaroDlgPlay.cpp).
  bool OpenRecordForWindow(int window, bool next, int index);
  void PlayWindow(int window, bool hasPosition, float position);
  void ChangeSpeed(int window, bool faster);
  void UpdateSpeedLabel();
  void OnFileEnd(int window);
  void OnPositionTimer(int window);
  void OnSnapshotDone(bool ok, std::string* name);
  void SoundFollowsSelection(int window);

  // Time ruler (CLumaroDlgRuler.cpp).
  void SyncRulerRows();
  void OnRulerSeek(int seconds);
  void OnRulerScroll(int firstRow);

  // Vantor devices (CLumaroDlgSearch.cpp).
  void StartRemoteNetwork();
  void SearchRemote(const std::vector<int>& channels);
  void DealStopSearchRemote();
  void AppendRemoteRows();
  void OnRemoteSearchEnded(SearchFailure failure);
  void ReadDevicePorts();
  void WriteDevicePorts();
  void ShowDownloadProgress();
  void ShowDownloadControls();
  void RememberAddress(const std::string& address);

  // Recorders through the DVR SDK (CLumaroDlgRecorder.cpp).
  bool RunLoginInfo();
  void SearchRecorder(const std::vector<int>& channels);
  // Plays a recorder row; false when the row is not one.
  bool OpenRecorderRow(QTreeWidgetItem* item);
  bool IsSdkWindow(int window) const;
  void OnSdkPlay();
  void OnSdkPause();
  void ChangeSdkSpeed(bool faster);
  void OnSdkProgress();
  // Shows the language text `key` with the program's title as caption.
  void ShowNotice(const char* key);

  // Timers.
  void OnClockTimer();
  void UpdatePlayButtons();


  // --- Fixed at construction.
  std::string m_strProgramFolder;
  std::string m_strSettingsFile;  // "Lumaro.ini" beside the program or in the user folder
  std::string m_strPicturePath;
  int m_nClientMode = 1;          // the "-s" value: 0 = client mode

  // --- Theme and texts.
  std::string m_strThemeName;
  std::string m_strLanguage;
  std::string m_strLanguageFile;
  std::vector<std::string> m_themeList;
  std::vector<LanguageEntry> m_languageList;
  ThemeData m_theme;
  bool m_bThemeLoaded = false;
  std::array<SkinPoint, 4> m_backPositions{};  // where the four background strips are drawn
  bool m_bBackPlaced = false;
  int m_nFirstChannelShown = 0;  // TBlack: first of the four channel buttons beside the ruler

  // --- Modes.
  ViewMode m_viewMode = ViewMode::Time;
  bool m_bRemote = false;
  int m_nDeviceType = 3;
  int m_nRecordType = 0;
  bool m_bDownloadVisible = false;
  bool m_bDownloading = false;

  // --- Recorder address history (most recent first) and its current index.
  std::vector<std::string> m_addressHistory;
  int m_nCurrentAddress = 3;
  std::string m_strRecorderFolder;  // client mode: the recorder chosen for the last local search

  // --- Search.
  CDriver m_driver;
  IndexSearch m_search;  // owns the 301,056-byte key buffer
  std::array<ChannelState, kChannels> m_ChannelState{};
  std::array<VideoWndState, kVideoWindows> m_VideoWndState{};
  std::array<std::string, kChannels> m_strRulerLabels{};
  int m_nSelectedChannels = 0;
  int m_nSelectedWindow = 0;
  int m_nSoundWindow = -1;   // the window whose sound is heard
  bool m_bMute = false;
  std::time_t m_tRulerTime = 0;  // time chosen on the ruler (time mode)
  // Snapshot requests, one per window: set on the UI thread, taken by the display callback.
  std::array<std::atomic<int>, kVideoWindows> m_snapRequest{};
  std::vector<int> m_rowRecordIndex;  // item data of the local result list rows

  // --- Task queue and its thread.
  TaskQueue m_tasks;
  std::unique_ptr<CThreadCmdProcess> m_pCmdThread;

  // --- Render library and recorder SDK.
  bool m_bRenderStarted = false;
  bool m_bSdkStarted = false;
  bool m_bUnInitDone = false;
  bool m_bInitialised = false;
  bool m_bAskingExit = false;

  std::function<int(CRecordSetDlg&)> m_recordSetRunner;
  std::function<std::string()> m_fileDialogRunner;
  std::function<std::string()> m_saveDialogRunner;
  std::function<void(QDialog&)> m_aboutRunner;

  // --- Controls (children of the dialog; Qt deletes them).
  std::map<int, CPictureButton*> m_buttons;          // by control id
  std::map<std::string, CPictureButton*> m_buttonsBySection;
  std::map<std::string, CColorStatic*> m_labels;     // by section
  std::map<std::string, QColor> m_labelDefaultColours;
  std::array<CPictureButton*, kChannels> m_channelButtons{};
  ChannelButtons* m_pChannelDrag = nullptr;
  std::array<CColorWnd*, 3> m_colorWnds{};
  std::array<VideoPlayerWnd*, kVideoWindows> m_videoWindows{};
  CColorCheckBox* m_chkRemote = nullptr;
  QComboBox* m_cmbDeviceType = nullptr;
  QComboBox* m_cmbRecordType = nullptr;
  C_MonthView* m_calendar = nullptr;
  CDateTimeBox* m_timeFrom = nullptr;
  CDateTimeBox* m_timeTo = nullptr;
  QTreeWidget* m_listResult = nullptr;
  QTreeWidget* m_listResultRemote = nullptr;
  QProgressBar* m_progressDown = nullptr;
  QWidget* m_labelDownPercent = nullptr;
  CPictureSlider* m_sliderPlay = nullptr;
  CPictureSlider* m_sliderVolume = nullptr;
  CMyPagesWnd* m_pPager = nullptr;
  std::vector<QWidget*> m_hiddenForFullScreen;  // controls to show again after full screen
  TimeStaffWnd* m_wndTimeStaff = nullptr;

  // --- Vantor devices: the host outlives the remote side, which is destroyed first.
  std::unique_ptr<CRemoteDlgHost> m_pRemoteHost;
  std::unique_ptr<CVantorRemote> m_pVantor;
  std::string m_strRemoteAddress;
  // Port and credentials of the last accepted login dialog.
  int m_nRemotePort = 0;
  std::string m_strRemoteUser;
  std::string m_strRemotePassword;
  // The recorder connection, its search and its one playback; destroyed before the SDK stops.
  std::unique_ptr<CRecorderRemote> m_pRecorder;
  // The address of the running Vantor search as the operator typed it; it joins the history
  // once the device has answered the search.
  std::string m_strSearchAddress;
  std::array<int, 4> m_devicePorts{};

  QtMessagePump m_pump;
};

}  // namespace lumaro
