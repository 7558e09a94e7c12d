#include "live_client/core/CKorvelDlg.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTreeWidget>

#include "common/TraceMessage.h"
#include "decoder_library/Halvane.h"
#include "camera_link/Camlink.h"
#include "device_sdk/Ferrow/Ferrow.h"
#include "device_sdk/Glimmet/Glimmet.h"
#include "device_sdk/Orvane/Orvane.h"
#include "live_client/core/CYuntaiButton.h"
#include "live_client/core/KorvelColors.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelRecording.h"
#include "live_client/core/KorvelResources.h"
#include "live_client/core/KorvelStreamFit.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/core/PageInfo.h"
#include "live_client/settings/CRecordDlg.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/skin/CBmpButton.h"
#include "live_client/skin/CCheckButton.h"
#include "live_client/skin/MBmpProgress.h"
#include "live_client/skin/MHollowStatic.h"
#include "live_client/skin/MainControls.h"
#include "live_client/skin/SkinApply.h"
#include "common/qt/SystemText.h"
#include "live_client/skin/TextFormat.h"
#include "live_client/storage/CRecordDrives.h"
#include "live_client/storage/CThreadDelRec.h"
#include "live_client/storage/MDiskManager.h"
#include "platform/Display.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/TimeText.h"

using namespace korvel;

namespace {

// Size of the first picture each render port expects (CIF).
constexpr int kRenderWidth = 352;
constexpr int kRenderHeight = 288;
// Local port and flags the media-transmit library is started with.
constexpr int kFerrowLocalPort = 6000;
constexpr int kFerrowFlags = 1;


}  // namespace

CKorvelDlg::CKorvelDlg(std::string clientFolder, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Window),
      m_pump(*this),
      m_strClientFolder(clientFolder.empty() ? platform::ProgramFolder() : std::move(clientFolder)) {
  g_pMainDlg = this;
  g_bClosing = 0;
  g_nCurWnd = -1;
  g_nPrevWnd = -1;
  setObjectName(QStringLiteral("CKorvelDlg"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  for (auto& state : m_nRecStatus) state = kRecButtonsOff;
  SetMessageHandler([this](const platform::Message& message) { return OnMessage(message); });
  // The drive set is fixed for the dialog's life; the disk page edits the same settings under
  // the dialog's lock, so the watchdog takes that lock too.
  m_pDiskManager = std::make_unique<MDiskManager>();
  m_pRecordDrives = std::make_unique<CRecordDrives>(*m_pDiskManager, *this, m_strDiskLst,
                                                    m_bNoDiskSpace, &m_csDialog);
  m_pRecording = std::make_unique<CKorvelRecording>(*this, *m_pRecordDrives, ClientRecordingTally());
  m_maintenanceFactory = MakeMaintenanceThreadFactory(*m_pRecordDrives, *m_pRecording);
  CreateControls();
  CreateContextMenu();
}

CKorvelDlg::~CKorvelDlg() {
  PostNcDestroy();
  m_pump.Detach();
  CloseWindow();
  if (g_pMainDlg == this) g_pMainDlg = nullptr;
}

void CKorvelDlg::OnMessageQueued() { m_pump.Schedule(); }

void CKorvelDlg::resizeEvent(QResizeEvent* event) {
  m_nWidth = width();
  m_nHeight = height();
  QDialog::resizeEvent(event);
}

// --- Controls -----------------------------------------------------------------------------

void CKorvelDlg::CreateControls() {
  for (const MainControl& control : MainDialogControls()) {
    const QString name = QString::fromLatin1(control.name);
    QWidget* widget = nullptr;
    switch (control.kind) {
      case MainControlKind::PtzButton: {
        auto* button = new CYuntaiButton(this, control.id, this);
        button->setText(name);
        widget = button;
        break;
      }
      case MainControlKind::PictureButton:
      case MainControlKind::TextButton: {
        auto* button = new CBmpButton(this, control.id);
        button->setText(name);
        widget = button;
        break;
      }
      case MainControlKind::CheckButton: {
        auto* check = new CCheckButton(this, control.id);
        check->setCheckable(true);
        check->setText(name);
        widget = check;
        break;
      }
      case MainControlKind::Label: {
        auto* label = new MHollowStatic(this);
        label->setText(name);
        widget = label;
        if (name == QLatin1String("STC_PAGEINFO")) m_pPageInfo = label;
        else if (name == QLatin1String("STC_RUNDAYS")) m_pRunDays = label;
        else if (name == QLatin1String("STC_CLOCK")) m_pClock = label;
        else if (name == QLatin1String("STC_USEDISK")) m_pUseDisk = label;
        break;
      }
      case MainControlKind::Logo:
        widget = new QLabel(this);
        break;
      case MainControlKind::Tree:
        m_pTree = new QTreeWidget(this);
        m_pTree->setHeaderHidden(true);
        m_pTree->setIconSize(QSize(16, 16));
        // The tree is narrow: a small indent leaves room for the window numbers.
        m_pTree->setIndentation(10);
        m_pTree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget = m_pTree;
        break;
      case MainControlKind::Progress:
        m_pDiskBar = new MBmpProgress(this);
        m_pDiskBar->SetRange(0, 100);
        widget = m_pDiskBar;
        break;
      case MainControlKind::None:
        break;
    }
    if (!widget) continue;
    widget->setObjectName(name);
    m_otherControls.push_back(widget);
    if (control.id != 0) m_controlById[control.id] = widget;
    // PTZ buttons send their own message (press and release); the others are commands.
    if (auto* button = qobject_cast<QAbstractButton*>(widget);
        button && control.kind != MainControlKind::PtzButton) {
      const int id = control.id;
      connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
    }
  }
  if (m_pTree) {
    connect(m_pTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
      if (item && item->childCount() == 0 && item->parent())
        SelectWindow(item->data(0, Qt::UserRole).toInt());
    });
    connect(m_pTree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
      if (item && item->childCount() == 0 && item->parent())
        OnTreeDoubleClick(item->data(0, Qt::UserRole).toInt());
    });
    // A right click on a window's entry selects that window and opens the window menu there
    // (connect, disconnect, record, ...), the mouse's way to what the Menu key opens; a right
    // click in a video window stays full screen.
    m_pTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
      if (!m_pContextMenu) return;
      QTreeWidgetItem* item = m_pTree->itemAt(at);
      if (item && item->childCount() == 0 && item->parent()) m_pTree->setCurrentItem(item);
      m_pContextMenu->popup(m_pTree->viewport()->mapToGlobal(at));
    });
  }
}

