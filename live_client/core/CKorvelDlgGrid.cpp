// The main dialog's grid, page and status-line work: layout commands, selection, display
// pages, the camera tree, the record buttons and marks, and the status line.

#include <QAbstractButton>
#include <QPainter>
#include <QTimer>
#include <QTreeWidget>

#include "camera_link/Camlink.h"
#include "common/TraceMessage.h"
#include "common/qt/WaitCursor.h"
#include "device_sdk/Glimmet/Glimmet.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/CPresetDlg.h"
#include "live_client/core/CYuntaiButton.h"
#include "live_client/core/KorvelColors.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/KorvelResources.h"
#include "live_client/core/KorvelStreamFit.h"
#include "live_client/core/KorvelSnapshot.h"
#include "live_client/core/PageInfo.h"
#include "live_client/core/PtzCodes.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/skin/MBmpProgress.h"
#include "live_client/skin/MHollowStatic.h"
#include "common/qt/SystemText.h"
#include "live_client/skin/TextFormat.h"
#include "live_client/storage/CRecordDrives.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Tick.h"

using namespace korvel;

namespace {

bool ValidWindow(int w) { return w >= 0 && w < kVideoWindowCount; }

// A window item's text without the camera profile that may follow it.
constexpr int kTreeBaseTextRole = Qt::UserRole + 2;

}  // namespace

void CKorvelDlg::OnCommand(int id) {
  switch (id) {
    case IDC_BTN_LAYOUT_1: case ID_MENU_LAYOUT_1: ChangeLayout(1); break;
    case IDC_BTN_LAYOUT_4: case ID_MENU_LAYOUT_4: ChangeLayout(2); break;
    case IDC_BTN_LAYOUT_9: case ID_MENU_LAYOUT_9: ChangeLayout(3); break;
    case IDC_BTN_LAYOUT_16: case ID_MENU_LAYOUT_16: ChangeLayout(4); break;
    case IDC_BTN_LAYOUT_25: case ID_MENU_LAYOUT_25: ChangeLayout(5); break;
    case IDC_BTN_PAGEUP: case ID_MENU_PAGEUP:
      if (m_pWndManage) m_pWndManage->PageUp();
      break;
    case IDC_BTN_PAGEDOWN: case ID_MENU_PAGEDOWN:
      if (m_pWndManage) m_pWndManage->PageDown();
      break;
    case IDC_BTN_PAGELEFT: case ID_MENU_PAGELEFT: ChangeDisplayPage(-1); break;
    case IDC_BTN_PAGERIGHT: case ID_MENU_PAGERIGHT: ChangeDisplayPage(+1); break;
    case IDC_CHK_AUTOPAGE:
      if (auto* check = qobject_cast<QAbstractButton*>(m_controlById[IDC_CHK_AUTOPAGE]))
        m_btAutoPage = check->isChecked() ? 1 : 0;
      TraceMessage("[KORVEL] - m_btAutoPage %d", m_btAutoPage);
      break;
    case IDC_BTN_WINDOWSTYLE: ToggleWindowStyle(); break;
    case IDC_BTN_FULLSCREEN: ToggleFullScreen(); break;
    case IDC_BTN_DISCONNECT_ALL:
      if (m_pLiveLink) m_pLiveLink->DisconnectAll();
      break;
    case IDC_BTN_RECORD: case ID_MENU_STARTREC: {
      WaitCursor wait;
      SignalCommand(g_nCurWnd, ConnectCommand::StartRecord);
      break;
    }
    case IDC_BTN_STOPRECORD: case ID_MENU_STOPREC: {
      WaitCursor wait;
      SignalCommand(g_nCurWnd, ConnectCommand::StopRecord);
      break;
    }
    case ID_MENU_CONNECT: SignalCommand(g_nCurWnd, ConnectCommand::Connect); break;
    case ID_MENU_DISCONNECT: SignalCommand(g_nCurWnd, ConnectCommand::Disconnect); break;
    case IDC_BTN_CONFIG: RunKorvelSettings(*this); break;
    case IDC_BTN_PLAYBACK: StartPlayback(); break;
    case IDC_BTN_MIN: case IDC_BTN_MIN2: showMinimized(); break;
    case IDC_BTN_EXIT: case IDC_BTN_EXIT2: OnCancel(); break;
    case IDC_BTN_MUTE: ToggleMute(); break;
    case IDC_BTN_SNAP: case ID_MENU_SNAP: TakeSnapshot(*this, g_nCurWnd); break;
    case ID_MENU_PRESETS: ShowPresets(); break;
    case IDC_BTN_NOACTION:
    default:
      break;
  }
}

