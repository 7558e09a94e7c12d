#pragma once

// Fixed numbers of the live client's main dialog: command identifiers of its buttons and
// menu, the window messages it accepts and the ids of its timers. Other programs, the
// notifier and the connect workers rely on these values, so they never change.

namespace korvel {

// Buttons and controls of the main dialog.
inline constexpr int IDC_BTN_LAYOUT_1 = 1000;
inline constexpr int IDC_BTN_LAYOUT_4 = 1001;
inline constexpr int IDC_BTN_LAYOUT_9 = 1002;
inline constexpr int IDC_BTN_LAYOUT_16 = 1060;
inline constexpr int IDC_BTN_LAYOUT_25 = 1066;
inline constexpr int IDC_BTN_PAGEUP = 1003;      // previous screenful of windows
inline constexpr int IDC_BTN_PAGEDOWN = 1004;    // next screenful of windows
inline constexpr int IDC_BTN_NOACTION = 1005;
inline constexpr int IDC_BTN_RECORD = 1006;
inline constexpr int IDC_BTN_PAGELEFT = 1008;    // previous display page
inline constexpr int IDC_BTN_PAGERIGHT = 1009;   // next display page
inline constexpr int IDC_CHK_AUTOPAGE = 1010;
inline constexpr int IDC_BTN_DISCONNECT_ALL = 1013;
inline constexpr int IDC_BTN_STOPRECORD = 1014;
inline constexpr int IDC_BTN_CONFIG = 1023;
inline constexpr int IDC_BTN_MIN = 1046;
inline constexpr int IDC_BTN_MIN2 = 1047;
inline constexpr int IDC_BTN_PLAYBACK = 1057;
inline constexpr int IDC_TREE_CAMERA = 1062;
inline constexpr int IDC_BTN_EXIT = 1067;
inline constexpr int IDC_BTN_WINDOWSTYLE = 1068;
inline constexpr int IDC_BTN_EXIT2 = 1069;
inline constexpr int IDC_BTN_SNAP = 1163;
inline constexpr int IDC_BTN_MUTE = 1164;
inline constexpr int IDC_BTN_FULLSCREEN = 1165;

// Controls of a video window.
inline constexpr int IDC_VIDEO_SURFACE = 1007;
inline constexpr int IDC_VIDEO_TITLE = 1149;
inline constexpr int IDC_VIDEO_RECMARK = 1150;

// Context-menu commands; a video window passes them on to the main dialog.
inline constexpr int ID_MENU_CONNECT = 32771;
inline constexpr int ID_MENU_DISCONNECT = 32775;
inline constexpr int ID_MENU_STARTREC = 32776;
inline constexpr int ID_MENU_STOPREC = 32777;
inline constexpr int ID_MENU_LAYOUT_1 = 32779;
inline constexpr int ID_MENU_LAYOUT_4 = 32780;
inline constexpr int ID_MENU_LAYOUT_9 = 32782;
inline constexpr int ID_MENU_LAYOUT_16 = 32833;
inline constexpr int ID_MENU_LAYOUT_25 = 32836;
inline constexpr int ID_MENU_PAGEUP = 32784;
inline constexpr int ID_MENU_PAGEDOWN = 32785;
inline constexpr int ID_MENU_SNAP = 32837;
inline constexpr int ID_MENU_PAGELEFT = 32838;
inline constexpr int ID_MENU_PAGERIGHT = 32839;
inline constexpr int ID_MENU_PRESETS = 32840;  // the PTZ presets of the selected window

// Window messages the main dialog accepts.
inline constexpr unsigned WM_KORVEL_PTZ = 0x857;          // wParam, lParam: PTZ button data
inline constexpr unsigned WM_KORVEL_WNDSTATUS = 0x914;    // wParam: window index
inline constexpr unsigned WM_KORVEL_TREEIMAGE = 0x915;    // wParam: window, lParam: image
inline constexpr unsigned WM_KORVEL_RECSTATUS = 0x916;    // wParam: window, lParam: state
inline constexpr unsigned WM_KORVEL_OPENSNAPDIR = 0x47B;  // wParam: const char* file path
// Posted to the error report (wParam kind/code, lParam window/page or login).
inline constexpr unsigned WM_KORVEL_ERRREPORT = 0x52C;

// Timers of the main dialog.
inline constexpr unsigned TIMER_STATUS = 2137;     // status line, every second
inline constexpr unsigned TIMER_BLINK = 202;       // record-mark blink, every second
inline constexpr unsigned TIMER_EXIT_WAIT = 300;   // exit retry while workers are busy
inline constexpr unsigned kStatusPeriodMs = 1000;
inline constexpr unsigned kBlinkPeriodMs = 1000;
inline constexpr unsigned kExitRetryMs = 500;
// How long one exit check waits for the workers' idle events.
inline constexpr unsigned kExitPollMs = 10;

// Images of the camera tree's items.
inline constexpr int kTreeImageConnected = 1;
inline constexpr int kTreeImageUnassigned = 2;
inline constexpr int kTreeImagePending = 3;
inline constexpr int kTreeImageAssigned = 4;
inline constexpr int kTreeImageFailed = 6;
inline constexpr int kTreeImageCount = 7;

// Record-button states of a window (SetRecStatus).
inline constexpr int kRecButtonsOff = 0;
inline constexpr int kRecButtonsCanStart = 2;
inline constexpr int kRecButtonsCanStop = 3;

// Rectangle the grid is created in before the theme places it.
inline constexpr int kInitialGridLeft = 8;
inline constexpr int kInitialGridTop = 32;
inline constexpr int kInitialGridRight = 864;
inline constexpr int kInitialGridBottom = 672;

}  // namespace korvel