void CKorvelDlg::CreateContextMenu() {
  struct MenuEntry {
    int id;
    const char* key;  // language key of the entry's text
  };
  static constexpr MenuEntry kEntries[] = {
      {ID_MENU_CONNECT, "IDS_MENU_CONNECT"},      {ID_MENU_DISCONNECT, "IDS_MENU_DISCONNECT"},
      {ID_MENU_STARTREC, "IDS_MENU_STARTREC"},    {ID_MENU_STOPREC, "IDS_MENU_STOPREC"},
      {0, nullptr},
      {ID_MENU_LAYOUT_1, "IDS_MENU_LAYOUT_1"},    {ID_MENU_LAYOUT_4, "IDS_MENU_LAYOUT_4"},
      {ID_MENU_LAYOUT_9, "IDS_MENU_LAYOUT_9"},    {ID_MENU_LAYOUT_16, "IDS_MENU_LAYOUT_16"},
      {ID_MENU_LAYOUT_25, "IDS_MENU_LAYOUT_25"},  {0, nullptr},
      {ID_MENU_PAGEUP, "IDS_MENU_PAGEUP"},        {ID_MENU_PAGEDOWN, "IDS_MENU_PAGEDOWN"},
      {ID_MENU_PAGELEFT, "IDS_MENU_PAGELEFT"},    {ID_MENU_PAGERIGHT, "IDS_MENU_PAGERIGHT"},
      {0, nullptr},
      {ID_MENU_SNAP, "IDS_MENU_SNAP"},           {ID_MENU_PRESETS, "IDS_MENU_PRESETS"},
  };
  m_pContextMenu = new QMenu(this);
  m_pContextMenu->setObjectName(QStringLiteral("ContextMenu"));
  for (const MenuEntry& entry : kEntries) {
    if (!entry.key) {
      m_pContextMenu->addSeparator();
      continue;
    }
    // Labelled from the language file once it is loaded (LabelContextMenu).
    QAction* action = m_pContextMenu->addAction(QString::fromLatin1(entry.key));
    action->setObjectName(QStringLiteral("Menu%1").arg(entry.id));
    action->setProperty("languageKey", QString::fromLatin1(entry.key));
    const int id = entry.id;
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
  }
}

