#include "live_client/skin/KorvelSkin.h"

#include "common/TraceMessage.h"
#include "live_client/skin/CEnBitmap.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"

namespace {

constexpr const char* kBorderSections[4] = {"IDB_BITMAP_BACK_TOP", "IDB_BITMAP_BACK_BOTTOM",
                                            "IDB_BITMAP_BACK_LEFT", "IDB_BITMAP_BACK_RIGHT"};

// "[KORVEL] - " followed by "skin path: " in the system's code page (GBK), an ideographic
// blank before the path.
constexpr const char* kSkinPathTrace =
    "[KORVEL] - \xC6\xA4\xB7\xF4\xC2\xB7\xBE\xB6\xA3\xBA\xA1\xA1%s";

}  // namespace

void CKorvelSkin::InitThemeList(const std::string& clientFolder) {
  clientFolder_ = clientFolder;
  TraceMessage("[KORVEL] - %s", clientFolder_.c_str());
  themeNames_.clear();
  const std::string themeRoot = clientFolder_ + "\\UI_Skin\\Korvel\\";
  for (const platform::FindData& folder : platform::FindFiles(themeRoot + "*")) {
    if (!folder.is_folder) continue;
    const std::string folderPath = themeRoot + folder.name + "\\";
    for (const platform::FindData& file : platform::FindFiles(folderPath + "*.ini")) {
      if (file.is_folder) continue;
      const std::string name =
          platform::ReadProfileString(folderPath + file.name, "ENG", "ThemeName");
      if (!name.empty()) {
        themeNames_.push_back(name);
        break;
      }
    }
  }
}

bool CKorvelSkin::LoadTheme(const std::string& skinName, int resolutionClass) {
  if (skinName.empty()) {
    ShowMessage("IDS_INVALID_THEME");
    return false;
  }
  const char* resolution = nullptr;
  if (resolutionClass == 1) resolution = "1024,768";
  else if (resolutionClass == 2) resolution = "1440,900";
  else return false;

  skinName_ = skinName;
  const std::string theme = skinName + resolution + "Theme";
  skinFolder_ = clientFolder_ + "\\UI_Skin\\Korvel\\" + theme + "\\";
  themeFile_ = skinFolder_ + theme + ".ini";
  TraceMessage(kSkinPathTrace, skinFolder_.c_str());

  std::string text;
  if (!ReadConfigString("VideoWindow", "VideoWindowRect", themeFile_, text)) return false;
  if (!ParseRectText(text, videoRect_)) {
    TraceMessage("[KORVEL] - VideoWindowRect is not four numbers: %s", text.c_str());
    return false;
  }
  if (!ReadPostion("VideoWindow", "POSITION", themeFile_, videoPosition_)) return false;

  if (!ReadConfigString("THEMECOLOR", "BKCOLOR", themeFile_, text)) return false;
  if (!ParseColorText(text, backColor_)) return false;
  if (!ReadConfigString("THEMECOLOR", "TEXTCOLOR", themeFile_, text)) return false;
  if (!ParseColorText(text, textColor_)) return false;

  if (!ReadBorders()) return false;

  std::string name;
  if (!ReadConfigString("STC_PROGRESS", "STC_PROGRESS_BACK", themeFile_, name)) return false;
  progressBack_ = skinFolder_ + name + ".jpg";
  if (!ReadConfigString("STC_PROGRESS", "STC_PROGRESS_PROGRESS", themeFile_, name)) return false;
  progressFill_ = skinFolder_ + name + ".jpg";
  return true;
}

bool CKorvelSkin::ReadBorders() {
  for (int i = 0; i < 4; ++i) {
    BorderPicture& border = borders_[i];
    border.section = kBorderSections[i];
    border.image = QImage();
    std::string name;
    if (!ReadConfigString(border.section, "BMPNAME", themeFile_, name)) return false;
    border.path = skinFolder_ + name + ".jpg";
    if (!ReadPostion(border.section, "POSITION", themeFile_, border.position)) return false;
    // A missing picture is reported by the loader; the dialog then erases its background the
    // ordinary way, so it is no reason to stop.
    CEnBitmap bitmap;
    if (bitmap.LoadImage(border.path)) border.image = bitmap.Image();
  }
  return true;
}

bool CKorvelSkin::BordersLoaded() const {
  for (const BorderPicture& border : borders_)
    if (border.image.isNull()) return false;
  return true;
}

bool CKorvelSkin::LoadLanguageList() {
  languages_.clear();
  const std::string folder = clientFolder_ + "\\Language\\Korvel\\";
  for (const platform::FindData& file : platform::FindFiles(folder + "Language.*")) {
    if (file.is_folder) continue;
    LanguageEntry entry;
    const std::size_t dot = file.name.find('.');
    entry.name = file.name.substr(dot + 1);
    entry.caption = platform::ReadProfileString(folder + file.name, "General", "LanCaption");
    languages_.push_back(std::move(entry));
  }
  return true;
}

bool CKorvelSkin::LoadLanguage(const std::string& languageName) {
  if (languageName.empty()) {
    platform::MessageBox(nullptr, "Language name is empty.", "Korvel",
                         platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  languageName_ = languageName;
  languageFile_ = clientFolder_ + "\\Language\\Korvel\\Language." + languageName;
  buttonCaptions_.clear();
  ptzLabels_.clear();
  for (const char* key : kTextButtonKeys) {
    std::string caption;
    if (!ReadConfigString("TBTN_TEXT", key, languageFile_, caption)) return false;
    buttonCaptions_.emplace_back(key, caption);
  }
  for (const PtzLabelKey& label : kPtzLabelKeys) {
    std::string text;
    if (!ReadConfigString("STC_STRING", label.key, languageFile_, text)) return false;
    ptzLabels_.emplace_back(label.control, text);
  }
  return true;
}

std::string CKorvelSkin::ButtonCaption(const std::string& buttonKey) const {
  for (const auto& [key, caption] : buttonCaptions_)
    if (key == buttonKey) return caption;
  return {};
}

std::string CKorvelSkin::PtzLabel(const std::string& controlName) const {
  for (const auto& [control, text] : ptzLabels_)
    if (control == controlName) return text;
  return {};
}

bool CKorvelSkin::ReadText(const std::string& section, const std::string& key,
                           std::string& text) const {
  return ReadConfigString(section, key, languageFile_, text);
}

std::string CKorvelSkin::Text(const std::string& key) const {
  std::string text;
  ReadText("STC_STRING", key, text);
  return text;
}

std::string CKorvelSkin::TipText(const std::string& key) const {
  std::string text;
  ReadText("TIP_STRING", key, text);
  return text;
}

int CKorvelSkin::ShowMessage(const std::string& key, unsigned type, void* owner) const {
  std::string text = key;
  if (!languageFile_.empty()) ReadText("STC_STRING", key, text);
  return platform::MessageBox(owner, text, "Korvel", type);
}