void CKorvelDlg::ChangeLayout(int side) {
  if (!m_pWndManage) return;
  m_nPrevLayout = m_nLayout;
  m_nLayout = side;
  m_pWndManage->SetLayout(m_nLayout);
}

void CKorvelDlg::OnWindowDoubleClick(int index) {
  if (!m_pWndManage) return;
  // The first press of a double click selects the window; a double click that arrives on its
  // own (as synthesised input does) must show the window it was made in, too.
  SelectWindow(index);
  // Toggles between one big window and the layout before it.
  int side = m_pWndManage->nSide == 1 ? m_pWndManage->nPrevSide : 1;
  if (side < 1 || side > 5) side = 5;
  m_nLayout = side;
  m_pWndManage->SetLayout(m_nLayout);
}

void CKorvelDlg::OnTreeDoubleClick(int w) {
  if (!ValidWindow(w) || !m_hTreeItem[w]) return;
  switch (m_hTreeItem[w]->data(0, Qt::UserRole + 1).toInt()) {
    case kTreeImageUnassigned:
      m_skin.ShowMessage("IDS_CAMERA_NOASSIGN", platform::MB_OK, Handle());
      break;
    case kTreeImageAssigned:
      SelectWindow(w);
      SignalCommand(w, ConnectCommand::Connect);
      TraceMessage("[KORVEL] - single........");
      break;
    case kTreeImagePending:
      m_skin.ShowMessage("IDS_WAIT_WHENCONNECT", platform::MB_OK, Handle());
      break;
    case kTreeImageConnected:
    case kTreeImageFailed:
      SelectWindow(w);
      SignalCommand(w, ConnectCommand::Disconnect);
      break;
    default:
      break;
  }
}

void CKorvelDlg::ToggleMute() {
  g_bMute = g_bMute ? 0 : 1;
  if (g_bMute) {
    TraceMessage("[KORVEL] - ____: GL_PausePlaySound");
    GL_PausePlaySound();
    g_bSoundStarted = 0;
  }
  ShowSoundState();
}

void CKorvelDlg::ShowSoundState() {
  auto* button = qobject_cast<QAbstractButton*>(ControlById(IDC_BTN_MUTE));
  if (!button) return;
  button->setCheckable(true);
  button->setChecked(g_bMute != 0);
  std::string tip, state;
  if (!m_skin.ReadText("TIP_STRING", "IDS_TIP_MUTE", tip)) return;
  if (m_skin.ReadText("TIP_STRING", g_bMute ? "IDS_TIP_SOUND_OFF" : "IDS_TIP_SOUND_ON", state))
    tip += "\n" + state;
  button->setToolTip(FromSystemText(tip));
}

void CKorvelDlg::ShowPresets() {
  if (!m_pPresetDlg) {
    // The commands go where the pad's go: to the selected window, on this thread.
    m_pPresetDlg = new CPresetDlg(
        m_skin, [this](int code, int number) {
          if (m_pLiveLink) m_pLiveLink->Ptz(static_cast<platform::WPARAM>(code), number);
        },
        this);
  }
  m_pPresetDlg->show();
  m_pPresetDlg->raise();
}