void CKorvelDlg::LabelContextMenu() {
  if (!m_pContextMenu) return;
  for (QAction* action : m_pContextMenu->actions()) {
    const QString key = action->property("languageKey").toString();
    if (key.isEmpty()) continue;
    const std::string text = m_skin.Text(key.toLatin1().constData());
    if (!text.empty()) action->setText(FromSystemText(text));
  }
}

void CKorvelDlg::contextMenuEvent(QContextMenuEvent* event) {
  // Right button in a video window is full screen; the menu opens from the keyboard.
  if (m_pContextMenu && event->reason() == QContextMenuEvent::Keyboard)
    m_pContextMenu->popup(mapToGlobal(QPoint(width() / 2, height() / 2)));
}

std::string CKorvelDlg::LanguageText(const char* key) const { return m_skin.Text(key); }

QSize CKorvelDlg::ScreenSize() const {
  const platform::DisplayMode mode = platform::CurrentDisplayMode();
  if (mode.width > 0 && mode.height > 0) return QSize(mode.width, mode.height);
  if (QScreen* screen = QGuiApplication::primaryScreen()) return screen->size();
  return QSize(1024, 768);
}

void CKorvelDlg::ShowOtherControls(bool show) {
  for (QWidget* control : m_otherControls) control->setVisible(show);
  update();
}

// --- Start --------------------------------------------------------------------------------

int CKorvelDlg::DoModal() {
  int result = QDialog::Rejected;
  if (OnInitDialog()) {
    show();
    result = exec();
  }
  hide();
  PostNcDestroy();
  return result;
}

bool CKorvelDlg::OnInitDialog() {
  setWindowIcon(KorvelResources::ProgramIcon());
  const QSize screen = ScreenSize();
  setGeometry(0, 0, screen.width(), screen.height());

  BuildDiskList();
  if (!InitProper()) {
    EndDialog(QDialog::Rejected);
    return false;
  }
  BuildTree();
  ShowStatusLine();
  if (m_maintenanceFactory) {
    m_pThreadDelRec = m_maintenanceFactory();
    if (m_pThreadDelRec) m_pThreadDelRec->Resume();
  }
  SizeLoginTable(g_LoginTable, kInitialLoginRecords);
  m_bInitialised = true;
  return true;
}

void CKorvelDlg::BuildDiskList() {
  // Every fixed drive except the system drive may take recordings.
  m_pRecordDrives->BuildDiskList();
}

bool CKorvelDlg::InitProper() {
  LoadConfigFile(m_strClientFolder, g_PageInfo, *this);
  m_bConfigLoaded = true;

  const KorvelChoice choice = ReadSettingIni(m_strClientFolder);
  m_bFitStream = ReadFitStreamToWindow(m_strClientFolder);
  m_strLanguage = choice.language;
  m_strSkin = choice.skin;

  m_skin.InitThemeList(m_strClientFolder);
  if (!m_skin.LoadTheme(m_strSkin, g_nResolution)) return false;
  if (!m_skin.LoadLanguageList()) return false;
  if (!m_skin.LoadLanguage(m_strLanguage)) return false;

  CreateGridAndRenderPorts();
  StartSdks();

  RelabelControls(this, m_skin);
  LabelContextMenu();
  if (!PlaceAndSkinControls(this, m_skin)) return false;
  const SkinRect& grid = m_skin.VideoPosition();
  m_pWndManage->SetRect(QRect(grid.x, grid.y, grid.cx, grid.cy));

  if (auto* logo = findChild<QLabel*>(QStringLiteral("STC_LOGO"))) ShowLogo(logo, m_skin);
  CreateKorvelPopups(*this);

  AssignPageIndexes(g_PageInfo);
  StartWorkers();
  SetTimer(TIMER_STATUS, kStatusPeriodMs);
  SetTimer(TIMER_BLINK, kBlinkPeriodMs);
  ApplyRecButtons(g_nCurWnd);
  SetPtzCodes();
  return true;
}

