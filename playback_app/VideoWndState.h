#pragma once

// Playback state of one of the 16 video windows (window index = player port).

#include <string>

namespace lumaro {

enum WindowState { kWindowFree = 0, kWindowIdle = 1, kWindowPlaying = 2, kWindowPaused = 3, kWindowStepping = 4 };

struct VideoWndState {
  int nState = kWindowFree;
  int nChannel = -1;          // 0-based channel index, -1 when free
  float m_fSpeed = 1.0f;
  bool bRemote = false;
  int nTotalSeconds = 0;
  int nVolume = -1;           // 0..65535, -1 when not set
  int nRecordIndex = -1;      // index of the open recording in its channel's list
  float fStartPosition = 0.0f;
  std::string strRemoteFile;

  bool IsActive() const {
    return nState == kWindowPlaying || nState == kWindowPaused || nState == kWindowStepping;
  }
};

}  // namespace lumaro
