#include "playback_app/CLumaroDlg.h"

#include <QCalendarWidget>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTextCharFormat>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QTreeWidget>

#include "common/SuiteVersion.h"
#include "common/TraceMessage.h"
#include "device_sdk/Glimmet/Glimmet.h"
#include "device_sdk/Orvane/Orvane.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/TimeText.h"
#include "platform/UserFiles.h"
#include "player_engine/Pellix.h"
#include "playback_app/C_MonthView.h"
#include "playback_app/ChannelButtons.h"
#include "playback_app/CMyPagesWnd.h"
#include "playback_app/CRecordSetDlg.h"
#include "playback_app/SkinControls.h"
#include "playback_app/SystemText.h"
#include "playback_app/TimeStaffWnd.h"
#include "playback_app/VideoPlayerWnd.h"
#include "playback_app/remote/CRecorderRemote.h"
#include "playback_app/remote/CRemoteDlgHost.h"
#include "playback_app/remote/CVantorRemote.h"

namespace lumaro {

namespace {

struct ButtonEntry {
  int id;
  const char* section;
};

// Every picture button of the dialog with its section in the theme file (its caption).
constexpr ButtonEntry kButtons[] = {
    {idc::kPlay, "BTN_PLAY"},           {idc::kPause, "BTN_PAUSE"},
    {idc::kStop, "BTN_STOP"},           {idc::kFramePrev, "BTN_FRAMEPREV"},
    {idc::kFrameNext, "BTN_FRAMENEXT"}, {idc::kSlow, "BTN_SLOW"},
    {idc::kFast, "BTN_FAST"},           {idc::kSnap, "BTN_SNAP"},
    {idc::kExit, "BTN_EXIT"},           {idc::kModeTime, "BTN_MODETIME"},
    {idc::kModeList, "BTN_MODELIST"},   {idc::kSearch, "BTN_SEARCH"},
    {idc::kSearchStop, "BTN_SEARCHSTOP"}, {idc::kMute, "BTN_MUTE"},
    {idc::kFileOpen, "BTN_FILE"},       {idc::kSaveVideo, "BTN_SAVEVIDEO"},
    {idc::kSplit1, "BTN_VIDEOWND1"},    {idc::kSplit4, "BTN_VIDEOWND4"},
    {idc::kSplit9, "BTN_VIDEOWND9"},    {idc::kSplit16, "BTN_VIDEOWND16"},
    {idc::kRulerAll, "BTN_SELECTALL"},  {idc::kPlayAll, "BTN_PLAYALL"},
    {idc::kStopAll, "BTN_STOPALL"},     {idc::kFullScreen, "BTN_FULLSCREEN"},
    {idc::kSlowAll, "BTN_SLOWALL"},     {idc::kFastAll, "BTN_FASTALL"},
};

// Labels of the main dialog drawn by CColorStatic (STC_DOWNPERCENT is a plain label).
constexpr const char* kLabelSections[] = {
    "STC_CLOCKDATE", "STC_CLOCKTIME", "STC_DATETIME", "STC_DEVICE_TYPE", "STC_DF", "STC_DISK",
    "STC_FILENAME", "STC_FILESIZE", "STC_PLAYTIME", "STC_RECALARM", "STC_RECAUTO", "STC_RECMANUAL",
    "STC_RECORDTYPE", "STC_SINGLEPLAYTIME", "STC_SPEED", "STC_TIMEFROM", "STC_TIMETO", "STC_WAITING",
    "LABEL_DISK", "LABEL_FSIZE", "LABEL_PLAYTIME", "LABEL_SPEED", "LABEL_STARTTIME"};

// Labels whose default text colour is green; all others start blue.
constexpr const char* kGreenLabels[] = {"STC_TIMEFROM", "STC_TIMETO", "STC_RECORDTYPE", "STC_DEVICE_TYPE",
                                        "STC_FILENAME", "STC_DF", "STC_WAITING"};

}  // namespace

CLumaroDlg::CLumaroDlg(int clientMode, const std::string& picturePath, const std::string& programFolder,
                       QWidget* parent)
    : QDialog(parent),
      m_strProgramFolder(programFolder.empty() ? platform::ProgramFolder() : programFolder),
      m_strPicturePath(picturePath),
      m_nClientMode(clientMode),
      m_pump(*this) {
  setObjectName(QStringLiteral("CLumaroDlg"));
  // Beside the program when its folder is the user's own, otherwise in the user's
  // configuration folder (an installed program).
  m_strSettingsFile = platform::UserFilePath("Lumaro.ini", platform::UserFileKind::Configuration, m_strProgramFolder);
  SetMessageHandler([this](const platform::Message& message) { return HandleMessage(message); });
  CreateControls();
}

CLumaroDlg::~CLumaroDlg() {
  UnInit();
  StopRenderTargets();
  // The command thread works off what is queued (task 301 of UnInit) before it ends.
  m_pCmdThread.reset();
  // The device readers post to this dialog's handle: they end before the handle closes.
  m_pVantor.reset();
  m_pRemoteHost.reset();
  m_pRecorder.reset();
  if (m_bSdkStarted) ORVANE_cleanup();
  m_pump.Detach();
  CloseWindow();
}

CPictureButton* CLumaroDlg::AddButton(int id, const char* section) {
  auto* button = new CPictureButton(id, QString::fromLatin1(section), this);
  m_buttons[id] = button;
  m_buttonsBySection[section] = button;
  return button;
}

CColorStatic* CLumaroDlg::AddLabel(const char* section) {
  auto* label = new CColorStatic(QString::fromLatin1(section), this);
  label->SetTextColor(QColor(0, 0, 255));
  for (const char* green : kGreenLabels)
    if (std::string(green) == section) label->SetTextColor(QColor(0, 255, 0));
  m_labels[section] = label;
  m_labelDefaultColours[section] = label->TextColor();
  return label;
}

void CLumaroDlg::CreateControls() {
  for (const ButtonEntry& entry : kButtons) AddButton(entry.id, entry.section);
  m_buttons[idc::kMute]->SetLatching(true);
  m_buttons[idc::kRulerAll]->hide();
  for (const char* section : kLabelSections) AddLabel(section);
  auto* percent = new QLabel(this);
  percent->setObjectName(QStringLiteral("STC_DOWNPERCENT"));
  m_labelDownPercent = percent;

  m_chkRemote = new CColorCheckBox(QStringLiteral("CHK_REMOTE"), this);
  m_cmbDeviceType = new QComboBox(this);
  m_cmbDeviceType->setObjectName(QStringLiteral("CMB_DEVICE_TYPE"));
  m_cmbRecordType = new QComboBox(this);
  m_cmbRecordType->setObjectName(QStringLiteral("CMB_RECORDTYPE"));
  m_calendar = new C_MonthView(this);
  m_calendar->setObjectName(QStringLiteral("CONTROL_CALDATE"));
  m_timeFrom = new CDateTimeBox(QStringLiteral("CONTROL_TIMEFROM"), this);
  m_timeTo = new CDateTimeBox(QStringLiteral("CONTROL_TIMETO"), this);
  m_listResult = new QTreeWidget(this);
  m_listResult->setObjectName(QStringLiteral("LIST_RESULT"));
  m_listResultRemote = new QTreeWidget(this);
  m_listResultRemote->setObjectName(QStringLiteral("LIST_RESULTREMOTE"));
  for (QTreeWidget* list : {m_listResult, m_listResultRemote}) {
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The chosen row in white on a dark blue, which stays readable (the toolkit's lighter
    // blue does not).
    list->setStyleSheet(QStringLiteral("QTreeWidget { background: rgb(192,192,192);"
                                       " selection-background-color: rgb(0,84,147); selection-color: white; }"));
  }
  m_progressDown = new QProgressBar(this);
  m_progressDown->setObjectName(QStringLiteral("PGS_DOWNFILE"));
  // The percent label beside the bar says how far the download is.
  m_progressDown->setTextVisible(false);
  m_sliderPlay = new CPictureSlider(QStringLiteral("IDC_SLIDER_PLAY"), this);
  m_sliderVolume = new CPictureSlider(QStringLiteral("IDC_SLIDER_VOLUME"), this);

  const QColor typeColours[3] = {QColor(0, 0, 255), QColor(0, 255, 0), QColor(255, 0, 254)};
  const char* swatches[3] = {"WNDCOLOR_MANUAL", "WNDCOLOR_AUTO", "WNDCOLOR_ALARM"};
  for (int i = 0; i < 3; ++i)
    m_colorWnds[static_cast<std::size_t>(i)] = new CColorWnd(QString::fromLatin1(swatches[i]), typeColours[i], this);

  // The pager's place with its 16 playback windows, and the time ruler's place.
  m_pPager = new CMyPagesWnd(Handle(), this);
  for (int i = 0; i < kVideoWindows; ++i) m_videoWindows[static_cast<std::size_t>(i)] = m_pPager->Window(i);
  connect(m_pPager, &CMyPagesWnd::FullScreenToggleRequested, this, [this] { SetFullScreen(!IsFullScreen()); });
  m_wndTimeStaff = new TimeStaffWnd(Handle(), this);
  m_wndTimeStaff->setObjectName(QStringLiteral("TimeStaff"));

  for (int channel = 1; channel <= kChannels; ++channel) {
    auto* button = new CPictureButton(idc::kChannelFirst + channel - 1,
                                      QStringLiteral("CH%1").arg(channel, 2, 10, QLatin1Char(' ')), this);
    button->setText(button->objectName());
    button->SetLatching(true);
    connect(button, &QAbstractButton::clicked, this,
            [this, channel, button] { SetChannelSelected(channel, button->IsLatched()); });
    m_channelButtons[static_cast<std::size_t>(channel - 1)] = button;
  }
  m_pChannelDrag = new ChannelButtons(m_channelButtons,
                                     [this](int channel, bool select) { SetChannelSelected(channel, select); }, this);

  connect(m_buttons[idc::kExit], &QAbstractButton::clicked, this, &CLumaroDlg::OnButtonExit);
  connect(m_buttons[idc::kSearch], &QAbstractButton::clicked, this, &CLumaroDlg::OnButtonSearch);
  connect(m_buttons[idc::kModeTime], &QAbstractButton::clicked, this, &CLumaroDlg::OnModeTime);
  connect(m_buttons[idc::kModeList], &QAbstractButton::clicked, this, &CLumaroDlg::OnModeList);
  connect(m_buttons[idc::kSearchStop], &QAbstractButton::clicked, this, [this] {
    TraceMessage("[LUMARO] - OnButtonSearchStop() ReleaseSemaphore.");
    QueueTask(kTaskStopSearchRemote);
  });
  const std::pair<int, int> splits[] = {{idc::kSplit1, 1}, {idc::kSplit4, 2}, {idc::kSplit9, 3}, {idc::kSplit16, 4}};
  for (const auto& [id, split] : splits)
    connect(m_buttons[id], &QAbstractButton::clicked, this, [this, split = split] { m_pPager->SetSplit(split); });
  const std::pair<int, void (CLumaroDlg::*)()> playback[] = {
      {idc::kPlay, &CLumaroDlg::OnButtonPlay},   {idc::kPause, &CLumaroDlg::OnButtonPause},
      {idc::kStop, &CLumaroDlg::OnButtonStop},   {idc::kSlow, &CLumaroDlg::OnButtonSlow},
      {idc::kFast, &CLumaroDlg::OnButtonFast},   {idc::kPlayAll, &CLumaroDlg::OnButtonPlayAll},
      {idc::kStopAll, &CLumaroDlg::OnButtonStopAll}, {idc::kMute, &CLumaroDlg::OnButtonMute},
      {idc::kSnap, &CLumaroDlg::OnButtonSnap}};
  for (const auto& [id, handler] : playback) connect(m_buttons[id], &QAbstractButton::clicked, this, handler);
  connect(m_buttons[idc::kFileOpen], &QAbstractButton::clicked, this, &CLumaroDlg::OnButtonFileOpen);
  connect(m_buttons[idc::kSaveVideo], &QAbstractButton::clicked, this, &CLumaroDlg::OnButtonSaveVideo);
  connect(m_buttons[idc::kFramePrev], &QAbstractButton::clicked, this, [this] { OnButtonFrame(false); });
  connect(m_buttons[idc::kFrameNext], &QAbstractButton::clicked, this, [this] { OnButtonFrame(true); });
  connect(m_buttons[idc::kSlowAll], &QAbstractButton::clicked, this, [this] { OnButtonSpeedAll(false); });
  connect(m_buttons[idc::kFastAll], &QAbstractButton::clicked, this, [this] { OnButtonSpeedAll(true); });
  connect(m_listResult, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { OpenResultRow(m_listResult->indexOfTopLevelItem(item)); });
  connect(m_listResultRemote, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item) { OpenRemoteRow(m_listResultRemote->indexOfTopLevelItem(item)); });
  m_listResultRemote->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_listResultRemote->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_listResultRemote, &QWidget::customContextMenuRequested, this, [this] { DownloadSelectedRemoteRows(); });
  connect(m_sliderVolume, &QSlider::valueChanged, this, [this](int value) {
    if (m_nSoundWindow < 0) return;
    VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(m_nSoundWindow)];
    state.nVolume = value * 65535 / 100;
    Pellix_SetVolume(m_nSoundWindow, static_cast<unsigned short>(state.nVolume));
  });
  connect(m_sliderPlay, &QSlider::valueChanged, this, [this](int value) {
    if (m_nSoundWindow >= 0) Pellix_SetPlayPos(m_nSoundWindow, static_cast<float>(value) * 0.002f);
  });
  connect(m_buttons[idc::kFullScreen], &QAbstractButton::clicked, this, [this] { SetFullScreen(true); });
  connect(m_cmbRecordType, &QComboBox::activated, this, &CLumaroDlg::OnRecordTypeChanged);
  connect(m_chkRemote, &QCheckBox::toggled, this, &CLumaroDlg::OnRemoteToggled);
  connect(m_cmbDeviceType, &QComboBox::activated, this, [this](int index) { m_nDeviceType = index; });
  connect(m_calendar, &QCalendarWidget::selectionChanged, this, &CLumaroDlg::OnCalendarSelect);
}