void CKorvelDlg::CreateGridAndRenderPorts() {
  m_pWndManage = std::make_unique<CWndManage>(*this);
  m_pWndManage->Create(kVideoWindowCount,
                       QRect(QPoint(kInitialGridLeft, kInitialGridTop),
                             QPoint(kInitialGridRight - 1, kInitialGridBottom - 1)),
                       this, m_bFrameStyle);
  for (int i = 0; i < m_pWndManage->Count(); ++i) {
    CVideoDlg* window = m_pWndManage->Window(i);
    connect(window, &CVideoDlg::selectRequested, this, &CKorvelDlg::SelectWindow);
    connect(window, &CVideoDlg::doubleClicked, this, &CKorvelDlg::OnWindowDoubleClick);
    connect(window, &CVideoDlg::rightClicked, this, &CKorvelDlg::OnWindowRightClick);
  }

  GL_InitLib(2, 2);
  for (int i = 0; i < m_pWndManage->Count(); ++i)
    GL_CreateVender(i, 0, m_pWndManage->Window(i)->SurfaceHandle(), kRenderWidth, kRenderHeight);
  GL_CreateAudioDevice(Handle());
  m_bRenderStarted = true;
  m_nBlink = 0;
  g_bMute = 0;
  g_bSoundStarted = 0;

  setWindowTitle(FromSystemText(m_skin.Text("IDS_MIN_CAPTION")));
  AddMainTooltips(m_tooltips, this, m_skin);
  ShowSoundState();
  if (m_pTree) {
    QPalette palette = m_pTree->palette();
    palette.setColor(QPalette::Base, ColorRef(kTreeBackColor));
    m_pTree->setPalette(palette);
    m_pTree->setAutoFillBackground(true);
  }
  ShowPageCaption();
}

void CKorvelDlg::StartSdks() {
  const std::string failFormat = m_skin.Text("IDS_INITSDK_FAIL");
  if (ORVANE_startup() != 0) {
    // Without the DVR SDK nothing else is started; the client runs without live video.
    platform::MessageBox(Handle(), FormatText(failFormat, {std::string("ORVANE_startup")}),
                         "", platform::MB_OK);
    return;
  }
  if (FRWLoadLibrary(kFerrowLocalPort, kFerrowFlags) == 0)
    platform::MessageBox(Handle(), FormatText(failFormat, {std::string("FRWLoadLibrary")}), "",
                         platform::MB_OK);
  if (CMLLoadLibrary() == 0)
    platform::MessageBox(Handle(), FormatText(failFormat, {std::string("CMLLoadLibrary")}), "",
                         platform::MB_OK);
  if (DEC_LoadLibrary() == 0)
    platform::MessageBox(Handle(), FormatText(failFormat, {std::string("DEC_LoadLibrary")}), "",
                         platform::MB_OK);
  g_WindowBuffers.Allocate();
}

void CKorvelDlg::StartWorkers() {
  for (int i = 0; i < kVideoWindowCount; ++i) {
    m_hEvtConnect[i] = std::make_unique<platform::Event>(platform::EventReset::Auto, false);
    m_hEvtDisconnect[i] = std::make_unique<platform::Event>(platform::EventReset::Auto, false);
    m_hEvtStartRec[i] = std::make_unique<platform::Event>(platform::EventReset::Auto, false);
    m_hEvtStopRec[i] = std::make_unique<platform::Event>(platform::EventReset::Auto, false);
    m_hEvtIdle[i] = std::make_unique<platform::Event>(platform::EventReset::Manual, true);
    std::weak_ptr<KorvelLiveLink> link = m_pLiveLink;
    ConnectCommandHandler handler;
    if (m_pLiveLink) {
      handler = [link](int window, ConnectCommand command) {
        if (auto live = link.lock()) live->RunCommand(window, command);
      };
    }
    m_pThread[i] = std::make_unique<CThreadSingleConnect>(
        i, m_hEvtConnect[i].get(), m_hEvtDisconnect[i].get(), m_hEvtStartRec[i].get(),
        m_hEvtStopRec[i].get(), m_hEvtIdle[i].get(), std::move(handler));
    m_pThread[i]->Resume();
  }
  if (m_pLiveLink) m_pStreamFitter = std::make_unique<CStreamFitter>(*this);
}

