#pragma once

// Fixed numbers of the playback program: control ids, private messages of the main dialog,
// timers and menu commands. Peers (the live client, the time ruler, worker threads) and the
// theme files rely on them, so they never change.

#include "platform/Window.h"

namespace lumaro {

// Private messages of the main dialog. Workers and child windows post them; the dialog
// handles them on the user-interface thread.
inline constexpr unsigned UM_SELECT_WINDOW = 0x464;
inline constexpr unsigned UM_FILE_END = 0x465;
inline constexpr unsigned UM_RULER_SEEK = 0x466;
inline constexpr unsigned UM_QUERY_CONNECTED = 0x467;
inline constexpr unsigned UM_TRANSMIT_CONNECTED = 0x468;
inline constexpr unsigned UM_SEARCH_END = 0x469;
inline constexpr unsigned UM_TRANSMIT_READY = 0x46A;  // sent: the parameter points into the worker
inline constexpr unsigned UM_PLAY_STOPPED = 0x46B;
inline constexpr unsigned UM_PLAY_STOPPED2 = 0x46C;
inline constexpr unsigned UM_QUERY_CLOSED = 0x46D;
inline constexpr unsigned UM_TRANSMIT_CLOSED = 0x46E;
inline constexpr unsigned UM_SNAPSHOT_DONE = 0x46F;
inline constexpr unsigned UM_CHANNEL_EVENT = 0x470;
inline constexpr unsigned UM_CHANNEL_DRAG = 0x471;
inline constexpr unsigned UM_DOWN_READY = 0x472;      // sent: the parameter points into the worker
inline constexpr unsigned UM_DOWN_CONNECTED = 0x473;
inline constexpr unsigned UM_DOWN_DATA_END = 0x474;
inline constexpr unsigned UM_DOWN_CMD_CLOSED = 0x475;
inline constexpr unsigned UM_DOWN_NEXT = 0x476;
inline constexpr unsigned UM_DOWN_PROGRESS = 0x477;
inline constexpr unsigned UM_RULER_SCROLL = 0x478;
inline constexpr unsigned UM_RESERVED_479 = 0x479;    // answered with 0
inline constexpr unsigned UM_SDK_PROGRESS = 0x47A;    // the recorder's playback has a new position
inline constexpr unsigned UM_STOP_REQUEST = 0x47B;    // the system asks the program to end; wParam the signal
inline constexpr unsigned UM_FIRST = UM_SELECT_WINDOW;
inline constexpr unsigned UM_SEARCH_ROWS = 0x47C;     // a search reply of window wParam added rows
inline constexpr unsigned UM_LAST = UM_SEARCH_ROWS;

// The notice posted at exit to the window titled kExitNoticeTitle (WM_USER + 500).
inline constexpr unsigned WM_LUMARO_EXITED = platform::WM_USER + 500;
inline constexpr const char* kExitNoticeTitle = "DUD Avuda Zodazize";
// Name of the single-instance lock.
inline constexpr const char* kInstanceMutexName = "A45E8C38-4C02-468d-A23D-5536C38F9078";

// Timers of the main dialog: 1000 + window drives the position display of windows 0..15;
// the clock timer writes the date and time labels once a second.
inline constexpr unsigned kTimerPositionFirst = 1000;
inline constexpr unsigned kTimerPositionLast = 1015;
inline constexpr unsigned kTimerClock = 1017;
inline constexpr unsigned kClockPeriodMs = 1000;
// While a device search runs, its connections are checked for silence this often.
inline constexpr unsigned kTimerSearchWatch = 1018;
inline constexpr unsigned kSearchWatchPeriodMs = 500;

// Task codes of the command thread.
inline constexpr int kTaskStopSearchRemote = 300;
inline constexpr int kTaskStopAllVantor = 301;

// Playback windows, channels.
inline constexpr int kVideoWindows = 16;
inline constexpr int kChannels = 24;

// Control ids of the main dialog.
namespace idc {
inline constexpr int kPlay = 1000;
inline constexpr int kPause = 1001;
inline constexpr int kStop = 1002;
inline constexpr int kFramePrev = 1003;
inline constexpr int kFrameNext = 1004;
inline constexpr int kSlow = 1005;
inline constexpr int kFast = 1006;
inline constexpr int kSnap = 1007;
inline constexpr int kExit = 1008;
inline constexpr int kListResult = 1018;
inline constexpr int kModeTime = 1022;
inline constexpr int kModeList = 1023;
inline constexpr int kRecordType = 1026;
inline constexpr int kSearch = 1028;
inline constexpr int kSliderVolume = 1029;
inline constexpr int kSliderPlay = 1030;
inline constexpr int kRemote = 1038;
inline constexpr int kListResultRemote = 1039;
inline constexpr int kCalendar = 1040;
inline constexpr int kSearchStop = 1042;
inline constexpr int kMute = 1043;
inline constexpr int kFileOpen = 1045;
inline constexpr int kSaveVideo = 1046;
inline constexpr int kSplit1 = 1047;
inline constexpr int kSplit4 = 1048;
inline constexpr int kSplit9 = 1049;
inline constexpr int kSplit16 = 1050;
inline constexpr int kRulerAll = 1054;
inline constexpr int kDeviceType = 1056;
inline constexpr int kPlayAll = 1057;
inline constexpr int kStopAll = 1058;
inline constexpr int kFullScreen = 1059;
inline constexpr int kSlowAll = 1066;
inline constexpr int kFastAll = 1067;
inline constexpr int kChannelFirst = 9001;  // 9001..9024: channel buttons CH 1..CH24
inline constexpr int kMonthView = 9516;
}  // namespace idc

// Menu commands: theme i and language i of the lists.
inline constexpr int kCommandThemeFirst = 32800;
inline constexpr int kCommandLanguageFirst = 32900;
inline constexpr int kCommandAbout = 16;

}  // namespace lumaro