int CLumaroDlg::DoModal() {
  if (!OnInitDialog()) return QDialog::Rejected;
  return exec();
}

bool CLumaroDlg::OnInitDialog() {
  setWindowIcon(QIcon(QStringLiteral(":/lumaro/lumaro.xpm")));
  if (!InitSequence()) {
    UnInit();
    CloseAndRelease(QDialog::Rejected);
    return false;
  }
  m_bSdkStarted = ORVANE_startup() == 0;
  m_pPager->SetSplit(4);
  m_bInitialised = true;
  return true;
}

bool CLumaroDlg::InitSequence() {
  const std::string setting = m_strProgramFolder + "\\Setting.ini";
  char text[kMaxConfigText + 1];
  platform::GetPrivateProfileString("UI_CONFIG", "THEMENAME", "Default", text, sizeof text, m_strSettingsFile.c_str());
  m_strThemeName = text;
  platform::GetPrivateProfileString("Setting", "Language", "Chinese", text, sizeof text, setting.c_str());
  m_strLanguage = text;
  platform::GetPrivateProfileString("Setting", "LUMAROSKIN", "TBlack", text, sizeof text, setting.c_str());
  m_strThemeName = text;
  m_themeList = ThemeList(m_strProgramFolder);
  m_languageList = LanguageList(m_strProgramFolder);

  if (!LoadSkin()) return false;

  m_cmbDeviceType->clear();
  for (const char* name : kDeviceTypeNames) m_cmbDeviceType->addItem(QString::fromLatin1(name));
  m_cmbDeviceType->setCurrentIndex(m_nDeviceType);

  ReadAddressHistory();
  ReadDevicePorts();
  if (!LayoutControls() || !ReadLanguageTexts()) return false;

  StartRenderTargets();

  m_driver.Build();
  if (m_driver.IsEmpty()) {
    TraceMessage("[LUMARO] - no drive to search, closing.");
    return false;
  }

  m_timeFrom->setTime(QTime(0, 0, 0));
  m_timeTo->setTime(QTime(23, 59, 59));
  // The month on grey with a light violet title row. Its texts are dark so they can be read
  // on both: black names and days, dark red weekends, white on a dark blue chosen day.
  QTextCharFormat title;
  title.setBackground(QColor(128, 128, 255));
  title.setForeground(QColor(0, 0, 0));
  m_calendar->setHeaderTextFormat(title);
  QTextCharFormat weekend;
  weekend.setForeground(QColor(80, 0, 0));
  m_calendar->setWeekdayTextFormat(Qt::Saturday, weekend);
  m_calendar->setWeekdayTextFormat(Qt::Sunday, weekend);
  m_calendar->setStyleSheet(QStringLiteral(
      "QCalendarWidget QAbstractItemView { background: rgb(192,192,192); color: black;"
      " selection-background-color: rgb(0,84,147); selection-color: white; }"
      "QCalendarWidget QWidget#qt_calendar_navigationbar { background: rgb(128,128,255); }"
      "QCalendarWidget QToolButton { color: black; }"));
  if (m_strThemeName == "TBlack")
    for (const auto& [number, value] : {std::pair{15, 1}, {9, 0x808000}, {10, 0xFFFF}, {2, 0xFFFF}, {0, 0xFFFF}, {5, 400000}})
      m_calendar->SetProperty(kMonthViewDispBase + static_cast<std::uint32_t>(number), value);

  QString appTitle;
  if (TextOf("TEXT_STRING", "IDS_APP_TITLE", appTitle)) setWindowTitle(appTitle);
  else return false;
  if (IsClientMode()) {
    m_viewMode = ViewMode::List;
    m_bRemote = true;
    const QSignalBlocker blocker(m_chkRemote);
    m_chkRemote->setChecked(true);
  }
  if (!ApplyViewMode()) return false;
  ResetPlayLabels();
  m_sliderVolume->setRange(50, 100);
  m_sliderVolume->setPageStep(5);
  m_sliderVolume->setValue(100);
  m_sliderPlay->setRange(0, 500);
  m_sliderPlay->setPageStep(50);
  m_sliderPlay->setValue(0);
  m_progressDown->setRange(1, 200);
  m_progressDown->setValue(1);

  m_pCmdThread = std::make_unique<CThreadCmdProcess>(m_tasks, [this](int task) { DealTask(task); });
  m_pCmdThread->Resume();
  StartRemoteNetwork();
  SetTimer(kTimerClock, kClockPeriodMs);
  OnClockTimer();
  return true;
}

