#pragma once

// Connects CVantorRemote to the main dialog through the dialog's public side: picture
// windows, the mute state, the language file for the questions and notices, and the
// dialog's handle as owner of the message boxes. What changes the dialog's own controls
// (search buttons, window states, the progress display) is handed to the dialog through
// the hooks below, which the dialog sets when it creates this object.
//
// Threads: user-interface thread only, as CVantorRemote calls it.

#include <functional>
#include <string>

#include "playback_app/remote/CVantorRemote.h"

namespace lumaro {

class CLumaroDlg;

class CRemoteDlgHost : public IVantorHost {
 public:
  explicit CRemoteDlgHost(CLumaroDlg& dialog) : m_dialog(dialog) {}

  // Hooks into the dialog's controls; an unset hook leaves a trace line only.
  std::function<void()> onRowsAdded;
  std::function<void(SearchFailure failure)> onSearchEnded;
  std::function<void(int window)> onPlayStopped;
  std::function<void(int window)> onStreamStarted;
  std::function<void()> onProgressChanged;

  void OnRemoteRowsAdded() override;
  void OnRemoteSearchEnded(SearchFailure failure) override;
  void OnRemotePlayStopped(int window) override;
  void OnRemoteStreamStarted(int window) override;
  void* VideoWindowHandle(int window) override;
  StreamDisplay DisplayCallback() override;
  bool SoundMuted() override;
  bool AskYesNo(const char* key) override;
  void Notify(const char* key) override;
  void OnDownloadProgressChanged() override;

 private:
  // The text of `key` in the language file's text section; the key itself when missing, so
  // a question is never shown empty.
  std::string LanguageText(const char* key) const;
  std::string Caption() const;

  CLumaroDlg& m_dialog;
};

}  // namespace lumaro