void CKorvelDlg::SetPtzCodes() {
  const int w = g_nCurWnd;
  if (!ValidWindow(w)) return;
  const int page = m_nCurPage;
  int kind;
  {
    CCameraInfo& slot = g_PageInfo[page].camera[w];
    std::lock_guard<platform::CriticalSection> guard(slot.lock);
    kind = slot.nKind;
  }
  if (kind != kKindAlder && kind != kKindCamera) TraceMessage("888888888888888888");
  // A network camera takes the pad's own vocabulary (the kind-3 codes): the DVR numbering
  // would leave the brush and scan buttons with kind-3 codes that mean zoom to a DVR.
  const bool padCodes = kind == kKindAlder || kind == kKindCamera;
  for (const PtzButtonCodes& entry : kPtzButtonCodes) {
    auto* button = qobject_cast<CYuntaiButton*>(ControlById(entry.control));
    if (!button) continue;
    const int code = padCodes ? entry.alderCode : entry.dvrCode;
    if (code >= 0) button->nCode = code;
    if (kind == kKindAlder && entry.control == kPtzAutoScanControl) {
      button->SetCheckable(true);
      button->SetChecked(m_nAutoScan[page * kSlotsPerPage + w] == 1);
      button->update();
    }
  }
}

void CKorvelDlg::OnWindowRightClick(int index) {
  SelectWindow(index);
  ToggleFullScreen();
}

void CKorvelDlg::ToggleFullScreen() {
  if (!m_pWndManage) return;
  m_bFullScreen = !m_bFullScreen;
  TraceMessage("[KORVEL] - m_bFullScreen: %d", m_bFullScreen);
  m_pWndManage->SetFullScreen(m_bFullScreen);
  ApplyRecButtons(g_nCurWnd);
  update();
}

void CKorvelDlg::ToggleWindowStyle() {
  if (!m_pWndManage) return;
  TraceMessage("[KORVEL] - OnBtnWindowStyle");
  m_bFrameStyle = !m_bFrameStyle;
  for (int i = 0; i < m_pWndManage->Count(); ++i)
    m_pWndManage->Window(i)->SetFrameStyle(m_bFrameStyle);
  m_pWndManage->SetLayout(m_nLayout);
}

void CKorvelDlg::SelectWindow(int k) {
  if (!ValidWindow(k) || k == g_nCurWnd || !m_pWndManage) return;
  g_nPrevWnd = g_nCurWnd;
  g_nCurWnd = k;
  if (CVideoDlg* previous = m_pWndManage->Window(g_nPrevWnd)) previous->update();
  m_pWndManage->Window(k)->update();
  ApplyRecButtons(k);
  GL_PausePlaySound();
  TraceMessage("____: GL_PausePlaySound");
  g_bSoundStarted = 0;
  SetPtzCodes();
}

// --- Display pages ------------------------------------------------------------------------

