#pragma once

// The connection work the main dialog hands on: logins, previews and recordings of the camera
// slots. The dialog owns the commands, the page rules and the exit order; an implementation of
// this interface owns what happens on the wire. Without one the client runs without live video
// (every slot stays unconnected).

#include "live_client/core/CThreadSingleConnect.h"
#include "platform/Window.h"

class KorvelLiveLink {
 public:
  virtual ~KorvelLiveLink() = default;

  // Connect worker of `window`, on the worker's thread: carries out one command.
  virtual void RunCommand(int window, ConnectCommand command) = 0;
  // UI thread, page change: stops the preview of a connected, idle slot of the old page.
  // False when no login serves the slot.
  virtual bool StopPreview(int page, int window) = 0;
  // UI thread, page change: connects a tried, unconnected slot of the new page again. False
  // when no login serves the slot.
  virtual bool Reconnect(int page, int window) = 0;
  // UI thread: stops every preview and recording and releases the logins (command 1013 and
  // the exit).
  virtual void DisconnectAll() = 0;
  // UI thread: a PTZ button's press (start 1) or release (start 0); for the preset codes
  // 17-19 `start` is the preset number.
  virtual void Ptz(platform::WPARAM code, platform::LPARAM start) = 0;
};