void CLumaroDlg::StartRenderTargets() {
  if (m_bRenderStarted) return;
  GL_InitLib(2, 2);
  for (int i = 0; i < kVideoWindows; ++i)
    GL_CreateVender(i, 0, static_cast<platform::Window*>(m_videoWindows[static_cast<std::size_t>(i)]), 352, 288);
  m_bRenderStarted = true;
}

void CLumaroDlg::StopRenderTargets() {
  if (!m_bRenderStarted) return;
  for (int i = 0; i < kVideoWindows; ++i) GL_DestroyVender(i);
  GL_UnInitLib();
  m_bRenderStarted = false;
}

void CLumaroDlg::ReadAddressHistory() {
  m_addressHistory.clear();
  const char* file = m_strSettingsFile.c_str();
  const int count = platform::GetPrivateProfileInt("IPAddrCount", "AddrCount", 0, file);
  m_nCurrentAddress = platform::GetPrivateProfileInt("IPAddrCount", "CURSVR", 3, file);
  for (int i = 0; i < count && i < 20; ++i) {
    char address[1025];
    const std::string key = "Addr " + std::to_string(i);
    platform::GetPrivateProfileString("strIPAddr", key.c_str(), "", address, sizeof address, file);
    m_addressHistory.emplace_back(address);
  }
}

