// The main dialog's local search: channel selection, the Search button, the result list, the
// calendar, the mode buttons and the record-set dialog of client mode.

#include <QByteArray>
#include <QLabel>
#include <QProgressBar>
#include <QCalendarWidget>
#include <QComboBox>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>

#include "common/TraceMessage.h"
#include "platform/MessageBox.h"
#include "platform/Tick.h"
#include "platform/TimeText.h"
#include "player_engine/Pellix.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CMyPagesWnd.h"
#include "playback_app/CRecordSetDlg.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/SkinControls.h"
#include "playback_app/SystemText.h"
#include "playback_app/TimeStaffWnd.h"
#include "common/qt/WaitCursor.h"
#include "playback_app/VideoPlayerWnd.h"
#include "playback_app/remote/CRecorderRemote.h"
#include "playback_app/remote/CRemoteDlgHost.h"
#include "playback_app/remote/CVantorRemote.h"
#include "playback_app/remote/RecorderFileItem.h"

namespace lumaro {

namespace {

int SecondsOf(const QTime& time) { return time.hour() * 3600 + time.minute() * 60 + time.second(); }

}  // namespace

std::time_t CLumaroDlg::SearchDayStart() const {
  const QDate date = m_calendar->selectedDate();
  platform::LocalTime day;
  day.year = static_cast<std::uint16_t>(date.year());
  day.month = static_cast<std::uint16_t>(date.month());
  day.day = static_cast<std::uint16_t>(date.day());
  return platform::FromLocalTime(day);
}

SearchRequest CLumaroDlg::CurrentRequest() const {
  SearchRequest request;
  const QDate date = m_calendar->selectedDate();
  request.day = SearchDay{date.year(), date.month(), date.day()};
  request.bListMode = m_viewMode == ViewMode::List;
  request.nRecordType = m_nRecordType;
  request.nFromSeconds = SecondsOf(m_timeFrom->time());
  request.nToSeconds = SecondsOf(m_timeTo->time());
  if (IsClientMode()) request.strRecorderFolder = m_strRecorderFolder;
  return request;
}

void CLumaroDlg::OnButtonSearch() {
  TraceMessage("[LUMARO] - CLumaroDlg::OnButtonSearch().\t[HEAD]");
  std::vector<int> channels;
  for (int channel = 1; channel <= kChannels; ++channel)
    if (m_ChannelState[static_cast<std::size_t>(channel - 1)].bSelected) channels.push_back(channel);
  QString text;
  if (channels.empty()) {
    if (TextOf("TEXT_STRING", "IDS_NOSELECTED_CHANNEL", text))
      platform::MessageBox(Handle(), ToSystemText(text), "", platform::MB_OK);
    return;
  }
  // The Vantor searches, remote and local, refuse an end time before the start time with the
  // language's message, then take the record type chosen.
  const auto takeTimesAndType = [&] {
    if (m_timeTo->time() < m_timeFrom->time()) {
      QString caption;
      if (TextOf("TEXT_STRING", "IDS_ERR_TIME_SET", text) && TextOf("TEXT_STRING", "IDS_APP_TITLE", caption))
        platform::MessageBox(Handle(), ToSystemText(text), ToSystemText(caption), platform::MB_OK);
      return false;
    }
    m_nRecordType = m_cmbRecordType->currentIndex() < 0 ? 0 : m_cmbRecordType->currentIndex();
    return true;
  };
  if (m_bRemote) {
    // The login dialog asks for the device's address, type and credentials.
    if (!RunLoginInfo()) return;
    StopAllWindows();
    if (m_nDeviceType != 3) {
      SearchRecorder(channels);
      return;
    }
    TraceMessage("[LUMARO] - CLumaroDlg::OnButtonSearch().\t[CHOOSE:REMOTE Vantor]");
    if (!takeTimesAndType()) return;
    SearchRemote(channels);
    return;
  }
  if (IsClientMode()) {
    if (!RunRecordSet()) return;
    StopAllWindows();
  }
  TraceMessage("[LUMARO] - CLumaroDlg::OnButtonSearch().\t[CHOOSE:LOCAL Vantor]");
  if (!takeTimesAndType()) return;
  m_listResult->clear();
  m_rowRecordIndex.clear();
  SearchChannels(channels);
  if (m_listResult->topLevelItemCount() > 0) m_listResult->setCurrentItem(m_listResult->topLevelItem(0));
}

bool CLumaroDlg::RunRecordSet() {
  CRecordSetDlg dialog(m_addressHistory, m_nCurrentAddress, m_nDeviceType, m_strLanguageFile, this);
  dialog.OfferPorts(m_devicePorts);
  const int result = m_recordSetRunner ? m_recordSetRunner(dialog) : dialog.exec();
  if (result != QDialog::Accepted) return false;
  m_nDeviceType = dialog.DeviceType();
  m_cmbDeviceType->setCurrentIndex(m_nDeviceType);
  m_nCurrentAddress = dialog.CurrentAddress();
  m_strRecorderFolder = RecorderFolder(dialog.Address(), dialog.Port());
  m_devicePorts = dialog.Ports();
  m_strRemoteAddress = dialog.Address();
  return true;
}

void CLumaroDlg::RememberAddress(const std::string& address) {
  const QString wanted = QString::fromStdString(address);
  for (const std::string& known : m_addressHistory)
    if (QString::fromStdString(known).compare(wanted, Qt::CaseInsensitive) == 0) return;
  m_addressHistory.insert(m_addressHistory.begin(), address);
  if (m_addressHistory.size() > 20) m_addressHistory.pop_back();
}

void CLumaroDlg::StartRemoteNetwork() {
  if (m_pVantor) return;
  m_pRemoteHost = std::make_unique<CRemoteDlgHost>(*this);
  m_pRemoteHost->onRowsAdded = [this] { AppendRemoteRows(); };
  m_pRemoteHost->onSearchEnded = [this](SearchFailure failure) { OnRemoteSearchEnded(failure); };
  m_pRemoteHost->onPlayStopped = [this](int window) {
    // A device sends its end as soon as the whole file is delivered, usually long before the
    // pictures have been shown: a window that is playing the delivered file keeps playing
    // and stops at the end of the file instead.
    if (m_pVantor && m_pVantor->StreamPlayer(window) != nullptr) return;
    StopWindow(window);
    UpdatePlayButtons();
  };
  m_pRemoteHost->onStreamStarted = [this](int window) {
    if (window < 0 || window >= kVideoWindows) return;
    VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
    state.bRemote = true;
    state.nState = kWindowPlaying;
    SetTimer(kTimerPositionFirst + static_cast<unsigned>(window), 1000);
    UpdatePlayButtons();
  };
  m_pRemoteHost->onProgressChanged = [this] { ShowDownloadProgress(); };
  m_pVantor = std::make_unique<CVantorRemote>(Handle(), *m_pRemoteHost);
  m_pVantor->StartNetwork();
}

void CLumaroDlg::SearchRemote(const std::vector<int>& channels) {
  TraceMessage("[LUMARO] - CLumaroDlg::SearchRemote().\t[HEAD]");
  if (channels.empty() || !m_pVantor) return;
  m_listResultRemote->clear();
  // A name is looked up here; the connections take the dotted address. The address joins the
  // history only once the device has answered, so a mistyped one is not offered again.
  unsigned int ip = 0;
  if (!ResolveRecorderAddress(m_strRemoteAddress, ip)) {
    TraceMessage("[LUMARO] - address \"%s\" cannot be resolved.", m_strRemoteAddress.c_str());
    ShowNotice("IDS_ERR_DOMAIN_NAME");
    TraceMessage("[LUMARO] - CLumaroDlg::SearchRemote().\t[END]");
    return;
  }
  char dotted[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &ip, dotted, sizeof dotted);
  TraceMessage("[Lumaro] - IP: %s", dotted);
  m_strSearchAddress = m_strRemoteAddress;
  // Each channel is searched on its own window's connection, which later asks for the
  // channel's recordings to be played in that window.
  std::vector<CVantorRemote::SearchChannel> searched;
  for (int channel : channels)
    searched.push_back({channel, m_ChannelState[static_cast<std::size_t>(channel - 1)].nWindow});
  const QDate date = m_calendar->selectedDate();
  const auto day = static_cast<std::uint32_t>(date.year() * 10000 + date.month() * 100 + date.day());
  auto clock = [](const QTime& time) {
    return static_cast<std::uint32_t>(time.hour() * 10000 + time.minute() * 100 + time.second());
  };
  m_buttons[idc::kSearch]->hide();
  m_buttons[idc::kSearchStop]->show();
  // A search that starts nothing has ended already (and returned the buttons).
  m_pVantor->StartSearch(dotted, day, clock(m_timeFrom->time()), clock(m_timeTo->time()), searched, m_nRecordType);
  TraceMessage("[LUMARO] - CLumaroDlg::SearchRemote().\t[END]");
}

void CLumaroDlg::OnRemoteSearchEnded(SearchFailure failure) {
  AppendRemoteRows();
  m_buttons[idc::kSearchStop]->hide();
  m_buttons[idc::kSearch]->show();
  if (m_pVantor && m_pVantor->DeviceAnswered()) RememberAddress(m_strSearchAddress);
  switch (failure) {
    case SearchFailure::Refused: ShowNotice("IDS_ERR_CONNECT_REFUSED"); break;
    case SearchFailure::NoAnswer: ShowNotice("IDS_ERR_NO_ANSWER"); break;
    case SearchFailure::None: break;
  }
}

void CLumaroDlg::DealStopSearchRemote() {
  if (m_pVantor) {
    if (m_pVantor->DeviceAnswered()) RememberAddress(m_strSearchAddress);
    m_pVantor->StopSearch();
    m_pVantor->ClearRows();
  }
  m_buttons[idc::kSearchStop]->hide();
  m_buttons[idc::kSearch]->show();
  m_listResultRemote->clear();
}

void CLumaroDlg::AppendRemoteRows() {
  if (!m_pVantor) return;
  QString manual, automatic, alarm;
  TextOf("TEXT_STRING", "IDS_TEXT_TYPE_MANUAL", manual);
  TextOf("TEXT_STRING", "IDS_TEXT_TYPE_AUTO", automatic);
  TextOf("TEXT_STRING", "IDS_TEXT_TYPE_ALARM", alarm);
  for (const vantor::SearchEntry& entry : m_pVantor->TakeNewRows()) {
    auto* item = new QTreeWidgetItem(m_listResultRemote);
    item->setText(0, QString::number(entry.channel));
    item->setText(1, entry.record_type == 2 ? automatic : entry.record_type == 3 ? alarm : manual);
    const QString date = QStringLiteral("%1").arg(entry.date % 100000000u, 8, 10, QLatin1Char('0'));
    const QString time = QStringLiteral("%1").arg(entry.start_time % 1000000u, 6, 10, QLatin1Char('0'));
    item->setText(2, QStringLiteral("%1/%2/%3-%4:%5:%6")
                         .arg(date.mid(0, 4), date.mid(4, 2), date.mid(6, 2), time.mid(0, 2), time.mid(2, 2),
                              time.mid(4, 2)));
    // The device's own bytes, so the same name goes back to it.
    item->setData(0, Qt::UserRole, QByteArray::fromStdString(entry.name));
  }
}

void CLumaroDlg::OpenRemoteRow(int row) {
  QTreeWidgetItem* item = m_listResultRemote->topLevelItem(row);
  // A row found on a recorder plays through the recorder's SDK, whatever type is chosen now.
  if (OpenRecorderRow(item)) return;
  if (!item || !m_pVantor) return;
  const int channel = item->text(0).toInt();
  if (channel < 1 || channel > kChannels) return;
  // The channel's own window: its connection searched the channel and asks for the file.
  const int window = m_ChannelState[static_cast<std::size_t>(channel - 1)].nWindow;
  if (window < 0 || window >= kVideoWindows) return;
  SelectWindow(window);
  SoundFollowsSelection(window);
  const std::string name = item->data(0, Qt::UserRole).toByteArray().toStdString();
  QString text;
  if (name == m_pVantor->CurrentDownload()) {
    QString caption;
    if (TextOf("TEXT_STRING", "IDS_CANT_RPLAY", text) && TextOf("TEXT_STRING", "IDS_APP_TITLE", caption))
      platform::MessageBox(Handle(), ToSystemText(text), ToSystemText(caption), platform::MB_OK);
    return;
  }
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (state.IsActive()) {
    StopWindow(window);
    platform::Sleep(100);
  }
  if (!m_pVantor->PlayFile(window, name)) return;
  state.bRemote = true;
  state.nState = kWindowPlaying;
  state.strRemoteFile = name;
  UpdatePlayButtons();
}

void CLumaroDlg::DownloadSelectedRemoteRows() {
  if (!m_pVantor || m_nDeviceType != 3) return;
  std::vector<std::string> names;
  for (QTreeWidgetItem* item : m_listResultRemote->selectedItems())
    if (!RecorderFileItem::Of(item)) names.push_back(item->data(0, Qt::UserRole).toByteArray().toStdString());
  if (!names.empty()) m_pVantor->QueueDownloads(names);
}

void CLumaroDlg::ShowDownloadProgress() {
  if (!m_pVantor) return;
  const DownloadProgress& progress = m_pVantor->Progress();
  m_bDownloadVisible = progress.visible;
  m_bDownloading = !m_pVantor->CurrentDownload().empty();
  m_progressDown->setValue(progress.bar_position);
  m_labels["STC_FILENAME"]->SetText(FromSystemText(progress.name_label));
  if (auto* label = qobject_cast<QLabel*>(m_labelDownPercent))
    label->setText(QString::fromStdString(progress.percent_label));
  ShowDownloadControls();
}

void CLumaroDlg::ShowDownloadControls() {
  // The name, its fixed label and the percent show while a download's display is up; the
  // Blue themes have no room for the bar, their labels alone show the progress.
  m_labels["STC_FILENAME"]->setVisible(m_bDownloadVisible);
  m_labels["STC_DF"]->setVisible(m_bDownloadVisible);
  m_labelDownPercent->setVisible(m_bDownloadVisible);
  const std::string themed = m_strThemeName + ResolutionText(g_nResolution);
  m_progressDown->setVisible(m_bDownloadVisible && themed != "Blue1024,768" && themed != "Blue1440,900");
}

void CLumaroDlg::SearchChannels(const std::vector<int>& channels) {
  const SearchRequest request = CurrentRequest();
  std::array<ChannelState, kSearchChannels>& states = m_ChannelState;
  m_search.Run(channels, m_driver.EnabledLetters(), request, states);
  if (m_viewMode == ViewMode::List) {
    WaitCursor wait;
    FillResultList(channels);
  }
  SyncRulerRows();
}

void CLumaroDlg::FillResultList(const std::vector<int>& channels) {
  QString typeTexts[3];
  const char* keys[3] = {"IDS_TEXT_TYPE_MANUAL", "IDS_TEXT_TYPE_AUTO", "IDS_TEXT_TYPE_ALARM"};
  for (int i = 0; i < 3; ++i) TextOf("TEXT_STRING", keys[i], typeTexts[i]);
  for (const ResultRow& row : BuildResultRows(channels, m_ChannelState)) {
    auto* item = new QTreeWidgetItem(m_listResult);
    item->setText(0, QString::number(row.nChannel));
    item->setText(1, typeTexts[row.nType]);
    item->setText(2, QString::fromLatin1(row.strTime.c_str()));
    item->setText(3, FromSystemText(row.strPath));
    item->setData(0, Qt::UserRole, row.nRecordIndex);
  }
}

void CLumaroDlg::RemoveChannelRows(int channel) {
  QTreeWidget* list = m_bRemote ? m_listResultRemote : m_listResult;
  for (int i = list->topLevelItemCount() - 1; i >= 0; --i)
    if (list->topLevelItem(i)->text(0).toInt() == channel) delete list->takeTopLevelItem(i);
}

void CLumaroDlg::StopWindow(int window) {
  if (window < 0 || window >= kVideoWindows) return;
  VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(window)];
  if (IsSdkWindow(window)) {
    // A recorder that refuses to stop keeps playing: the window keeps its state.
    if (!m_pRecorder->StopPlay()) return;
    state.bRemote = false;
    state.m_fSpeed = 1.0f;
  } else if (state.bRemote && m_pVantor) {
    // The remote side closes the engine's stream itself and tells the device to stop.
    m_pVantor->StopWindow(window);
    state.bRemote = false;
    state.m_fSpeed = 1.0f;
  } else if (state.IsActive()) {
    Pellix_Stop(window);
    Pellix_CloseFile(window);
  }
  // A snapshot asked for and not taken belongs to what played here, not to what plays next.
  m_snapRequest[static_cast<std::size_t>(window)].store(0);
  if (state.IsActive()) {
    // A window that played a file opened by hand without a channel is free again.
    state.nState = state.nChannel >= 0 ? kWindowIdle : kWindowFree;
    state.nRecordIndex = -1;
    state.nVolume = -1;
    state.strRemoteFile.clear();
    m_videoWindows[static_cast<std::size_t>(window)]->update();
    KillTimer(kTimerPositionFirst + static_cast<unsigned>(window));
  }
  ResetPlayLabels();
}

