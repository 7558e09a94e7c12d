// The main dialog's recorder side (device types 0..2, reached through the DVR SDK): the login
// dialog, the recorder search into the remote result list, and playing, pausing, speeding and
// following the progress of the recorder's one file playback.

#include <QComboBox>
#include <QTreeWidget>

#include "common/TraceMessage.h"
#include "platform/MessageBox.h"
#include "platform/Tick.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/C_MonthView.h"
#include "playback_app/SkinControls.h"
#include "playback_app/SystemText.h"
#include "playback_app/VideoPlayerWnd.h"
#include "playback_app/remote/CRecorderRemote.h"
#include "playback_app/remote/LoginInfoDlg.h"
#include "playback_app/remote/RecorderFileItem.h"

namespace lumaro {

void CLumaroDlg::ShowNotice(const char* key) {
  QString text, caption;
  if (TextOf("TEXT_STRING", key, text) && TextOf("TEXT_STRING", "IDS_APP_TITLE", caption))
    platform::MessageBox(Handle(), ToSystemText(text), ToSystemText(caption), platform::MB_OK);
}

bool CLumaroDlg::RunLoginInfo() {
  LoginInfoDlg dialog(m_addressHistory, m_nCurrentAddress, m_nDeviceType, m_strLanguageFile, this);
  dialog.OfferPorts(m_devicePorts);
  // A test's record-set runner answers this dialog too: it is a record-set dialog with
  // credentials.
  const int result = m_recordSetRunner ? m_recordSetRunner(dialog) : dialog.exec();
  if (result != QDialog::Accepted) return false;
  m_nDeviceType = dialog.DeviceType();
  m_cmbDeviceType->setCurrentIndex(m_nDeviceType);
  m_nCurrentAddress = dialog.CurrentAddress();
  m_strRemoteAddress = dialog.Address();
  m_nRemotePort = dialog.Port();
  m_devicePorts = dialog.Ports();
  m_strRemoteUser = dialog.User();
  m_strRemotePassword = dialog.Password();
  return true;
}

void CLumaroDlg::SearchRecorder(const std::vector<int>& selected) {
  TraceMessage("[LUMARO] - CLumaroDlg::OnButtonSearch().\t[CHOOSE:REMOTE DVR]");
  RecorderLogin login;
  if (!ResolveRecorderAddress(m_strRemoteAddress, login.ip)) {
    ShowNotice("IDS_ERR_DOMAIN_NAME");
    return;
  }
  m_listResultRemote->clear();
  login.port = static_cast<unsigned short>(m_nRemotePort);
  login.user = m_strRemoteUser;
  login.password = m_strRemotePassword;
  if (!m_pRecorder) m_pRecorder = std::make_unique<CRecorderRemote>(Handle(), m_snapRequest, m_strPicturePath);
  switch (m_pRecorder->Connect(login)) {
    case RecorderConnect::OpenFailed:
    case RecorderConnect::LoginFailed: ShowNotice("IDS_LOGIN_ERROR"); return;
    case RecorderConnect::ParamsFailed: return;
    default: break;
  }
  // Only an address that reached a recorder joins the history.
  RememberAddress(m_strRemoteAddress);
  if (m_timeTo->time() < m_timeFrom->time()) {
    ShowNotice("IDS_ERR_TIME_SET");
    return;
  }
  m_nRecordType = m_cmbRecordType->currentIndex() < 0 ? 0 : m_cmbRecordType->currentIndex();
  const QDate day = m_calendar->selectedDate();
  RecorderQuery query;
  query.typeMask = RecorderTypeMask(m_nRecordType);
  query.start = RecorderSeconds(day.year(), day.month(), day.day(), m_timeFrom->time().msecsSinceStartOfDay() / 1000);
  query.end = RecorderSeconds(day.year(), day.month(), day.day(), m_timeTo->time().msecsSinceStartOfDay() / 1000);
  // Only the channels the recorder has; a selected channel beyond them is not asked for.
  std::vector<int> channels;
  for (int channel : selected)
    if (channel <= RecorderChannelCount(m_nDeviceType)) channels.push_back(channel);

  QString automatic, motion, alarm, manual;
  TextOf("TEXT_STRING", "IDS_TEXT_TYPE_AUTO", automatic);
  TextOf("TEXT_STRING", "IDS_TEXT_TYPE_MD", motion);
  TextOf("TEXT_STRING", "IDS_TEXT_TYPE_ALARM", alarm);
  TextOf("TEXT_STRING", "IDS_TEXT_TYPE_MANUAL", manual);
  QList<QTreeWidgetItem*> rows;  // newest-added first, as the list shows them
  QString typeText;              // an unknown type repeats the row before
  m_pRecorder->Search(channels, query, [&](int channel, const ORVANE_RECFILE& record) {
    switch (record.type) {
      case ORVANE_REC_TIMER: typeText = automatic; break;
      case ORVANE_REC_MOTION: typeText = motion; break;
      case ORVANE_REC_ALARM: typeText = alarm; break;
      case ORVANE_REC_MANUAL: typeText = manual; break;
      default: break;
    }
    auto* item = new RecorderFileItem(record);
    item->setText(0, QString::number(channel));
    item->setText(1, typeText);
    item->setText(2, QString::fromLatin1(RecorderTimeText(record.startTime).c_str()));
    rows.prepend(item);
  });
  m_listResultRemote->insertTopLevelItems(0, rows);
}

bool CLumaroDlg::IsSdkWindow(int window) const {
  return m_pRecorder && window >= 0 && m_pRecorder->PlayWindow() == window;
}

bool CLumaroDlg::OpenRecorderRow(QTreeWidgetItem* item) {
  const RecorderFileItem* row = RecorderFileItem::Of(item);
  if (!row) return false;
  const int channel = item->text(0).toInt();
  if (!m_pRecorder || channel < 1 || channel > kChannels) return true;
  const int window = m_ChannelState[static_cast<std::size_t>(channel - 1)].nWindow;
  if (window < 0) return true;
  SelectWindow(window);
  SoundFollowsSelection(window);
  // One recorder playback at a time: the window playing the last one stops first.
  const int current = m_pRecorder->PlayWindow();
  if (current >= 0 && m_VideoWndState[static_cast<std::size_t>(current)].IsActive()) {
    StopWindow(current);
    platform::Sleep(100);
  }
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (state.IsActive()) StopWindow(window);
  if (!m_pRecorder->StartPlay(window, row->Record())) {
    UpdatePlayButtons();
    return true;
  }
  state.bRemote = true;
  state.nState = kWindowPlaying;
  state.m_fSpeed = 1.0f;
  state.strRemoteFile.clear();
  {
    const QSignalBlocker blocker(m_sliderPlay);
    m_sliderPlay->setValue(0);
  }
  UpdateSpeedLabel();
  UpdatePlayButtons();
  return true;
}

void CLumaroDlg::OnSdkPlay() {
  const int window = m_nSelectedWindow;
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (state.nState != kWindowPaused && state.nState != kWindowStepping) return;
  if (m_pRecorder->Resume()) state.nState = kWindowPlaying;
  UpdatePlayButtons();
}

void CLumaroDlg::OnSdkPause() {
  const int window = m_nSelectedWindow;
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (state.nState != kWindowPlaying && state.nState != kWindowPaused) return;
  // Pausing a paused playback asks the recorder again; it is not a toggle here.
  if (m_pRecorder->Pause()) state.nState = kWindowPaused;
  UpdatePlayButtons();
}

void CLumaroDlg::ChangeSdkSpeed(bool faster) {
  const int window = m_nSelectedWindow;
  if (!IsSdkWindow(window)) return;
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  // The recorder's rates: 1, 2, 4, 8 and -2, -4, -8 for 1/2, 1/4, 1/8.
  const int speed = static_cast<int>(state.m_fSpeed);
  int next = speed;
  if (faster) {
    if (speed >= 8) return;
    next = speed == -2 ? 1 : speed < 0 ? speed / 2 : speed * 2;
  } else {
    if (speed <= -8) return;
    next = speed == 1 ? -2 : speed < 0 ? speed * 2 : speed / 2;
  }
  if (!m_pRecorder->SetRate(next)) {
    TraceMessage("[LUMARO] - recorder refused rate %d for window %d", next, window);
    return;
  }
  state.m_fSpeed = static_cast<float>(next);
  UpdateSpeedLabel();
}

void CLumaroDlg::OnSdkProgress() {
  if (!m_pRecorder) return;
  const int percent = m_pRecorder->TakeProgress();
  if (percent < 0) return;
  const QSignalBlocker blocker(m_sliderPlay);
  m_sliderPlay->setValue(percent * 5);
}

}  // namespace lumaro
