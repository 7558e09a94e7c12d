#include "playback_app/remote/CRecorderRemote.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/TraceMessage.h"
#include "device_sdk/Glimmet/Glimmet.h"
#include "platform/Files.h"
#include "platform/TimeText.h"
#include "platform/Window.h"
#include "playback_app/remote/Yv12Bitmap.h"

namespace lumaro {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int yearOfEra = static_cast<int>(year - era * 400);
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// The login block's text fields take the bytes without a terminator, at most the field.
void CopyField(char* field, std::size_t width, const std::string& text) {
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

}  // namespace

std::uint16_t RecorderTypeMask(int comboIndex) {
  switch (comboIndex) {
    case 1: return ORVANE_REC_MANUAL;
    case 2: return ORVANE_REC_TIMER;
    case 3: return ORVANE_REC_MOTION | ORVANE_REC_ALARM;
    default: return 16;  // every type
  }
}

int RecorderChannelCount(int deviceType) {
  switch (deviceType) {
    case 0: return 4;
    case 1: return 16;
    case 2: return 8;
    default: return 0;
  }
}

std::uint32_t RecorderSeconds(int year, int month, int day, int secondsOfDay) {
  const std::int64_t seconds = DaysFromCivil(year, month, day) * 86400 + secondsOfDay;
  return seconds < 0 ? 0u : static_cast<std::uint32_t>(seconds);
}

std::string RecorderTimeText(std::uint32_t seconds) {
  // Inverse of DaysFromCivil.
  const std::int64_t days = seconds / 86400 + 719468;
  const int secondsOfDay = static_cast<int>(seconds % 86400);
  const std::int64_t era = days / 146097;
  const int dayOfEra = static_cast<int>(days - era * 146097);
  const int yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int monthIndex = (5 * dayOfYear + 2) / 153;
  const int day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const int month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const int year = static_cast<int>(yearOfEra + era * 400) + (month <= 2);
  char date[32], time[16], text[48];
  std::snprintf(date, sizeof date, "%4d/%02d/%02d", year, month, day);
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", secondsOfDay / 3600, secondsOfDay / 60 % 60, secondsOfDay % 60);
  std::snprintf(text, sizeof text, "%s-%s", date, time);
  return text;
}

bool ResolveRecorderAddress(const std::string& address, unsigned int& ip) {
  in_addr dotted{};
  if (::inet_pton(AF_INET, address.c_str(), &dotted) == 1) {
    ip = dotted.s_addr;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (address.empty() || ::getaddrinfo(address.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  ip = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return true;
}

CRecorderRemote::CRecorderRemote(void* dialog, std::array<std::atomic<int>, kVideoWindows>& snapshotRequests,
                                 std::string pictureFolder)
    : m_hDialog(dialog), m_snapRequest(snapshotRequests), m_strPictureFolder(std::move(pictureFolder)) {}

CRecorderRemote::~CRecorderRemote() {
  StopPlay();
  Close();
}

RecorderConnect CRecorderRemote::Connect(const RecorderLogin& login) {
  if (m_hDvr != 0 && login == m_login) {
    // A link that dropped since is opened anew rather than reused for failing searches.
    unsigned char params[96];
    if (ORVANE_getSystemParams(m_hDvr, params) == 0) return RecorderConnect::Reused;
  }
  Close();
  if (m_hDvr != 0) return RecorderConnect::OpenFailed;  // the old handle would not go away
  int handle = 0;
  const int opened = ORVANE_createDVR(&handle, login.ip, login.port);
  if (opened != 0) {
    TraceMessage("open failed! ret = %d", opened);
    return RecorderConnect::OpenFailed;
  }
  m_hDvr = handle;
  m_login = login;
  ORVANE_LOGIN block;
  std::memset(&block, 0, sizeof block);
  CopyField(block.user, sizeof block.user, login.user);
  CopyField(block.password, sizeof block.password, login.password);
  // The password stays out of the trace file.
  TraceMessage("USER: %s, PASS: %s", login.user.c_str(), std::string(login.password.size(), '*').c_str());
  const int logged = ORVANE_loginServer(m_hDvr, &block);
  if (logged != 0) {
    TraceMessage("login failed! ret = %d", logged);
    // A connection that never logged in cannot be reused: the next search opens anew.
    Close();
    return RecorderConnect::LoginFailed;
  }
  unsigned char params[96];
  std::memset(params, 0, sizeof params);
  if (ORVANE_getSystemParams(m_hDvr, params) != 0) {
    TraceMessage("GetSystemParams err!");
    return RecorderConnect::ParamsFailed;
  }
  return RecorderConnect::Opened;
}

void CRecorderRemote::Close() {
  if (m_hDvr == 0) return;
  if (m_nPlayWindow >= 0) StopPlay();
  ReleaseResults();
  const int logout = ORVANE_logoutServer(m_hDvr);
  if (logout != 0 && logout != ORVANE_ERR_NOT_LOGGED_IN) TraceMessage("ORVANE_logoutServer() error.");
  if (ORVANE_destroyDVR(m_hDvr) != 0) {
    TraceMessage("ORVANE_destroyDVR() error");
    return;
  }
  m_hDvr = 0;
  m_login = RecorderLogin{};
  m_nPlayWindow = -1;
}

void CRecorderRemote::ReleaseResults() {
  ORVANE_RECFILE* files = m_result.files;  // a packed field: read it by value
  if (m_result.total > 0 || files != nullptr) ORVANE_recFilesSearchClean(&m_result);
  std::memset(&m_result, 0, sizeof m_result);
}

int CRecorderRemote::AddPageRows(int channel, const RowSink& row) {
  const int first = m_result.first, last = m_result.last;
  // The recorder says how many it returned and the chain says it again: believe neither
  // beyond one page.
  int count = first > 0 && last >= first ? std::min(last - first + 1, int{kRecorderPageSize}) : 0;
  int added = 0;
  for (const ORVANE_RECFILE* file = m_result.files; file != nullptr && added < count; ++added) {
    ORVANE_RECFILE copy;
    std::memset(&copy, 0, sizeof copy);
    std::memcpy(&copy, file, ORVANE_RECFILE_DATA_BYTES);
    copy.fileName[sizeof copy.fileName - 1] = '\0';
    row(channel, copy);
    file = file->next;
  }
  return added;
}

bool CRecorderRemote::Search(const std::vector<int>& channels, const RecorderQuery& query, const RowSink& row) {
  if (m_hDvr == 0) return false;
  ReleaseResults();
  for (int channel : channels) {
    if (channel < 1 || channel > 16) continue;  // the query's mask has 16 bits
    ORVANE_SEARCH search;
    std::memset(&search, 0, sizeof search);
    search.channelMask = static_cast<std::uint16_t>(1u << (channel - 1));
    search.typeMask = query.typeMask;
    search.startTime = query.start;
    search.endTime = query.end;
    search.firstIndex = 1;
    search.pageSize = kRecorderPageSize;
    if (ORVANE_recFilesSearch(m_hDvr, &search, &m_result) != 0) {
      TraceMessage("recFilesSearch failed!");
      return false;
    }
    const int pages = (m_result.total + kRecorderPageSize - 1) / kRecorderPageSize;
    if (pages < 1) continue;
    // A page without rows ends the channel: a recorder announcing more matches than it
    // delivers would otherwise be asked thousands of times while the operator waits.
    if (AddPageRows(channel, row) == 0) continue;
    for (int page = 1; page < pages; ++page) {
      search.firstIndex = static_cast<std::uint16_t>(search.firstIndex + kRecorderPageSize);
      if (ORVANE_recFilesSearch(m_hDvr, &search, &m_result) != 0) {
        TraceMessage("recFilesSearch failed!");
        return false;
      }
      if (AddPageRows(channel, row) == 0) break;
    }
  }
  return true;
}

bool CRecorderRemote::StartPlay(int window, const ORVANE_RECFILE& file) {
  if (m_hDvr == 0 || window < 0 || window >= kVideoWindows) return false;
  if (m_nPlayWindow >= 0 && !StopPlay()) return false;
  m_nCallbackWindow = window;
  m_nProgressPercent = -1;
  if (ORVANE_openPlayCBReciever(m_hDvr, 0, &CRecorderRemote::PlayCallback, this) != 0)
    TraceMessage("openPlayer failed.");
  ORVANE_setPlayCBDecoderFMT(m_hDvr, 0, ORVANE_FMT_YUV420);
  ORVANE_regCBMsgPlayOver(m_hDvr, 0, &CRecorderRemote::PlayOverCallback, nullptr);
  ORVANE_regCBMsgProgress(m_hDvr, 0, &CRecorderRemote::ProgressCallback, this);
  if (ORVANE_startFilePlay(m_hDvr, 0, &file) != 0) {
    TraceMessage("startRemoteFilePlay failed.");
    if (ORVANE_closePlayCBReciever(m_hDvr, 0) != 0) TraceMessage("closePlayer failed!");
    return false;
  }
  ORVANE_playProgress(m_hDvr, 0, 1);
  m_nPlayWindow = window;
  return true;
}

bool CRecorderRemote::StopPlay() {
  if (m_nPlayWindow < 0) return true;
  if (ORVANE_stopFilePlay(m_hDvr, 0) != 0) return false;
  ORVANE_closePlayCBReciever(m_hDvr, 0);
  m_nPlayWindow = -1;
  return true;
}

bool CRecorderRemote::Pause() { return m_nPlayWindow >= 0 && ORVANE_pausePlay(m_hDvr, 0) == 0; }

bool CRecorderRemote::Resume() { return m_nPlayWindow >= 0 && ORVANE_resumePlay(m_hDvr, 0) == 0; }

bool CRecorderRemote::SetRate(int rate) { return m_nPlayWindow >= 0 && ORVANE_setPlayRate(m_hDvr, 0, rate) == 0; }

void CRecorderRemote::PlayCallback(ORVANE_FRAME* frame, void* user) {
  auto* self = static_cast<CRecorderRemote*>(user);
  if (!self || !frame || frame->type != ORVANE_FRAME_VIDEO) return;
  const int window = self->m_nCallbackWindow;
  unsigned char* picture = frame->data;  // packed fields: read them by value
  const int width = frame->width, height = frame->height;
  if (window < 0 || window >= kVideoWindows || !picture || width <= 0 || height <= 0) return;
  GL_DisplayImg(window, picture, width, height);
  if (self->m_snapRequest[static_cast<std::size_t>(window)].exchange(0) == 0) return;
  auto* name = new std::string(self->m_strPictureFolder + platform::FormatLocalTimeNow("%Y%m%d_%H%M%S") + ".bmp");
  const bool ok = platform::CreateFolderTree(self->m_strPictureFolder) && WriteYv12Bitmap(picture, width, height, *name);
  if (!platform::PostMessage(self->m_hDialog, UM_SNAPSHOT_DONE, ok ? 1 : 0, reinterpret_cast<platform::LPARAM>(name)))
    delete name;
}

void CRecorderRemote::ProgressCallback(unsigned int position, unsigned int total, void* user) {
  auto* self = static_cast<CRecorderRemote*>(user);
  if (!self || total == 0) return;
  const auto percent = static_cast<int>(std::min<std::uint64_t>(std::uint64_t{position} * 100 / total, 100));
  // Only the latest value matters; one posted message per change is enough to fetch it.
  if (self->m_nProgressPercent.exchange(percent) == percent) return;
  platform::PostMessage(self->m_hDialog, UM_SDK_PROGRESS, 0, 0);
}

void CRecorderRemote::PlayOverCallback(void*) {}

}  // namespace lumaro