void CKorvelDlg::SignalCommand(int w, ConnectCommand command) {
  if (w < 0 || w >= kVideoWindowCount || !m_hEvtIdle[w]) return;
  platform::Event* event = nullptr;
  switch (command) {
    case ConnectCommand::Connect: event = m_hEvtConnect[w].get(); break;
    case ConnectCommand::Disconnect: event = m_hEvtDisconnect[w].get(); break;
    case ConnectCommand::StartRecord: event = m_hEvtStartRec[w].get(); break;
    case ConnectCommand::StopRecord: event = m_hEvtStopRec[w].get(); break;
    case ConnectCommand::None: return;
  }
  // The idle event is cleared here, before the worker wakes, so an exit check in between
  // already sees the window busy.
  SetRecStatus(w, 1);
  m_hEvtIdle[w]->Reset();
  event->Set();
  if (command == ConnectCommand::Connect || command == ConnectCommand::Disconnect)
    SetTreeImage(w, kTreeImagePending);
}

QWidget* CKorvelDlg::ControlById(int id) const {
  const auto it = m_controlById.find(id);
  return it == m_controlById.end() ? nullptr : it->second;
}

void CKorvelDlg::PostLayoutRefresh() { Post({kApplyLayoutMessage, 0, 0}); }

void CKorvelDlg::RequestStop(int signal) { Post({kStopRequestMessage, static_cast<platform::WPARAM>(signal), 0}); }

void CKorvelDlg::ShowPageCaption() {
  if (!m_pPageInfo) return;
  m_pPageInfo->SetTextColor(Qt::white);
  m_pPageInfo->SetSystemText(FormatText(m_skin.Text("IDS_PAGE_DISPLAY"), {m_nCurPage + 1}));
}

// --- Messages and timers ------------------------------------------------------------------

platform::LRESULT CKorvelDlg::OnMessage(const platform::Message& message) {
  const int w = static_cast<int>(message.wParam);
  switch (message.message) {
    case platform::WM_TIMER:
      OnTimer(static_cast<unsigned>(message.wParam));
      return 0;
    case WM_KORVEL_PTZ:
      if (m_pLiveLink) m_pLiveLink->Ptz(message.wParam, message.lParam);
      return 0;
    case WM_KORVEL_WNDSTATUS:
      if (m_pWndManage) m_pWndManage->DisplayStatus(w);
      return 0;
    case WM_KORVEL_TREEIMAGE:
      SetTreeImage(w, static_cast<int>(message.lParam));
      return 0;
    case WM_KORVEL_RECSTATUS:
      SetRecStatus(w, static_cast<int>(message.lParam));
      return 0;
    case WM_KORVEL_OPENSNAPDIR:
      OpenSnapshotFolder(reinterpret_cast<const char*>(message.wParam));
      return 0;
    case WM_KORVEL_ERRREPORT:
      // The error report's dialog shows these; until it opens they are kept in order.
      TraceMessage("[KORVEL] - error report: wParam 0x%lx, lParam 0x%lx",
                   static_cast<unsigned long>(message.wParam),
                   static_cast<unsigned long>(message.lParam));
      m_errorReports.push_back({message.wParam, message.lParam});
      ForwardErrReport(*this, message);
      return 0;
    case kApplyLayoutMessage:
      if (m_pWndManage) m_pWndManage->SetLayout(m_nLayout);
      return 0;
    case kShowMessagesMessage:
      ShowQueuedMessages();
      return 0;
    case kStopRequestMessage:
      if (m_bExitWaiting) return 0;
      TraceMessage("[KORVEL] - stop requested by signal %d", w);
      m_bExitWaiting = true;
      platform::CloseMessageBoxes();
      ExitWait();
      return 0;
    case kApplyRecordMarkMessage:
      // Posted by a worker: still meant for the page it was set for.
      if (w / kSlotsPerPage == m_nCurPage)
        ApplyRecordMark(w % kSlotsPerPage, static_cast<int>(message.lParam));
      return 0;
    default:
      return 0;
  }
}