void CLumaroDlg::ResetPlayLabels() {
  const std::pair<const char*, const char*> resets[] = {
      {"STC_PLAYTIME", "00:00:00"}, {"STC_SINGLEPLAYTIME", "00:00:00/00:00:00"}, {"STC_FILESIZE", "No File"},
      {"STC_DISK", "Disk"},        {"STC_DATETIME", "00-00-00"},               {"STC_CLOCKTIME", "00:00:00"}};
  for (const auto& [label, text] : resets) m_labels[label]->SetText(QString::fromLatin1(text));
}

void CLumaroDlg::StopAllWindows() {
  for (int i = 0; i < kVideoWindows; ++i)
    if (m_VideoWndState[static_cast<std::size_t>(i)].IsActive()) StopWindow(i);
}

void CLumaroDlg::SelectWindow(int window) {
  if (window < 0 || window >= kVideoWindows) return;
  m_nSelectedWindow = window;
  m_pPager->SelectWindow(window);
  m_wndTimeStaff->SetSelectedRow(m_VideoWndState[static_cast<std::size_t>(window)].nChannel + 1);
  UpdatePlayButtons();
}

void CLumaroDlg::UpdatePlayButtons() {
  const VideoWndState& state = m_VideoWndState[static_cast<std::size_t>(m_nSelectedWindow)];
  const bool timeMode = m_viewMode == ViewMode::Time;
  const bool active = state.IsActive();
  const bool playing = state.nState == kWindowPlaying;
  auto enable = [&](int id, bool on) { m_buttons[id]->setEnabled(on); };
  enable(idc::kPlay, (state.nState == kWindowIdle && timeMode) || (active && !playing));
  enable(idc::kPause, playing);
  enable(idc::kSlow, playing);
  enable(idc::kFast, playing);
  enable(idc::kSnap, playing);
  enable(idc::kStop, active);
  enable(idc::kFramePrev, active && !state.bRemote);
  enable(idc::kFrameNext, active && !state.bRemote);
  enable(idc::kSaveVideo, active);
  m_sliderPlay->setEnabled(active);
  m_sliderVolume->setEnabled(state.nState != kWindowFree);
  if (state.nState == kWindowFree) enable(idc::kFileOpen, !timeMode);
}

