#include "playback_app/remote/CRemoteDlgHost.h"

#include <vector>

#include "common/TraceMessage.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/VideoPlayerWnd.h"

namespace lumaro {

namespace {
constexpr const char* kTextSection = "TEXT_STRING";
}

std::string CRemoteDlgHost::LanguageText(const char* key) const {
  std::vector<char> text(1024);
  const std::uint32_t length = platform::GetPrivateProfileString(
      kTextSection, key, key, text.data(), static_cast<std::uint32_t>(text.size()),
      m_dialog.LanguageFilePath().c_str());
  return std::string(text.data(), length);
}

std::string CRemoteDlgHost::Caption() const { return LanguageText("IDS_APP_TITLE"); }

void CRemoteDlgHost::OnRemoteRowsAdded() {
  if (onRowsAdded) onRowsAdded();
}

void CRemoteDlgHost::OnRemoteSearchEnded(SearchFailure failure) {
  if (onSearchEnded) onSearchEnded(failure);
  else TraceMessage("[LUMARO] - remote search ended (failure %d).", static_cast<int>(failure));
}

void CRemoteDlgHost::OnRemotePlayStopped(int window) {
  if (onPlayStopped) onPlayStopped(window);
  else TraceMessage("[LUMARO] - remote playback of window %d stopped.", window);
}

void CRemoteDlgHost::OnRemoteStreamStarted(int window) {
  if (onStreamStarted) onStreamStarted(window);
  else TraceMessage("[LUMARO] - remote stream of window %d started.", window);
}

void* CRemoteDlgHost::VideoWindowHandle(int window) {
  VideoPlayerWnd* video = m_dialog.VideoWindow(window);
  return video != nullptr ? video->Handle() : nullptr;
}

StreamDisplay CRemoteDlgHost::DisplayCallback() { return StreamDisplay{&CLumaroDlg::DisplayCBFun, &m_dialog}; }

bool CRemoteDlgHost::SoundMuted() { return m_dialog.IsMuted(); }

bool CRemoteDlgHost::AskYesNo(const char* key) {
  return platform::MessageBox(m_dialog.Handle(), LanguageText(key), Caption(), platform::MB_YESNO) ==
         platform::IDYES;
}

void CRemoteDlgHost::Notify(const char* key) {
  platform::MessageBox(m_dialog.Handle(), LanguageText(key), Caption(), platform::MB_OK);
}

void CRemoteDlgHost::OnDownloadProgressChanged() {
  if (onProgressChanged) onProgressChanged();
}

}  // namespace lumaro
