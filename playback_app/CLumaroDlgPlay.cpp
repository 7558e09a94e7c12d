// The main dialog's playback: opening recordings in the playback windows, play, pause, stop,
// frame steps, speeds, sound, snapshots, the position display and the end of a file.

#include <QComboBox>
#include <QFileDialog>
#include <QTreeWidget>
#include <cstdio>

#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Tick.h"
#include "platform/TimeText.h"
#include "player_engine/Pellix.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CMyPagesWnd.h"
#include "playback_app/Mp4Remux.h"
#include "playback_app/SkinControls.h"
#include "playback_app/SystemText.h"
#include "playback_app/TimeStaffWnd.h"
#include "playback_app/VideoPlayerWnd.h"

namespace lumaro {

namespace {

std::string TimeOfDay(std::time_t time, const char* format) {
  platform::LocalTime local;
  if (!platform::ToLocalTime(time, local)) return {};
  return platform::FormatTime(format, local);
}

std::string DiskOf(const std::string& path) {
  const std::size_t cut = path.find('\\');
  return cut == std::string::npos ? path : path.substr(0, cut);
}

}  // namespace

QString CLumaroDlg::SpeedText() const {
  const float speed = m_VideoWndState[static_cast<std::size_t>(m_nSelectedWindow)].m_fSpeed;
  char text[32];
  // A recorder's rate -n stands for 1/n.
  if (speed < 0.0f) std::snprintf(text, sizeof text, "(1/%d X)", static_cast<int>(-speed));
  else if (speed >= 1.0f) std::snprintf(text, sizeof text, "(%d.0 X)", static_cast<int>(speed));
  else std::snprintf(text, sizeof text, "(1/%d X)", static_cast<int>(1.0f / speed + 0.5f));
  return QString::fromLatin1(text);
}

void CLumaroDlg::UpdateSpeedLabel() { m_labels["STC_SPEED"]->SetText(SpeedText()); }

bool CLumaroDlg::OpenRecordForWindow(int window, bool next, int index) {
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (state.nChannel < 0) return false;
  const auto& records = m_ChannelState[static_cast<std::size_t>(state.nChannel)].records;
  int chosen = -1;
  if (next) {
    chosen = state.nRecordIndex + 1;
  } else if (m_viewMode == ViewMode::Time) {
    for (std::size_t i = 0; i < records.size() && chosen < 0; ++i)
      if (records[i].nDuration > 0 && records[i].tEnd > m_tRulerTime) chosen = static_cast<int>(i);
  } else {
    chosen = index;
  }
  if (chosen < 0 || chosen >= static_cast<int>(records.size())) return false;
  const RecordFileInfo& record = records[static_cast<std::size_t>(chosen)];
  if (chosen != state.nRecordIndex) {
    Pellix_Stop(window);
    Pellix_CloseFile(window);
    if (!Pellix_OpenFile(window, record.strPath.c_str())) {
      QString text, caption;
      TextOf("TEXT_STRING", "IDS_FILE_OPEN_FAIL", text);
      TextOf("TEXT_STRING", "IDS_APP_TITLE", caption);
      char title[160];
      std::snprintf(title, sizeof title, "%d:%s", state.nChannel + 1, ToSystemText(caption).c_str());
      platform::MessageBox(Handle(), ToSystemText(text), title, platform::MB_OK);
      return false;
    }
    Pellix_SetDisplayCallBack(window, &CLumaroDlg::DisplayCBFun, this);
    Pellix_SetFileEndMsg(window, Handle(), UM_FILE_END);
  }
  state.nRecordIndex = chosen;
  if (m_viewMode == ViewMode::Time) {
    state.nTotalSeconds = record.nDuration;
    const float position = record.nDuration > 0
                               ? static_cast<float>(m_tRulerTime - record.tStart) / static_cast<float>(record.nDuration)
                               : 0.0f;
    state.fStartPosition = position < 0 ? 0 : position;
  } else {
    state.nTotalSeconds = static_cast<int>(Pellix_GetFileTime(window) / 1000);
    state.fStartPosition = 0;
  }
  return true;
}

void CLumaroDlg::PlayWindow(int window, bool hasPosition, float position) {
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  Pellix_SetVolume(window, 0);
  Pellix_Play(window, static_cast<platform::Window*>(m_videoWindows[static_cast<std::size_t>(window)]));
  if (m_bMute) Pellix_StopSound(window);
  if (hasPosition) Pellix_SetPlayPos(window, position);
  if (window == m_nSoundWindow && state.nVolume >= 0) Pellix_SetVolume(window, static_cast<unsigned short>(state.nVolume));
  const bool stepping = state.nState == kWindowStepping;
  state.nState = kWindowPlaying;
  UpdatePlayButtons();
  if (stepping) return;
  for (float threshold : {1.0f, 2.0f, 4.0f, 8.0f})
    if (state.m_fSpeed > threshold) Pellix_Fast(window);
  for (float threshold : {1.0f, 0.5f, 0.25f, 0.125f})
    if (state.m_fSpeed < threshold) Pellix_Slow(window);
}

void CLumaroDlg::OnButtonPlay() {
  if (IsSdkWindow(m_nSelectedWindow)) {
    OnSdkPlay();
    return;
  }
  if (m_viewMode == ViewMode::Time) {
    OnButtonPlayAll();
    return;
  }
  const int window = m_nSelectedWindow;
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  switch (state.nState) {
    case kWindowPaused: OnButtonPause(); break;
    case kWindowStepping: PlayWindow(window, false, 0); break;
    case kWindowIdle:
      if (!OpenRecordForWindow(window, false, state.nRecordIndex < 0 ? 0 : state.nRecordIndex)) return;
      PlayWindow(window, true, state.fStartPosition);
      SetTimer(kTimerPositionFirst + static_cast<unsigned>(window), 1000);
      break;
    default: break;
  }
}

void CLumaroDlg::OnButtonPlayAll() {
  if (m_viewMode == ViewMode::List) {
    OnButtonPlay();
    return;
  }
  for (int window = 0; window < kVideoWindows; ++window) {
    VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
    if (state.nState == kWindowPaused) {
      Pellix_Pause(window, 0);
      state.nState = kWindowPlaying;
    } else if (state.nState == kWindowStepping) {
      PlayWindow(window, false, 0);
    } else if (state.nState == kWindowIdle && OpenRecordForWindow(window, false, 0)) {
      PlayWindow(window, true, state.fStartPosition);
      SetTimer(kTimerPositionFirst + static_cast<unsigned>(window), 1000);
    }
  }
  UpdatePlayButtons();
}

void CLumaroDlg::OnButtonStopAll() {
  if (m_viewMode != ViewMode::Time) return;
  StopAllWindows();
  UpdatePlayButtons();
}

void CLumaroDlg::OnButtonPause() {
  if (IsSdkWindow(m_nSelectedWindow)) {
    OnSdkPause();
    return;
  }
  const int window = m_nSelectedWindow;
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (state.nState != kWindowPlaying && state.nState != kWindowPaused) return;
  const bool pause = state.nState == kWindowPlaying;
  Pellix_Pause(window, pause ? 1 : 0);
  Pellix_RefreshPlay(window);
  state.nState = pause ? kWindowPaused : kWindowPlaying;
  UpdatePlayButtons();
}

void CLumaroDlg::OnButtonStop() {
  StopWindow(m_nSelectedWindow);
  UpdatePlayButtons();
}

void CLumaroDlg::OnButtonFrame(bool forward) {
  const int window = m_nSelectedWindow;
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (!state.IsActive() || state.bRemote) return;
  if (forward) Pellix_OneByOne(window);
  else Pellix_OneByOneBack(window);
  state.nState = kWindowStepping;
  UpdatePlayButtons();
}

void CLumaroDlg::ChangeSpeed(int window, bool faster) {
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (faster ? state.m_fSpeed >= 16.0f : state.m_fSpeed <= 1.0f / 16.0f) return;
  TraceMessage("[LUMARO] - speed of window %d: %f", window, static_cast<double>(state.m_fSpeed));
  state.m_fSpeed = faster ? state.m_fSpeed * 2.0f : state.m_fSpeed / 2.0f;
  int result = 1;
  if (state.nState == kWindowPlaying) result = faster ? Pellix_Fast(window) : Pellix_Slow(window);
  TraceMessage("[LUMARO] - engine %d, window %d now %f", result, window, static_cast<double>(state.m_fSpeed));
}

void CLumaroDlg::OnButtonSlow() {
  // Remote playback keeps its own speed rules: a recorder's rates for the selected window,
  // nothing for a Vantor stream.
  if (m_bRemote) {
    if (m_nDeviceType != 3) ChangeSdkSpeed(false);
    return;
  }
  ChangeSpeed(m_nSelectedWindow, false);
  UpdateSpeedLabel();
}

void CLumaroDlg::OnButtonFast() {
  if (m_bRemote) {
    if (m_nDeviceType != 3) ChangeSdkSpeed(true);
    return;
  }
  ChangeSpeed(m_nSelectedWindow, true);
  UpdateSpeedLabel();
}

void CLumaroDlg::OnButtonSpeedAll(bool faster) {
  if (m_bRemote) {
    if (m_nDeviceType != 3) ChangeSdkSpeed(faster);
    return;
  }
  for (int window = 0; window < kVideoWindows; ++window) ChangeSpeed(window, faster);
  UpdateSpeedLabel();
}

void CLumaroDlg::OnButtonMute() {
  m_bMute = !m_bMute;
  if (m_nSoundWindow < 0) return;
  if (m_bMute) Pellix_StopSound(m_nSoundWindow);
  else Pellix_PlaySound(m_nSoundWindow);
}

void CLumaroDlg::SoundFollowsSelection(int window) {
  if (window == m_nSoundWindow) return;
  if (m_nSoundWindow >= 0) Pellix_StopSound(m_nSoundWindow);
  m_nSoundWindow = window;
  if (!m_bMute) Pellix_PlaySound(window);
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (state.nVolume >= 0) {
    Pellix_SetVolume(window, static_cast<unsigned short>(state.nVolume));
    m_sliderVolume->setValue(state.nVolume * 100 / 65535);
  }
  UpdateSpeedLabel();
  UpdatePlayButtons();
}

void CLumaroDlg::OnButtonSnap() {
  m_snapRequest[static_cast<std::size_t>(m_nSelectedWindow)].exchange(1);
}

void CLumaroDlg::DisplayCBFun(int port, unsigned char* picture, int size, int width, int height, int,
                              int type, void* user, int) {
  auto* dialog = static_cast<CLumaroDlg*>(user);
  if (!dialog || port < 0 || port >= kVideoWindows) return;
  if (dialog->m_snapRequest[static_cast<std::size_t>(port)].exchange(0) == 0) return;
  auto* name = new std::string(dialog->m_strPicturePath + platform::FormatLocalTimeNow("%Y%m%d_%H%M%S") + ".bmp");
  bool ok = platform::CreateFolderTree(dialog->m_strPicturePath);
  if (ok) ok = Pellix_ConvertToBmpFile(picture, size, width, height, type, name->c_str()) != 0;
  TraceMessage("DisplayCBFun---------------- play index: %d", port);
  if (!platform::PostMessage(dialog->Handle(), UM_SNAPSHOT_DONE, ok ? 1 : 0, reinterpret_cast<platform::LPARAM>(name)))
    delete name;
}

void CLumaroDlg::OnSnapshotDone(bool ok, std::string* name) {
  std::unique_ptr<std::string> owned(name);
  QString text, caption;
  if (!TextOf("TEXT_STRING", ok ? "IDS_SNAP_OK" : "IDS_SNAP_FAIL", text) || !TextOf("TEXT_STRING", "IDS_APP_TITLE", caption))
    return;
  platform::MessageBox(Handle(), ToSystemText(text) + ": " + (owned ? *owned : std::string()), ToSystemText(caption),
                       platform::MB_OK);
}

void CLumaroDlg::OpenResultRow(int row) {
  QTreeWidgetItem* item = m_listResult->topLevelItem(row);
  if (!item) return;
  const int channel = item->text(0).toInt();
  const int index = item->data(0, Qt::UserRole).toInt();
  if (channel < 1 || channel > kChannels) return;
  const int window = m_ChannelState[static_cast<std::size_t>(channel - 1)].nWindow;
  if (window < 0) return;
  m_listResult->setCurrentItem(item);
  SelectWindow(window);
  SoundFollowsSelection(window);
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (state.IsActive()) {
    StopWindow(window);
    platform::Sleep(200);
  }
  if (!OpenRecordForWindow(window, false, index)) return;
  PlayWindow(window, true, 0);
  const RecordFileInfo& record = m_ChannelState[static_cast<std::size_t>(channel - 1)].records[static_cast<std::size_t>(index)];
  const std::string name = FileNameOf(record.strPath);
  m_labels["STC_PLAYTIME"]->SetText(QString::fromStdString(name.substr(11, 2) + ":" + name.substr(13, 2) + ":" + name.substr(15, 2)));
  SetTimer(kTimerPositionFirst + static_cast<unsigned>(window), 1000);
}

void CLumaroDlg::OnButtonFileOpen() {
  std::string path;
  if (m_fileDialogRunner) {
    path = m_fileDialogRunner();
  } else {
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                        QStringLiteral("MP4 File(*.mp4);;AVI File(*.avi)"));
    path = ToSystemText(chosen);
  }
  if (path.empty() || m_nDeviceType != 3) return;
  OnModeList();
  const int window = m_nSelectedWindow;
  if (window >= kVideoWindows) {
    platform::MessageBox(Handle(), "OPEN FILE MODE,ONLY SUPPORT THE FIRST 16 WND.", "", platform::MB_OK);
    return;
  }
  StopWindow(window);
  if (!Pellix_OpenFile(window, path.c_str())) return;
  Pellix_SetDisplayCallBack(window, &CLumaroDlg::DisplayCBFun, this);
  Pellix_SetFileEndMsg(window, Handle(), UM_FILE_END);
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  // A file opened by hand belongs to no channel's list: the end of it starts nothing else.
  state.nRecordIndex = -1;
  PlayWindow(window, true, 0);
  state.nTotalSeconds = static_cast<int>(Pellix_GetFileTime(window) / 1000);
  SetTimer(kTimerPositionFirst + static_cast<unsigned>(window), 1000);
}