void CLumaroDlg::SetChannelSelected(int channel, bool selected) {
  if (channel < 1 || channel > kChannels) return;
  const std::size_t index = static_cast<std::size_t>(channel - 1);
  ChannelState& state = m_ChannelState[index];
  CPictureButton* button = m_channelButtons[index];
  if (state.bSelected == selected) {
    if (button) button->SetLatched(selected);
    return;
  }
  if (selected) {
    int window = -1;
    for (int i = 0; i < kVideoWindows && window < 0; ++i)
      if (m_VideoWndState[static_cast<std::size_t>(i)].nState == kWindowFree) window = i;
    if (window < 0) {
      if (button) button->SetLatched(false);
      return;
    }
    state.bSelected = true;
    state.nWindow = window;
    const SearchRequest request = CurrentRequest();
    state.tDay = SearchDayStart();
    state.nFromSeconds = request.nFromSeconds;
    state.nToSeconds = request.nToSeconds;
    state.nRecordType = m_nRecordType;
    m_VideoWndState[static_cast<std::size_t>(window)].nChannel = channel - 1;
    m_VideoWndState[static_cast<std::size_t>(window)].nState = kWindowIdle;
    char label[8];
    std::snprintf(label, sizeof label, "%02d", channel);
    m_strRulerLabels[index] = label;
    ++m_nSelectedChannels;
    SelectWindow(window);
    SoundFollowsSelection(window);
    if (m_viewMode == ViewMode::Time) {
      m_labels["STC_WAITING"]->show();
      SearchChannels({channel});
      m_labels["STC_WAITING"]->hide();
      m_wndTimeStaff->SetScrollPos(channel - 1);
    }
  } else {
    const int window = state.nWindow;
    StopWindow(window);
    state.records.clear();
    RemoveChannelRows(channel);
    m_strRulerLabels[index].clear();
    --m_nSelectedChannels;
    state.bSelected = false;
    state.nWindow = -1;
    if (window >= 0) {
      m_VideoWndState[static_cast<std::size_t>(window)] = VideoWndState{};
      if (window == m_nSelectedWindow) {
        for (const ChannelState& other : m_ChannelState)
          if (other.bSelected) {
            SelectWindow(other.nWindow);
            break;
          }
      }
    }
    UpdatePlayButtons();
  }
  if (button) button->SetLatched(selected);
  SyncRulerRows();
  for (CPictureButton* other : m_channelButtons)
    if (other && !other->IsLatched()) other->setEnabled(m_nSelectedChannels < kVideoWindows);
}

