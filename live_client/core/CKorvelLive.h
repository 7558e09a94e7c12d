#pragma once

// The live client's connection work behind the main dialog: what each window's connect worker
// does for a command, the page-change stop and reconnect, disconnecting everything, and the
// PTZ commands of the selected window. See KorvelLogin.h for the lock order.

#include "live_client/core/KorvelLiveLink.h"

class CKorvelDlg;
class CCameraInfo;

class CKorvelLive : public KorvelLiveLink {
 public:
  // The dialog outlives the link's use: workers are destroyed before the dialog ends.
  explicit CKorvelLive(CKorvelDlg& dialog) : dialog_(dialog) {}

  void RunCommand(int window, ConnectCommand command) override;
  bool StopPreview(int page, int window) override;
  bool Reconnect(int page, int window) override;
  void DisconnectAll() override;
  void Ptz(platform::WPARAM code, platform::LPARAM start) override;

 private:
  void Connect(int w);
  void Disconnect(int w);
  // A pad command for a network camera logged in through its services (window w): moves,
  // zoom, focus and iris by press and release; presets 17-19 with the preset number in
  // `start`. What the camera does not serve is traced, not sent.
  void SendCameraPtz(int handle, int channel, int code, int start, int w);

  CKorvelDlg& dialog_;
};