void CLumaroDlg::ReadDevicePorts() {
  // The port last accepted for each device type; 0 (none kept) offers the type's default.
  for (std::size_t type = 0; type < m_devicePorts.size(); ++type) {
    const int port = platform::GetPrivateProfileInt("DevicePort", ("Port " + std::to_string(type)).c_str(), 0,
                                                    m_strSettingsFile.c_str());
    m_devicePorts[type] = port > 0 && port <= 8999 ? port : 0;
  }
}

void CLumaroDlg::WriteDevicePorts() {
  for (std::size_t type = 0; type < m_devicePorts.size(); ++type)
    if (m_devicePorts[type] > 0)
      platform::WritePrivateProfileString("DevicePort", ("Port " + std::to_string(type)).c_str(),
                                          std::to_string(m_devicePorts[type]).c_str(), m_strSettingsFile.c_str());
}

void CLumaroDlg::WriteAddressHistory() {
  const char* file = m_strSettingsFile.c_str();
  platform::WritePrivateProfileString("IPAddrCount", "AddrCount", std::to_string(m_addressHistory.size()).c_str(), file);
  platform::WritePrivateProfileString("IPAddrCount", "CURSVR", std::to_string(m_nCurrentAddress).c_str(), file);
  for (std::size_t i = 0; i < m_addressHistory.size(); ++i)
    platform::WritePrivateProfileString("strIPAddr", ("Addr " + std::to_string(i)).c_str(),
                                        m_addressHistory[i].c_str(), file);
}