void CLumaroDlg::OnButtonSaveVideo() {
  std::string target;
  if (m_saveDialogRunner) {
    target = m_saveDialogRunner();
  } else {
    target = ToSystemText(QFileDialog::getSaveFileName(this, QString(), QString(), QStringLiteral("Video Fils(*.mp4)")));
  }
  if (target.empty() || m_bRemote) return;
  const VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(m_nSelectedWindow)];
  if (state.nChannel < 0 || state.nRecordIndex < 0) {
    TraceMessage("Index Error~~~~~");
    return;
  }
  const auto& records = m_ChannelState[static_cast<std::size_t>(state.nChannel)].records;
  if (state.nRecordIndex >= static_cast<int>(records.size())) {
    TraceMessage("Index Error~~~~~");
    return;
  }
  const std::string& source = records[static_cast<std::size_t>(state.nRecordIndex)].strPath;
  TraceMessage("Dest File : %s", source.c_str());
  // An existing file is never replaced, and that refusal is silent; a save that fails otherwise
  // (nothing MP4 can hold, an unreadable recording, a folder that cannot be written) says so.
  const RemuxResult result = RemuxToMp4(source, target);
  if (result == RemuxResult::Done || result == RemuxResult::TargetExists) return;
  QString text, caption;
  if (!TextOf("TEXT_STRING", "IDS_SAVEVIDEO_FAIL", text) || !TextOf("TEXT_STRING", "IDS_APP_TITLE", caption)) return;
  platform::MessageBox(Handle(), ToSystemText(text), ToSystemText(caption), platform::MB_OK);
}