void CKorvelDlg::ChangeDisplayPage(int step) {
  const int oldPage = m_nCurPage;
  for (int w = 0; w < kSlotsPerPage; ++w) {
    CCameraInfo& slot = g_PageInfo[oldPage].camera[w];
    bool loginFound = true;
    {
      std::lock_guard<platform::CriticalSection> guard(slot.lock);
      // Recording or schedule-armed windows stay connected in the background.
      if (!slot.IsAssigned() || !slot.bConnected || slot.bSchedOn || slot.nRecKind) continue;
      slot.bBusy = 1;
      TraceMessage("[KORVEL] - page change: stop window %d", w);
      loginFound = m_pLiveLink && m_pLiveLink->StopPreview(oldPage, w);
      slot.bBusy = 0;
    }
    // Shown outside the slot's lock: the box is modal and workers may need the slot meanwhile.
    if (!loginFound) m_skin.ShowMessage("IDS_NOFIND_LOGININFO", platform::MB_OK, Handle());
  }

  m_nCurPage = (m_nCurPage + step + kPageCount) % kPageCount;
  TraceMessage("[KORVEL] - Current page: %d", m_nCurPage + 1);
  // Every window starts the new page blank; the previews of this page that run fill theirs.
  for (int w = 0; w < kSlotsPerPage; ++w) BlankPreviewWindow(this, m_nCurPage, w, false);

  for (int w = 0; w < kSlotsPerPage; ++w) {
    CCameraInfo& slot = g_PageInfo[m_nCurPage].camera[w];
    {
      std::lock_guard<platform::CriticalSection> guard(slot.lock);
      slot.bBusy = 1;
      // The window now shows this slot: its mark follows the slot's recording.
      SetRecordMark(m_nCurPage, w, slot.nRecKind);
      // Slots never tried, already connected or lost are not connected here.
      if (slot.IsAssigned() && slot.bTried && !slot.bConnected && !slot.nLostFlag &&
          m_pLiveLink)
        m_pLiveLink->Reconnect(m_nCurPage, w);
      slot.bBusy = 0;
    }
    UpdateIndicators(m_nCurPage, w);
  }

  ShowPageCaption();
  BuildTree();
  if (!m_pWndManage) return;
  if (!m_btAutoPage) {
    WaitCursor wait;
    m_pWndManage->SetLayout(m_nLayout);
  } else {
    // The layout stays as it is, but every window now shows a slot of the new page and must
    // say which, or it would go on naming the old page's camera.
    m_pWndManage->DisplayStatus();
  }
}

// --- Camera tree --------------------------------------------------------------------------

void CKorvelDlg::BuildTree() {
  if (!m_pTree) return;
  const QSignalBlocker blocker(m_pTree);
  m_pTree->clear();
  auto* root = new QTreeWidgetItem(m_pTree);
  root->setText(0, FromSystemText(FormatText(m_skin.Text("IDS_PAGE_DISPLAY"), {m_nCurPage + 1})));
  const std::string itemFormat = m_skin.Text("IDS_WINDOW_NUM_ADDR");
  for (int w = 0; w < kSlotsPerPage; ++w) {
    CCameraInfo& slot = g_PageInfo[m_nCurPage].camera[w];
    std::string address;
    int image;
    {
      std::lock_guard<platform::CriticalSection> guard(slot.lock);
      address = slot.strAddr;
      image = !slot.IsAssigned() ? kTreeImageUnassigned
              : slot.bConnected  ? kTreeImageConnected
              : slot.bTried      ? kTreeImageFailed
                                 : kTreeImageAssigned;
    }
    auto* item = new QTreeWidgetItem(root);
    item->setText(0, FromSystemText(FormatText(itemFormat, {w + 1, address})));
    item->setData(0, Qt::UserRole, w);
    item->setData(0, kTreeBaseTextRole, item->text(0));
    m_hTreeItem[w] = item;
    SetTreeImage(w, image);
  }
  root->setExpanded(true);
  m_pTree->setCurrentItem(root);
}

void CKorvelDlg::SetTreeImage(int w, int image) {
  if (!ValidWindow(w) || !m_hTreeItem[w]) return;
  m_hTreeItem[w]->setIcon(0, KorvelResources::TreeImage(image));
  m_hTreeItem[w]->setData(0, Qt::UserRole + 1, image);
  // A network camera's profile joins its item once a login named it.
  const std::string profile = SlotProfileText(m_nCurPage, w);
  QString text = m_hTreeItem[w]->data(0, kTreeBaseTextRole).toString();
  if (!profile.empty()) text += QStringLiteral("  ") + FromSystemText(profile);
  if (m_hTreeItem[w]->text(0) != text) m_hTreeItem[w]->setText(0, text);
}