void CLumaroDlg::QueueTask(int task) { m_tasks.Push(task); }

void CLumaroDlg::DealTask(int task) {
  // Runs on the command thread. The device connections belong to the user-interface thread,
  // so the work is handed back to it.
  TraceMessage("[LUMARO] - CThreadCmdProcess: task %d.", task);
  if (task == kTaskStopSearchRemote) {
    QMetaObject::invokeMethod(this, [this] { DealStopSearchRemote(); }, Qt::QueuedConnection);
  } else if (task == kTaskStopAllVantor) {
    QMetaObject::invokeMethod(
        this, [this] { if (m_pVantor) m_pVantor->StopSearch(); }, Qt::QueuedConnection);
  }
}

void CLumaroDlg::UnInit() {
  if (m_bUnInitDone) return;
  m_bUnInitDone = true;
  TraceMessage("[LUMARO] - UnInit.\t[HEAD]");
  for (int i = 0; i < kVideoWindows; ++i) StopWindow(i);
  QueueTask(kTaskStopAllVantor);
  m_listResultRemote->clear();
  if (m_wndTimeStaff) {
    m_wndTimeStaff->hide();
    m_strRulerLabels.fill(std::string());
  }
  for (CPictureButton* button : m_channelButtons)
    if (button) button->hide();
  if (m_pRecorder) m_pRecorder->Close();
  KillTimer(kTimerClock);
  if (m_bInitialised) {
    WriteAddressHistory();
    WriteDevicePorts();
  }
  TraceMessage("[LUMARO] - UnInit.\t[END]");
}