void CLumaroDlg::OnFileEnd(int window) {
  if (window < 0 || window >= kVideoWindows) return;
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  const int ended = state.nRecordIndex;
  StopWindow(window);
  if (ended < 0) {
    UpdatePlayButtons();
    return;
  }
  platform::Sleep(200);
  // Stopping forgets the open recording; the next one is counted from the one that ended,
  // or the channel's first recording would start over and over.
  state.nRecordIndex = ended;
  if (!OpenRecordForWindow(window, true, 0)) {
    state.nRecordIndex = -1;
    UpdatePlayButtons();
    return;
  }
  PlayWindow(window, true, state.fStartPosition);
  const RecordFileInfo& record =
      m_ChannelState[static_cast<std::size_t>(state.nChannel)].records[static_cast<std::size_t>(state.nRecordIndex)];
  const std::string name = FileNameOf(record.strPath);
  m_labels["STC_PLAYTIME"]->SetText(QString::fromStdString(name.substr(11, 2) + ":" + name.substr(13, 2) + ":" + name.substr(15, 2)));
  m_labels["STC_FILESIZE"]->SetText(QString("%1 KB").arg(record.nFileSize / 1024));
  m_labels["STC_DISK"]->SetText(FromSystemText(DiskOf(record.strPath)));
  SetTimer(kTimerPositionFirst + static_cast<unsigned>(window), 1000);
  if (m_viewMode == ViewMode::List) {
    const int row = m_listResult->indexOfTopLevelItem(m_listResult->currentItem()) + 1;
    if (row < m_listResult->topLevelItemCount()) m_listResult->setCurrentItem(m_listResult->topLevelItem(row));
  }
}

