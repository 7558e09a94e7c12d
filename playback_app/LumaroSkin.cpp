#include "playback_app/LumaroSkin.h"

#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/TimeText.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/SystemText.h"

namespace lumaro {

namespace {

void ShowFailure(const char* text) {
  platform::MessageBox(nullptr, text, "Lumaro", platform::MB_OK | platform::MB_ICONERROR);
}

bool LoadPictures(const std::string& folder, const std::string& base, ButtonPictures& pictures) {
  static const char* const kSuffixes[4] = {"H.jpg", "U.jpg", "D.jpg", "X.jpg"};
  for (int i = 0; i < 4; ++i) {
    pictures[static_cast<std::size_t>(i)] = LoadImageFile(folder + base + kSuffixes[i]);
    if (pictures[static_cast<std::size_t>(i)].isNull()) return false;
  }
  return true;
}

}  // namespace

std::string ThemeFolder(const std::string& programFolder, const std::string& name, int resolution) {
  return programFolder + "\\UI_Skin\\Lumaro\\" + name + ResolutionText(resolution) + "Theme\\";
}

std::string ThemeFile(const std::string& programFolder, const std::string& name, int resolution) {
  return ThemeFolder(programFolder, name, resolution) + name + ResolutionText(resolution) + "Theme.ini";
}

bool LoadTheme(const std::string& programFolder, const std::string& name, int resolution,
               const std::vector<std::string>& buttonSections, ThemeData& theme) {
  if (name.empty()) {
    ShowFailure("INVLID USER INTERFACE THEME");
    return false;
  }
  if (resolution != 1 && resolution != 2) {
    TraceMessage("[LUMARO] - LoadTheme: no theme for resolution %d", resolution);
    return false;
  }
  ThemeData loaded;
  loaded.name = name;
  loaded.folder = ThemeFolder(programFolder, name, resolution);
  loaded.file = ThemeFile(programFolder, name, resolution);
  TraceMessage("Path: %s", loaded.file.c_str());
  const std::string& file = loaded.file;

  std::string resolutionText;
  int rowHeight = 0;
  int lineWidth = 0;
  if (!ReadConfigString("ThemeDescription", "RESOLUTION", file, resolutionText) ||
      !ReadConfigRect("VideoWindow", "VideoWindowRect", file, loaded.videoWindowRect) ||
      !ReadConfigRect("TimeStaff", "TimeStaffRect", file, loaded.timeStaffRect) ||
      !ReadConfigInt("TimeStaff", "TimeStaffHeightOfRow", file, rowHeight) ||
      !ReadConfigInt("TimeStaff", "LineWidth", file, lineWidth) ||
      !ReadConfigPoint("FLAT_CHECK_BTN", "StartPoint", file, loaded.channelStart) ||
      !ReadConfigPoint("FLAT_CHECK_BTN", "SPACE_SIZE", file, loaded.channelStep) ||
      !ReadConfigColor("ThemeColors", "VideoWindowBackGround", file, loaded.videoBackground) ||
      !ReadConfigColor("ThemeColors", "TimeStaffBackGround", file, loaded.timeStaffBackground) ||
      !ReadConfigColor("ThemeColors", "VideoWindowFrameColor", file, loaded.videoFrame))
    return false;
  loaded.b1440 = resolutionText == "1440,900";
  loaded.timeStaffRowHeight = rowHeight;
  loaded.lineWidth = lineWidth;
  for (const char* section : {"BTN_SEARCH", "BTN_MODELIST", "BTN_MODETIME"}) {
    SkinColor color;
    if (!ReadConfigColor(section, "TEXTCOLOR", file, color)) return false;
    loaded.buttonTextColors[section] = color;
  }

  for (std::size_t i = 0; i < kBackgroundSections.size(); ++i) {
    std::string picture;
    if (!ReadConfigString("BMPNAME", kBackgroundSections[i], file, picture) ||
        (loaded.backgrounds[i] = LoadImageFile(loaded.folder + picture + ".jpg")).isNull()) {
      ShowFailure("LOAD BITMAP RESOURCE FAIL");
      return false;
    }
  }

  for (const std::string& section : buttonSections) {
    std::string base;
    ButtonPictures pictures;
    if (!ReadConfigString(section, "BMPNAME", file, base) || !LoadPictures(loaded.folder, base, pictures)) {
      ShowFailure("LOAD BITMAP FOR BUTTON FAIL");
      return false;
    }
    loaded.buttons[section] = std::move(pictures);
  }
  if (!LoadPictures(loaded.folder, "1", loaded.channelButton)) {
    ShowFailure("LOAD BITMAP FOR BUTTON FAIL");
    return false;
  }

  struct SliderPicture {
    const char* key;
    QImage* image;
  };
  for (const SliderPicture& slider : {SliderPicture{"IDC_SLIDER_PLAY", &loaded.sliderPlay},
                                      SliderPicture{"IDC_THUMB_PLAY", &loaded.thumbPlay},
                                      SliderPicture{"IDC_SLIDER_VOLUME", &loaded.sliderVolume},
                                      SliderPicture{"IDC_THUMB_VOLUME", &loaded.thumbVolume}}) {
    std::string picture;
    if (!ReadConfigString("BMPNAME", slider.key, file, picture) ||
        (*slider.image = LoadImageFile(loaded.folder + picture + ".jpg")).isNull()) {
      ShowFailure("LOAD BITMAP FOR SLIDER FAIL");
      return false;
    }
  }
  g_bTheme1440 = loaded.b1440;
  theme = std::move(loaded);
  return true;
}

std::vector<std::string> ThemeList(const std::string& programFolder) {
  std::vector<std::string> names;
  const std::string root = programFolder + "\\UI_SKin\\Lumaro\\";
  for (const platform::FindData& folder : platform::FindFiles(root + "*")) {
    if (!folder.is_folder) continue;
    for (const platform::FindData& ini : platform::FindFiles(root + folder.name + "\\*.ini")) {
      const std::string name =
          platform::ReadProfileString(root + folder.name + "\\" + ini.name, "ThemeName", "ENG");
      if (name.empty()) continue;
      bool known = false;
      for (const std::string& existing : names) known = known || platform::EqualsNoCase(existing, name);
      if (!known) names.push_back(name);
      break;
    }
  }
  return names;
}

std::vector<LanguageEntry> LanguageList(const std::string& programFolder) {
  std::vector<LanguageEntry> languages;
  const std::string folder = programFolder + "\\Language\\Korvel\\";
  for (const platform::FindData& file : platform::FindFiles(folder + "Language.*")) {
    if (file.is_folder) continue;
    LanguageEntry entry;
    entry.name = platform::ReadProfileString(folder + file.name, "General", "Language");
    // The live client's files may name their language only by the file name's suffix.
    if (entry.name.empty()) entry.name = file.name.substr(file.name.find('.') + 1);
    entry.caption = platform::ReadProfileString(folder + file.name, "General", "LanCaption", entry.name);
    if (!entry.name.empty()) languages.push_back(std::move(entry));
  }
  return languages;
}

std::string LanguageFile(const std::string& programFolder, const std::string& name) {
  return programFolder + "\\Language\\Lumaro\\Language." + name;
}

}  // namespace lumaro