void CLumaroDlg::CloseAndRelease(int result) {
  StopRenderTargets();
  done(result);
}

void CLumaroDlg::OnButtonExit() {
  QString question;
  const bool downloading = DownloadRunning();
  if (!TextOf("TEXT_STRING", downloading ? "IDS_DOWN_EXIT" : "IDS_QUEST_EXIT", question)) return;
  QString caption;
  TextOf("TEXT_STRING", "IDS_APP_TITLE", caption);
  if (platform::MessageBox(Handle(), ToSystemText(question), ToSystemText(caption),
                           platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
    return;
  platform::WritePrivateProfileString("UI_CONFIG", "THEMENAME", m_strThemeName.c_str(), m_strSettingsFile.c_str());
  UnInit();
  CloseAndRelease(QDialog::Accepted);
}

void CLumaroDlg::RequestStop(int signal) {
  platform::PostMessage(Handle(), UM_STOP_REQUEST, static_cast<platform::WPARAM>(signal), 0);
}

bool CLumaroDlg::DownloadRunning() const { return m_pVantor && !m_pVantor->CurrentDownload().empty(); }

bool CLumaroDlg::ConfirmLosingDownload() {
  if (!DownloadRunning()) return true;
  // One question at a time: a second close request while it is open changes nothing.
  if (m_bAskingExit) return false;
  QString question, caption;
  if (!TextOf("TEXT_STRING", "IDS_DOWN_EXIT", question)) return false;
  TextOf("TEXT_STRING", "IDS_APP_TITLE", caption);
  m_bAskingExit = true;
  const int answer = platform::MessageBox(Handle(), ToSystemText(question), ToSystemText(caption),
                                          platform::MB_YESNO | platform::MB_ICONQUESTION);
  m_bAskingExit = false;
  return answer == platform::IDYES && !m_bUnInitDone;
}

bool CLumaroDlg::OnCancel() {
  if (m_bUnInitDone) return true;
  // Cancel closes without the exit question, but a download would be cut off and lost: that
  // is always asked about, whichever way the program is being closed.
  if (!ConfirmLosingDownload()) return false;
  platform::WritePrivateProfileString("UI_CONFIG", "THEMENAME", m_strThemeName.c_str(), m_strSettingsFile.c_str());
  UnInit();
  CloseAndRelease(QDialog::Rejected);
  return true;
}

void CLumaroDlg::OnOK() {
  // Enter never closes the dialog: it toggles full size of the selected window.
  platform::SendMessage(Handle(), UM_SELECT_WINDOW, static_cast<platform::WPARAM>(m_nSelectedWindow), 2);
}

void CLumaroDlg::reject() { OnCancel(); }

void CLumaroDlg::accept() { OnOK(); }

void CLumaroDlg::closeEvent(QCloseEvent* event) {
  if (!m_bUnInitDone && !OnCancel()) {
    event->ignore();
    return;
  }
  event->accept();
}

void CLumaroDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    OnOK();
    return;
  }
  // In full screen Esc is the way back to the dialog, never the way out of the program.
  if (event->key() == Qt::Key_Escape && IsFullScreen()) {
    SetFullScreen(false);
    return;
  }
  QDialog::keyPressEvent(event);
}