void CLumaroDlg::OnPositionTimer(int window) {
  // A recorder's playback reports its own progress (UM_SDK_PROGRESS); the engine knows nothing of it.
  if (IsSdkWindow(m_nSelectedWindow)) return;
  // The ruler shows the time of the selected window only: while that one is idle, paused or
  // stepping (other windows may play on) its cursor rests at the start.
  if (m_VideoWndState[static_cast<std::size_t>(m_nSelectedWindow)].nState != kWindowPlaying) {
    m_wndTimeStaff->ResetCursor();
    return;
  }
  if (window != m_nSelectedWindow) return;
  const VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  const float position = Pellix_GetPlayPos(window);
  const int played = static_cast<int>(Pellix_GetPlayedTime(window) / 1000);
  // A file opened by hand has no record of a channel.
  const RecordFileInfo* record = nullptr;
  if (state.nChannel >= 0 && state.nRecordIndex >= 0) {
    const auto& records = m_ChannelState[static_cast<std::size_t>(state.nChannel)].records;
    if (static_cast<std::size_t>(state.nRecordIndex) < records.size())
      record = &records[static_cast<std::size_t>(state.nRecordIndex)];
  }
  if (m_viewMode == ViewMode::Time && record) {
    m_labels["STC_PLAYTIME"]->SetText(QString::fromStdString(TimeOfDay(record->tStart + played, "%H:%M:%S")));
    m_wndTimeStaff->SetCursorTime(static_cast<int>(record->tStart + played - SearchDayStart()));
  }
  // Disk, size and played time go to the labels of the themes that place them (TBlack and
  // Blue); a theme without them keeps them hidden.
  if (record) {
    m_labels["STC_DISK"]->SetText(FromSystemText(DiskOf(record->strPath)));
    m_labels["STC_FILESIZE"]->SetText(QString("%1 KB").arg(record->nFileSize / 1024));
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", played / 3600, played / 60 % 60, played % 60);
  m_labels["STC_DATETIME"]->SetText(QString::fromLatin1(text));
  std::snprintf(text, sizeof text, "%02d:%02d:%02d/%02d:%02d:%02d", played / 3600, played / 60 % 60, played % 60,
                state.nTotalSeconds / 3600, state.nTotalSeconds / 60 % 60, state.nTotalSeconds % 60);
  m_labels["STC_SINGLEPLAYTIME"]->SetText(QString::fromLatin1(text));
  const QSignalBlocker blocker(m_sliderPlay);
  m_sliderPlay->setValue(static_cast<int>(position * 500));
}

}  // namespace lumaro