void CKorvelDlg::UpdateIndicators(int page, int w) {
  if (page != m_nCurPage || !ValidWindow(w)) return;
  CCameraInfo& slot = g_PageInfo[page].camera[w];
  int image = -1;
  int buttons = kRecButtonsOff;
  {
    std::lock_guard<platform::CriticalSection> guard(slot.lock);
    if (!slot.IsAssigned()) {
      image = -1;
    } else if (!slot.bTried) {
      image = kTreeImageAssigned;
    } else if (slot.bConnected && slot.nLostFlag) {
      // A network camera stays connected while it reconnects by itself: shown as failed.
      image = kTreeImageFailed;
    } else if (slot.bConnected) {
      image = kTreeImageConnected;
      buttons = slot.nRecKind == 1 ? kRecButtonsCanStop : kRecButtonsCanStart;
    } else {
      image = kTreeImageFailed;
    }
  }
  if (image >= 0) Post({WM_KORVEL_TREEIMAGE, static_cast<platform::WPARAM>(w), image});
  Post({WM_KORVEL_RECSTATUS, static_cast<platform::WPARAM>(w), buttons});
}

// --- Record buttons and marks -------------------------------------------------------------

void CKorvelDlg::SetRecStatus(int w, int st) {
  if (!IsOwnerThread()) {
    // Workers never touch the buttons: the UI thread takes the state from the message.
    Post({WM_KORVEL_RECSTATUS, static_cast<platform::WPARAM>(w), st});
    return;
  }
  TraceMessage("[KORVEL] - SetRecStatus: nWndIndex: %d, ST: %d", w, st);
  if (m_bFullScreen || !ValidWindow(w)) return;
  m_nRecStatus[w] = st;
  ApplyRecButtons(w);
}

void CKorvelDlg::ApplyRecButtons(int w) {
  // While full screen the record buttons are left alone.
  if (m_bFullScreen || !ValidWindow(w) || w != g_nCurWnd) return;
  QWidget* record = m_controlById[IDC_BTN_RECORD];
  QWidget* stop = m_controlById[IDC_BTN_STOPRECORD];
  if (!record || !stop) return;
  switch (m_nRecStatus[w].load()) {
    case kRecButtonsOff:
      record->show(); record->setEnabled(false);
      stop->hide(); stop->setEnabled(false);
      break;
    case 1:  // command pending: visibility unchanged
      record->setEnabled(false);
      stop->setEnabled(false);
      break;
    case kRecButtonsCanStart:
      record->show(); record->setEnabled(true);
      stop->hide(); stop->setEnabled(false);
      break;
    case kRecButtonsCanStop:
      record->hide(); record->setEnabled(false);
      stop->show(); stop->setEnabled(true);
      break;
    default:
      break;
  }
}

void CKorvelDlg::SetRecordMark(int page, int w, int value) {
  if (page != m_nCurPage || !ValidWindow(w)) return;
  m_nOsdStatus[w] = value;
  GL_SetOsdStatus(w, value);
  if (IsOwnerThread()) ApplyRecordMark(w, value);
  else Post({kApplyRecordMarkMessage, static_cast<platform::WPARAM>(page * kSlotsPerPage + w), value});
}

void CKorvelDlg::ApplyRecordMark(int w, int value) {
  if (!m_pWndManage) return;
  if (CVideoDlg* window = m_pWndManage->Window(w)) {
    window->SetRecording(value != 0);
    window->update();
  }
}

// --- Status line --------------------------------------------------------------------------

void CKorvelDlg::ShowStatusLine() {
  if (m_bFullScreen) return;
  m_runningTime.Update(platform::TickCount());
  const std::string dayFormat =
      m_skin.Text("IDS_DISP_RUN") + "%d" + m_skin.Text("IDS_DISP_DAY");
  if (m_pRunDays) m_pRunDays->SetSystemText(FormatText(dayFormat, {m_runningTime.Days()}));
  if (m_pClock) m_pClock->SetSystemText(m_runningTime.ClockText());

  const RecordDriveStatus status = m_pRecordDrives->Status(m_skin.Text("IDS_DISK_FREE"));
  if (m_pUseDisk) {
    m_pUseDisk->SetTextColor(ColorRef(status.alert ? kAlertTextColor : kNormalTextColor));
    m_pUseDisk->SetSystemText(status.text);
  }
  if (m_pDiskBar && status.totalMB > 0) m_pDiskBar->SetPos(status.usedPercent);
}