void CLumaroDlg::OnRecordTypeChanged(int index) { m_nRecordType = index < 0 ? 0 : index; }

void CLumaroDlg::OnRemoteToggled(bool checked) {
  m_bRemote = checked;
  m_cmbDeviceType->setEnabled(checked);
  if (!checked) {
    m_nDeviceType = 3;
    m_cmbDeviceType->setCurrentIndex(3);
  }
  StopAllWindows();
  m_listResult->setVisible(!checked && m_viewMode == ViewMode::List);
  m_listResultRemote->setVisible(checked && m_viewMode == ViewMode::List);
}

void CLumaroDlg::OnCalendarSelect() {
  if (m_viewMode != ViewMode::Time) return;
  StopAllWindows();
  std::vector<int> channels;
  for (int channel = 1; channel <= kChannels; ++channel)
    if (m_ChannelState[static_cast<std::size_t>(channel - 1)].bSelected) channels.push_back(channel);
  if (channels.empty()) return;
  m_labels["STC_WAITING"]->show();
  SearchChannels(channels);
  m_labels["STC_WAITING"]->hide();
  SelectWindow(0);
  SoundFollowsSelection(0);
}

void CLumaroDlg::OnModeTime() {
  if (m_viewMode == ViewMode::Time) return;
  StopAllWindows();
  m_viewMode = ViewMode::Time;
  ApplyViewMode();
  // Time mode shows the whole day of every selected channel.
  std::vector<int> channels;
  for (int channel = 1; channel <= kChannels; ++channel)
    if (m_ChannelState[static_cast<std::size_t>(channel - 1)].bSelected) channels.push_back(channel);
  if (!channels.empty()) SearchChannels(channels);
}

void CLumaroDlg::OnModeList() {
  if (m_viewMode == ViewMode::List) return;
  StopAllWindows();
  m_viewMode = ViewMode::List;
  // List mode starts empty: the Search button fills it.
  for (ChannelState& state : m_ChannelState) state.records.clear();
  m_listResult->clear();
  SyncRulerRows();
  ApplyViewMode();
}

}  // namespace lumaro