platform::LRESULT CLumaroDlg::HandleMessage(const platform::Message& message) {
  switch (message.message) {
    case platform::WM_TIMER:
      if (message.wParam == kTimerClock) OnClockTimer();
      else if (message.wParam >= kTimerPositionFirst && message.wParam <= kTimerPositionLast)
        OnPositionTimer(static_cast<int>(message.wParam - kTimerPositionFirst));
      else if (platform::LRESULT r = 0; m_pVantor) m_pVantor->HandleMessage(message, r);
      return 0;
    case UM_FILE_END:
      // The engine names the window in wParam; a stream's end names it in lParam.
      if (message.wParam == 0xFFFF) StopWindow(static_cast<int>(message.lParam));
      else OnFileEnd(static_cast<int>(message.wParam));
      return 0;
    case UM_SNAPSHOT_DONE:
      OnSnapshotDone(message.wParam != 0, reinterpret_cast<std::string*>(message.lParam));
      return 0;
    case UM_SELECT_WINDOW:
      // lParam 2 (Enter): the pager toggles full size of the window first.
      if (message.lParam == 2 && m_pPager) {
        m_pPager->SelectWindow(static_cast<int>(message.wParam));
        m_pPager->TriggerFullSize();
      }
      SelectWindow(static_cast<int>(message.wParam));
      SoundFollowsSelection(m_nSelectedWindow);
      return 0;
    case UM_CHANNEL_EVENT: {
      const int channel = static_cast<int>(message.wParam);
      if (channel >= 1 && channel <= kChannels && m_ChannelState[static_cast<std::size_t>(channel - 1)].nWindow >= 0)
        SelectWindow(m_ChannelState[static_cast<std::size_t>(channel - 1)].nWindow);
      return 0;
    }
    case UM_RULER_SEEK:
      OnRulerSeek(static_cast<int>(message.wParam));
      return 0;
    case UM_RULER_SCROLL:
      OnRulerScroll(static_cast<int>(message.wParam));
      return 0;
    case UM_RESERVED_479:
      return 0;
    case UM_SDK_PROGRESS:
      OnSdkProgress();
      return 0;
    case UM_STOP_REQUEST:
      if (m_bUnInitDone) return 0;
      TraceMessage("[LUMARO] - stop requested by signal %d", static_cast<int>(message.wParam));
      OnCancel();
      return 0;
    default: {
      platform::LRESULT r = 0;
      if (m_pVantor && m_pVantor->HandleMessage(message, r)) return r;
      if (message.message >= UM_FIRST && message.message <= UM_LAST)
        TraceMessage("[LUMARO] - message 0x%X not handled here.", message.message);
      return 0;
    }
  }
}

bool CLumaroDlg::IsFullScreen() const { return m_pPager && m_pPager->IsFullScreen(); }

void CLumaroDlg::SetFullScreen(bool on) {
  if (!m_pPager || on == IsFullScreen()) return;
  if (on) {
    m_hiddenForFullScreen.clear();
    for (QObject* child : children()) {
      auto* widget = qobject_cast<QWidget*>(child);
      if (!widget || widget == m_pPager || widget->isWindow() || widget->isHidden()) continue;
      m_hiddenForFullScreen.push_back(widget);
      widget->hide();
    }
    KillTimer(kTimerClock);
    for (unsigned id = kTimerPositionFirst; id <= kTimerPositionLast; ++id) KillTimer(id);
    m_pPager->SetFullScreen(true, QRect(0, 0, width(), height()));
    return;
  }
  m_pPager->SetFullScreen(false, {});
  for (QWidget* widget : m_hiddenForFullScreen) widget->show();
  m_hiddenForFullScreen.clear();
  SetTimer(kTimerClock, kClockPeriodMs);
  for (int i = 0; i < kVideoWindows; ++i)
    if (m_VideoWndState[static_cast<std::size_t>(i)].IsActive())
      SetTimer(kTimerPositionFirst + static_cast<unsigned>(i), 1000);
  ApplyViewMode();
  PlaceChannelButtons();
}