// --- Background ---------------------------------------------------------------------------

void CKorvelDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const SkinColor& back = m_skin.BackColor();
  painter.fillRect(rect(), m_bFullScreen ? QColor(Qt::black)
                                         : QColor(back.red, back.green, back.blue));
  if (m_bFullScreen || !m_skin.BordersLoaded()) return;
  for (BorderSide side : {BorderSide::Top, BorderSide::Bottom, BorderSide::Left,
                          BorderSide::Right}) {
    const BorderPicture& border = m_skin.Border(side);
    painter.drawImage(QPoint(border.position.x, border.position.y), border.image);
  }
}

// --- The stream that fits the window ----------------------------------------------------

void CKorvelDlg::GridLaidOut() {
  // A drag of the dialog's edge lays the grid out at every step: the streams move once it
  // has rested for a moment.
  if (!m_pFitTimer) {
    m_pFitTimer = new QTimer(this);
    m_pFitTimer->setSingleShot(true);
    m_pFitTimer->setInterval(300);
    connect(m_pFitTimer, &QTimer::timeout, this, [this] { FitCameraStreams(); });
  }
  m_pFitTimer->start();
}

void CKorvelDlg::SetFitStreamToWindow(bool fit) {
  m_bFitStream = fit;
  FitCameraStreams();
}

void CKorvelDlg::FitCameraStreams() {
  if (!m_pStreamFitter || !m_pWndManage || g_bClosing) return;
  const int page = m_nCurPage.load();
  const CWndManage& grid = *m_pWndManage;
  // Alone or full screen the window gets the camera's best picture.
  const bool alone = grid.nSide == 1 || grid.bFull != 0;
  for (int w = grid.nFirst; w <= grid.nLast && w < kVideoWindowCount; ++w) {
    CCameraInfo& slot = g_PageInfo[page].camera[w];
    int handle = 0;
    int channel = 0;
    {
      std::unique_lock<platform::CriticalSection> guard(slot.lock, std::try_to_lock);
      // A slot busy connecting is looked at again on the next round.
      if (!guard.owns_lock() || slot.bBusy || !slot.bConnected || !CameraSlotMayMoveStream(slot))
        continue;
      // A recording keeps the profile it records: the slot's.
      if (slot.nRecKind != 0) continue;
      handle = slot.hDvr;
      channel = slot.nChannel;
    }
    const int shown = ShownCameraProfile(page, w);
    if (shown < 0) continue;
    int target = channel;
    if (m_bFitStream) {
      int count = 0;
      if (CMLGetProfileCount(handle, &count) != CML_OK || count < 2) continue;
      std::vector<CameraProfileSize> sizes;
      for (int i = 0; i < count; ++i) {
        CML_PROFILE_INFO info{};
        CameraProfileSize size;
        if (CMLGetProfileInfo(handle, i, &info) == CML_OK) size = {info.nWidth, info.nHeight};
        sizes.push_back(size);
      }
      CVideoDlg* window = m_pWndManage->Window(w);
      const QWidget* surface = window ? window->Surface() : nullptr;
      if (!surface) continue;
      const qreal ratio = surface->devicePixelRatioF();
      const int width = static_cast<int>(surface->width() * ratio + 0.5);
      const int height = static_cast<int>(surface->height() * ratio + 0.5);
      target = ChooseCameraProfile(sizes, width, height, alone);
      if (target < 0) continue;
    }
    if (target == shown || target == IncomingCameraProfile(page, w)) continue;
    m_pStreamFitter->Request(page, w, target);
  }
}