void CKorvelDlg::OnTimer(unsigned id) {
  switch (id) {
    case TIMER_STATUS:
      ShowStatusLine();
      FitCameraStreams();
      break;
    case TIMER_BLINK:
      BlinkRecordMarks();
      break;
    case TIMER_EXIT_WAIT:
      ExitWait();
      break;
    default:
      break;
  }
}

void CKorvelDlg::BlinkRecordMarks() {
  if (!m_pWndManage) return;
  // Marks are shown three seconds and hidden one.
  ++m_nBlink;
  const bool show = m_nBlink % 4 != 0;
  if (!show) m_nBlink = 0;
  for (int i = 0; i < m_pWndManage->Count(); ++i) {
    CVideoDlg* window = m_pWndManage->Window(i);
    window->RecordMark()->setVisible(show && window->FrameStyle() == 1);
  }
}

void CKorvelDlg::BlankWindow(int w) {
  if (w < 0 || w >= kVideoWindowCount || !m_pWndManage) return;
  CVideoDlg* window = m_pWndManage->Window(w);
  if (!window) return;
  // Bound anew, the render port forgets its last picture, which a change of the record mark
  // would otherwise draw again; the mark itself stays.
  GL_CreateVender(w, 0, window->SurfaceHandle(), kRenderWidth, kRenderHeight);
  GL_SetOsdStatus(w, m_nOsdStatus[w].load());
  window->Surface()->ClearPicture();
}

void CKorvelDlg::ShowMessageOnUi(const std::string& text) {
  if (IsOwnerThread()) {
    platform::MessageBox(Handle(), text, "Korvel", platform::MB_OK);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(m_messagesLock);
    m_queuedMessages.push_back(text);
  }
  Post({kShowMessagesMessage, 0, 0});
}

void CKorvelDlg::ShowQueuedMessages() {
  for (;;) {
    std::string text;
    {
      std::lock_guard<std::mutex> guard(m_messagesLock);
      if (m_queuedMessages.empty()) return;
      text = std::move(m_queuedMessages.front());
      m_queuedMessages.pop_front();
    }
    platform::MessageBox(Handle(), text, "Korvel", platform::MB_OK);
  }
}

void CKorvelDlg::OpenSnapshotFolder(const char* path) {
  if (path) ::OpenSnapshotFolder(path);
}

void CKorvelDlg::StartPlayback() {
  const std::string commandLine =
      "\"" + m_strClientFolder + "\\Lumaro.exe\" -pri=4294967295 -s=0";
  platform::StartProgram(commandLine, platform::SW_SHOW);
}

// --- Keys and exit ------------------------------------------------------------------------

void CKorvelDlg::accept() {
  // Enter never closes the dialog.
  TraceMessage("[KORVEL] - CKorvelDlg::OnOK");
}

void CKorvelDlg::reject() { OnCancel(); }

void CKorvelDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
  OnCancel();
}

void CKorvelDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    event->accept();  // help: handled, nothing to show
    return;
  }
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    accept();
    return;
  }
  // Esc in full screen leaves full screen, as in every video program; the question whether to
  // quit stays for Esc in the normal view.
  if (event->key() == Qt::Key_Escape && m_bFullScreen) {
    event->accept();
    ToggleFullScreen();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CKorvelDlg::OnCancel() {
  if (m_bExitWaiting) return;  // already confirmed; the exit wait is running
  if (m_skin.ShowMessage("IDS_QUEST_EXIT", platform::MB_YESNO | platform::MB_ICONQUESTION,
                         Handle()) != platform::IDYES)
    return;
  TraceMessage("[KORVEL] - OnCancel");
  m_bExitWaiting = true;
  // A worker that asks something while the program waits for it to finish gets the default.
  platform::CloseMessageBoxes();
  ExitWait();
}

void CKorvelDlg::ExitWait() {
  std::vector<platform::Waitable*> idle;
  for (auto& event : m_hEvtIdle)
    if (event) idle.push_back(event.get());
  if (!idle.empty() &&
      platform::WaitForAll(idle, kExitPollMs) != platform::WAIT_OBJECT_0) {
    // A worker is still busy: ask again later rather than block the UI thread, so the
    // messages of the busy worker keep being served.
    SetTimer(TIMER_EXIT_WAIT, kExitRetryMs);
    return;
  }
  KillTimer(TIMER_EXIT_WAIT);
  for (int i = 0; i < kVideoWindowCount; ++i) {
    if (m_pThread[i]) {
      TraceMessage("[KORVEL] - Delete thread : %d", i);
      m_pThread[i].reset();
    }
    m_hEvtConnect[i].reset();
    m_hEvtDisconnect[i].reset();
    m_hEvtStartRec[i].reset();
    m_hEvtStopRec[i].reset();
    m_hEvtIdle[i].reset();
  }
  m_pThreadDelRec.reset();
  m_pStreamFitter.reset();
  // Every capture file is closed (and so indexed) before the connections go, including those
  // of windows whose connection was lost while they recorded.
  m_pRecording->StopAllRecord();
  if (m_pLiveLink) m_pLiveLink->DisconnectAll();
  EndDialog(QDialog::Rejected);
}

void CKorvelDlg::EndDialog(int result) {
  KillTimer(TIMER_STATUS);
  KillTimer(TIMER_BLINK);
  done(result);
  hide();
}

// --- Teardown -----------------------------------------------------------------------------

void CKorvelDlg::PostNcDestroy() {
  if (m_bTornDown) return;
  m_bTornDown = true;
  KillTimer(TIMER_STATUS);
  KillTimer(TIMER_BLINK);
  KillTimer(TIMER_EXIT_WAIT);
  // Workers still running (the dialog ended without the exit wait) stop before anything they
  // use goes away.
  for (int i = 0; i < kVideoWindowCount; ++i) m_pThread[i].reset();
  m_pThreadDelRec.reset();
  m_pStreamFitter.reset();
  if (m_bInitialised) m_pRecording->StopAllRecord();

  TraceMessage("[KORVEL] - ---PostNcDestroy()");
  g_bClosing = 1;
  TraceMessage("[KORVEL] - login count: %d", static_cast<int>(g_LoginTable.size()));
  while (!g_LoginTable.empty()) {
    CLoginInfo& login = *g_LoginTable.front();
    if (login.hDvr != 0) {
      if (login.nKind == kKindAlder) {
        FRWDestroyHandle(login.hDvr);
      } else if (login.nKind == kKindCamera) {
        CMLDestroyHandle(login.hDvr);
      } else {
        ORVANE_logoutServer(login.hDvr);
        ORVANE_destroyDVR(login.hDvr);
      }
    }
    g_LoginTable.erase(g_LoginTable.begin());
  }
  CMLFreeLibrary();
  if (ORVANE_cleanup() != 0) {
    TraceMessage("[KORVEL] - ORVANE_cleanup() error.");
    m_skin.ShowMessage("IDS_UNINIT_FAIL", platform::MB_OK, nullptr);
  }
  delete m_pContextMenu;
  m_pContextMenu = nullptr;

  if (m_bConfigLoaded) SaveConfigToFile(m_strClientFolder, g_PageInfo, *this);
  if (m_bRenderStarted) {
    for (int i = 0; i < kVideoWindowCount; ++i) GL_DestroyVender(i);
    GL_UnInitLib();
    m_bRenderStarted = false;
  }
  DEC_FreeLibrary();
  FRWFreeLibrary();
  g_WindowBuffers.Free();
  TraceMessage(
      "[KORVEL] - -------------------------------------- OVER "
      "---------------------------------------------");
}