void CLumaroDlg::OnClockTimer() {
  if (auto it = m_labels.find("STC_CLOCKDATE"); it != m_labels.end())
    it->second->SetText(QString::fromStdString(platform::FormatLocalTimeNow("%y-%m-%d")));
  if (auto it = m_labels.find("STC_CLOCKTIME"); it != m_labels.end())
    it->second->SetText(QString::fromStdString(platform::FormatLocalTimeNow("%H:%M:%S")));
}

void CLumaroDlg::paintEvent(QPaintEvent*) {
  if (!m_bThemeLoaded || !m_bBackPlaced) return;
  for (const QImage& strip : m_theme.backgrounds)
    if (strip.isNull()) return;
  QPainter painter(this);
  for (std::size_t i = 0; i < kBackgroundSections.size(); ++i)
    painter.drawImage(m_backPositions[i].x, m_backPositions[i].y, m_theme.backgrounds[i]);
}

void CLumaroDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // The dialog always covers the whole screen (the mode in effect).
  if (isMinimized()) return;
  const platform::DisplayMode mode = platform::CurrentDisplayMode();
  if (mode.width > 0 && mode.height > 0 && (width() != mode.width || height() != mode.height))
    setGeometry(0, 0, mode.width, mode.height);
}

void CLumaroDlg::contextMenuEvent(QContextMenuEvent* event) {
  // A right button on the channel buttons' drag area releases channels; it opens no menu.
  if (m_pChannelDrag && m_pChannelDrag->DragArea().contains(event->pos())) return;
  QMenu menu(this);
  FillContextMenu(menu);
  menu.exec(event->globalPos());
}

void CLumaroDlg::FillContextMenu(QMenu& menu) {
  // The window menu's About entry, then the theme and language commands, offered on the
  // dialog's background. The About entry is there only when the language file names it.
  menu.setObjectName(QStringLiteral("SkinMenu"));
  char about[kMaxConfigText + 1] = "";
  platform::GetPrivateProfileString("TEXT_STRING", "IDS_ABOUTBOX", "", about, sizeof about, m_strLanguageFile.c_str());
  if (about[0] != '\0') {
    QAction* action = menu.addAction(FromSystemText(about));
    action->setObjectName(QStringLiteral("About"));
    connect(action, &QAction::triggered, this, [this] { OnSysCommand(kCommandAbout); });
    menu.addSeparator();
  }
  for (std::size_t i = 0; i < m_themeList.size(); ++i) {
    QAction* action = menu.addAction(FromSystemText(m_themeList[i]));
    action->setCheckable(true);
    action->setChecked(m_themeList[i] == m_strThemeName);
    const int command = kCommandThemeFirst + static_cast<int>(i);
    connect(action, &QAction::triggered, this, [this, command] { OnThemeCommand(command); });
  }
  menu.addSeparator();
  for (std::size_t i = 0; i < m_languageList.size(); ++i) {
    QAction* action = menu.addAction(FromSystemText(m_languageList[i].caption));
    action->setCheckable(true);
    action->setChecked(m_languageList[i].name == m_strLanguage);
    const int command = kCommandLanguageFirst + static_cast<int>(i);
    connect(action, &QAction::triggered, this, [this, command] { OnLanguageCommand(command); });
  }
}

void CLumaroDlg::OnSysCommand(int command) {
  if (command != kCommandAbout) return;
  QDialog box(this);
  box.setObjectName(QStringLiteral("IDD_ABOUTBOX"));
  QString title;
  if (!TextOf("TEXT_STRING", "IDS_APP_TITLE", title)) return;
  char about[kMaxConfigText + 1] = "";
  platform::GetPrivateProfileString("TEXT_STRING", "IDS_ABOUTBOX", "", about, sizeof about, m_strLanguageFile.c_str());
  box.setWindowTitle(FromSystemText(about).remove(QLatin1Char('.')).trimmed());
  auto* layout = new QHBoxLayout(&box);
  auto* icon = new QLabel(&box);
  icon->setPixmap(QPixmap(QStringLiteral(":/lumaro/lumaro.xpm")));
  layout->addWidget(icon);
  auto* text = new QLabel(QStringLiteral("%1\nLumaro %2").arg(title, QStringLiteral(SUITE_VERSION)), &box);
  text->setObjectName(QStringLiteral("AboutText"));
  layout->addWidget(text);
  // The toolkit's own OK, as on the program's file dialogs.
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, Qt::Vertical, &box);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  layout->addWidget(buttons);
  if (m_aboutRunner) m_aboutRunner(box);
  else box.exec();
}

}  // namespace lumaro
