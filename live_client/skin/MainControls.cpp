#include "live_client/skin/MainControls.h"

#include <cstring>

namespace {

using K = MainControlKind;

constexpr MainControl kControls[] = {
    // Layouts and scrolling of the video grid.
    {1000, "BTN_SINGLE", K::PictureButton, "IDS_TIP_SINGLE"},
    {1001, "BTN_FOUR", K::PictureButton, "IDS_TIP_FOUR"},
    {1002, "BTN_NINE", K::PictureButton, "IDS_TIP_NINE"},
    {1060, "BTN_SIXTEEN", K::PictureButton, "IDS_TIP_SIXTEEN"},
    {1066, "BTN_TWENTYFIVE", K::PictureButton, "IDS_TIP_TWENTY_FOUR"},
    {1003, "BTN_PAGEUP", K::PictureButton, "IDS_TIP_PAGEUP"},
    {1004, "BTN_PAGEDOWN", K::PictureButton, "IDS_TIP_PAGEDOWN"},
    {1010, "BTN_AUTOPAGE", K::CheckButton, "IDS_TIP_AUTOPAGE"},
    {1068, "BTN_WINDOWSTYLE", K::PictureButton, "IDS_TIP_WINDOWSTYLE"},
    {1165, "BTN_FULLSCREEN", K::PictureButton, "IDS_TIP_FULLSCREEN"},
    {1164, "BTN_MUTE", K::PictureButton, "IDS_TIP_MUTE"},
    {1013, "BTN_DISCONNECTALL", K::PictureButton, "IDS_TIP_DISCONNECTALL"},
    // Display pages.
    {1008, "BTN_PAGELEFT", K::PictureButton, "IDS_TIP_PAGELEFT"},
    {1009, "BTN_PAGERIGHT", K::PictureButton, "IDS_TIP_PAGERIGHT"},
    // Text buttons of the bottom bar.
    {1006, "BTN_RECORD", K::TextButton, "IDS_TIP_RECORD"},
    {1014, "BTN_STOPRECORD", K::TextButton, "IDS_TIP_STOP"},
    {1163, "BTN_SNAP", K::TextButton, "IDS_TIP_SNAP"},
    {1057, "BTN_PLAYBACK", K::TextButton, "IDS_TIP_PLAYBACK"},
    {1023, "BTN_CONFIG", K::TextButton, "IDS_TIP_CONFIG"},
    // Minimise and exit, in the title bar and in the bottom bar.
    {1046, "BTN_MIN", K::PictureButton, "IDS_TIP_MIN"},
    {1067, "BTN_EXIT", K::PictureButton, "IDS_TIP_EXIT"},
    {1047, "BTN_MINIMIZE", K::PictureButton, "IDS_TIP_MIN"},
    {1069, "BTN_QUIT", K::PictureButton, "IDS_TIP_EXIT"},
    // PTZ pad.
    {1041, "BTN_PTZ_UP", K::PtzButton, "IDS_TIP_PTZ_UP"},
    {1042, "BTN_PTZ_DOWN", K::PtzButton, "IDS_TIP_PTZ_DOWN"},
    {1043, "BTN_PTZ_LEFT", K::PtzButton, "IDS_TIP_PTZ_LEFT"},
    {1044, "BTN_PTZ_RIGHT", K::PtzButton, "IDS_TIP_PTZ_RIGHT"},
    {1045, "BTN_PTZ_AUTO", K::PtzButton, "IDS_TIP_PTZ_AUTO"},
    {1033, "BTN_ZOOM_OUT", K::PtzButton, "IDS_TIP_ZOOM_OUT"},
    {1034, "BTN_ZOOM_IN", K::PtzButton, "IDS_TIP_ZOOM_IN"},
    {1035, "BTN_FOCUS_FAR", K::PtzButton, "IDS_TIP_FOCUS_FAR"},
    {1036, "BTN_FOCUS_NEAR", K::PtzButton, "IDS_TIP_FOCUS_NEAR"},
    {1037, "BTN_IRIS_CLOSE", K::PtzButton, "IDS_TIP_IRIS_CLOSE"},
    {1038, "BTN_IRIS_OPEN", K::PtzButton, "IDS_TIP_IRIS_OPEN"},
    {1039, "BTN_BRUSH_OFF", K::PtzButton, "IDS_TIP_BRUSH_OFF"},
    {1040, "BTN_BRUSH_ON", K::PtzButton, "IDS_TIP_BRUSH_ON"},
    {1048, "BTN_PTZ_LIGHT", K::PtzButton, "IDS_TIP_PTZ_LIGHT"},
    // Labels, logo, tree, status line and disk bar.
    {0, "STC_LOGO", K::Logo, nullptr},
    {0, "STC_ZOOM", K::Label, nullptr},
    {0, "STC_FOCUS", K::Label, nullptr},
    {0, "STC_IRIS", K::Label, nullptr},
    {0, "STC_BRUSH", K::Label, nullptr},
    {0, "STC_POWER", K::Label, nullptr},
    {0, "STC_SERLIGHT", K::Label, nullptr},
    {0, "STC_PAGEINFO", K::Label, nullptr},
    {0, "STC_RUNDAYS", K::Label, nullptr},
    {0, "STC_CLOCK", K::Label, nullptr},
    {0, "STC_USEDISK", K::Label, nullptr},
    {0, "STC_PROGRESS", K::Progress, nullptr},
    {1062, "TREE_CONFIG", K::Tree, nullptr},
};

}  // namespace

std::span<const MainControl> MainDialogControls() { return kControls; }

const MainControl* FindMainControl(const char* name) {
  for (const MainControl& control : kControls)
    if (std::strcmp(control.name, name) == 0) return &control;
  return nullptr;
}
