#pragma once

// Themes and language files of the playback program: where they lie, the theme list, the
// language list and the loaded theme (rectangles, colours, pictures).

#include <QImage>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "playback_app/ConfigReader.h"

namespace lumaro {

// Pictures of one skinned button in the order hover, normal, pressed, disabled.
using ButtonPictures = std::array<QImage, 4>;
enum ButtonFace { kFaceHover = 0, kFaceNormal = 1, kFacePressed = 2, kFaceDisabled = 3 };

struct ThemeData {
  std::string name;
  std::string folder;  // ends with a backslash
  std::string file;
  bool b1440 = false;
  int videoWindowRect[4] = {0, 0, 0, 0};  // left, top, right, bottom
  int timeStaffRect[4] = {0, 0, 0, 0};
  int timeStaffRowHeight = 16;
  int lineWidth = 1;
  SkinPoint channelStart;
  SkinPoint channelStep;
  SkinColor videoBackground;
  SkinColor timeStaffBackground;
  SkinColor videoFrame;
  std::map<std::string, SkinColor> buttonTextColors;  // BTN_SEARCH, BTN_MODELIST, BTN_MODETIME
  std::array<QImage, 4> backgrounds;                  // top, bottom, left, right
  std::map<std::string, ButtonPictures> buttons;      // by section (the button's caption)
  ButtonPictures channelButton;                        // "1H.jpg" ... "1X.jpg"
  QImage sliderPlay, thumbPlay, sliderVolume, thumbVolume;
};

// The background strips' sections, in the order of ThemeData::backgrounds.
inline constexpr std::array<const char*, 4> kBackgroundSections = {
    "IDB_BITMAP_BACK_TOP", "IDB_BITMAP_BACK_BOTTOM", "IDB_BITMAP_BACK_LEFT", "IDB_BITMAP_BACK_RIGHT"};

// "<program>\UI_Skin\Lumaro\<name><res>Theme\" and the theme file in it.
std::string ThemeFolder(const std::string& programFolder, const std::string& name, int resolution);
std::string ThemeFile(const std::string& programFolder, const std::string& name, int resolution);

// Loads theme `name` for `resolution` with the pictures of `buttonSections`. Every failure
// shows its message; `theme` is only replaced on success.
bool LoadTheme(const std::string& programFolder, const std::string& name, int resolution,
               const std::vector<std::string>& buttonSections, ThemeData& theme);

// Names of the themes below "<program>\UI_SKin\Lumaro\": each sub-folder's first "*.ini" with
// a non-empty [ThemeName] ENG; a name offered by several resolution folders appears once.
std::vector<std::string> ThemeList(const std::string& programFolder);

struct LanguageEntry {
  std::string name;     // [General] Language, the suffix of the file name when absent
  std::string caption;  // [General] LanCaption
};
// The live client's language files "<program>\Language\Korvel\Language.*".
std::vector<LanguageEntry> LanguageList(const std::string& programFolder);
// "<program>\Language\Lumaro\Language.<name>".
std::string LanguageFile(const std::string& programFolder, const std::string& name);

}  // namespace lumaro
