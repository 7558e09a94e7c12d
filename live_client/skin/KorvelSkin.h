#pragma once

// The live client's theme and language.
//
// Files beside the executable (client folder = the folder of the running program):
//   theme folders   <client>\UI_Skin\Korvel\<one folder per theme>
//   theme file      <client>\UI_Skin\Korvel\<S><R>Theme\<S><R>Theme.ini, S the skin name and R
//                   "1024,768" (resolution class 1) or "1440,900" (class 2); its folder is the
//                   skin folder holding every picture of the theme
//   language files  <client>\Language\Korvel\Language.<name>
//
// Start-up calls InitThemeList, LoadTheme, LoadLanguageList and LoadLanguage in that order;
// each reports its own failure in a message box. Afterwards the object is only read; it belongs
// to the user-interface thread.

#include <string>
#include <vector>

#include <QImage>

#include "live_client/skin/SkinReader.h"

// One of the four border pictures of the main dialog.
struct BorderPicture {
  std::string section;   // "IDB_BITMAP_BACK_TOP", ...
  std::string path;      // skin folder + BMPNAME + ".jpg"
  SkinRect position;     // where it is drawn (unscaled, at the left and top of this rectangle)
  QImage image;          // null when the picture could not be loaded
};

enum class BorderSide { Top = 0, Bottom, Left, Right };

struct LanguageEntry {
  std::string name;     // the file suffix: "English" for Language.English
  std::string caption;  // [General] LanCaption, the display name
};

class CKorvelSkin {
 public:
  // Step 1: remembers the client folder (Windows form, no trailing '\') and lists the themes:
  // for each subfolder of the theme folders, the first "*.ini" whose [ENG] ThemeName is not
  // empty gives the name. Traces "[KORVEL] - <client folder>".
  void InitThemeList(const std::string& clientFolder);
  const std::string& ClientFolder() const { return clientFolder_; }
  const std::vector<std::string>& ThemeNames() const { return themeNames_; }

  // Step 2: forms the skin folder and theme file, then reads the video area, the theme colours,
  // the border pictures and the progress-bar pictures. An empty skin name shows the text of
  // "IDS_INVALID_THEME" and fails; a resolution class other than 1 or 2 fails silently.
  bool LoadTheme(const std::string& skinName, int resolutionClass);
  const std::string& SkinFolder() const { return skinFolder_; }  // ends with '\'
  const std::string& ThemeFile() const { return themeFile_; }
  // [VideoWindow] VideoWindowRect as left, top, right, bottom.
  const int (&VideoWindowRect() const)[4] { return videoRect_; }
  // [VideoWindow] POSITION: the grid area the window manager is given.
  const SkinRect& VideoPosition() const { return videoPosition_; }
  // [THEMECOLOR] BKCOLOR (dialog background) and TEXTCOLOR (texts without a colour of their own).
  const SkinColor& BackColor() const { return backColor_; }
  const SkinColor& TextColor() const { return textColor_; }
  const BorderPicture& Border(BorderSide side) const { return borders_[static_cast<int>(side)]; }
  // True when all four border pictures are loaded (the background is then drawn from them).
  bool BordersLoaded() const;
  const std::string& ProgressBackPath() const { return progressBack_; }
  const std::string& ProgressFillPath() const { return progressFill_; }
  // Skin folder + `fileName` ("Logo.jpg", "TaskBarNotify_MSN.bmp", a button's "BTN_xU.jpg").
  std::string PicturePath(const std::string& fileName) const { return skinFolder_ + fileName; }

  // Step 3: every "Language.*" of the language folder with its [General] LanCaption.
  bool LoadLanguageList();
  const std::vector<LanguageEntry>& Languages() const { return languages_; }

  // Step 4: forms the language file and reads the five text-button captions of "TBTN_TEXT"
  // and the six PTZ labels. An empty name shows "Language name is empty." and fails.
  bool LoadLanguage(const std::string& languageName);
  const std::string& LanguageName() const { return languageName_; }
  const std::string& LanguageFile() const { return languageFile_; }
  // Caption of a text button ("BTN_RECORD", ...), "" when not read.
  std::string ButtonCaption(const std::string& buttonKey) const;
  // Label of a PTZ control ("STC_ZOOM" -> text of "IDS_STATIC_ZOOM"), "" when not read.
  std::string PtzLabel(const std::string& controlName) const;

  // A text of the language file (8-bit). Missing: the reader's message box, and false with
  // `text` unchanged.
  bool ReadText(const std::string& section, const std::string& key, std::string& text) const;
  // Text of `key` in "STC_STRING"; "" after the reader's message when missing.
  std::string Text(const std::string& key) const;
  // Tooltip text of `key` in "TIP_STRING"; "" after the reader's message when missing.
  std::string TipText(const std::string& key) const;
  // The main dialog's message display: shows the text of `key` in a message box and returns
  // the answer. Before a language is loaded the key itself is shown.
  int ShowMessage(const std::string& key, unsigned type = 0, void* owner = nullptr) const;

 private:
  bool ReadBorders();

  std::string clientFolder_;
  std::vector<std::string> themeNames_;
  std::string skinName_;
  std::string skinFolder_;
  std::string themeFile_;
  int videoRect_[4] = {8, 32, 864, 672};
  SkinRect videoPosition_;
  SkinColor backColor_;
  SkinColor textColor_;
  BorderPicture borders_[4];
  std::string progressBack_;
  std::string progressFill_;
  std::vector<LanguageEntry> languages_;
  std::string languageName_;
  std::string languageFile_;
  std::vector<std::pair<std::string, std::string>> buttonCaptions_;
  std::vector<std::pair<std::string, std::string>> ptzLabels_;
};

// The text-button keys of "TBTN_TEXT" and the PTZ label keys of "STC_STRING" with the controls
// they label.
inline constexpr const char* kTextButtonKeys[5] = {"BTN_CONFIG", "BTN_PLAYBACK", "BTN_RECORD",
                                                    "BTN_STOPRECORD", "BTN_SNAP"};
struct PtzLabelKey {
  const char* control;
  const char* key;
};
inline constexpr PtzLabelKey kPtzLabelKeys[6] = {
    {"STC_ZOOM", "IDS_STATIC_ZOOM"},   {"STC_FOCUS", "IDS_STATIC_FOCUS"},
    {"STC_IRIS", "IDS_STATIC_IRIS"},   {"STC_BRUSH", "IDS_STATIC_BRUSH"},
    {"STC_POWER", "IDS_STATIC_POWER"}, {"STC_SERLIGHT", "IDS_STATIC_SERLIGHT"}};
