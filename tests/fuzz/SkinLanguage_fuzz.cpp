// Theme and language files of any shape, read through both programs' readers: the live
// client's (live_client/skin) and the playback program's (playback_app/ConfigReader), for every
// section and key the file holds and for the keys the programs look up. A reader either gives
// the value or fails with its message box and leaves the caller's value alone; both programs
// read the same file the same way; a text is never longer than the readers promise. Every text
// is also used as a language text: formatted with the arguments the programs pass, converted
// from the system's 8-bit code page for display and back.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "live_client/skin/SkinReader.h"
#include "live_client/skin/TextFormat.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/TimeText.h"
#include "playback_app/ConfigReader.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

const std::string& ScratchFile() {
  static const std::string file = [] {
    const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/suite-fuzz-skin-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    return pattern + "/Theme.ini";
  }();
  return file;
}

// Keys the programs read from their theme and language files, whatever the input holds.
const std::pair<const char*, const char*> kProgramKeys[] = {
    {"VideoWindow", "VideoWindowRect"}, {"VideoWindow", "POSITION"}, {"THEMECOLOR", "BKCOLOR"},
    {"THEMECOLOR", "TEXTCOLOR"},        {"STC_PROGRESS", "STC_PROGRESS_BACK"},
    {"IDB_BITMAP_BACK_TOP", "BMPNAME"}, {"IDB_BITMAP_BACK_TOP", "POSITION"},
    {"TBTN_TEXT", "BTN_RECORD"},        {"STC_STRING", "IDS_STATIC_ZOOM"},
    {"General", "LanCaption"},          {"General", "Language"},
    {"ThemeName", "ENG"},               {"BTN_SEARCH", "TEXTPOS"}};

std::size_t Boxes() { return platform::ShownMessageBoxes().size(); }

void ReadOneKey(const std::string& file, const std::string& section, const std::string& key) {
  const std::string raw = platform::ReadProfileString(file, section, key, "");

  // Texts: at most 100 characters, the start of what the file holds, the same in both programs.
  std::string korvel = "\x01unchanged";
  std::string lumaro = "\x01unchanged";
  std::size_t boxes = Boxes();
  const bool korvelRead = ReadConfigString(section, key, file, korvel);
  FUZZ_CHECK(Boxes() == boxes + (korvelRead ? 0 : 1));
  boxes = Boxes();
  const bool lumaroRead = lumaro::ReadConfigString(section, key, file, lumaro);
  FUZZ_CHECK(Boxes() == boxes + (lumaroRead ? 0 : 1));
  FUZZ_CHECK(korvelRead == lumaroRead);
  FUZZ_CHECK(korvelRead == !raw.empty());
  if (korvelRead) {
    FUZZ_CHECK(korvel.size() <= static_cast<std::size_t>(kMaxConfigText));
    FUZZ_CHECK(raw.compare(0, korvel.size(), korvel) == 0);
    FUZZ_CHECK(korvel == lumaro);
  } else {
    FUZZ_CHECK(korvel == "\x01unchanged" && lumaro == "\x01unchanged");
  }

  // Numbers.
  int korvelNumber = -7;
  int lumaroNumber = -7;
  const bool korvelInt = ReadConfigInt(section, key, file, korvelNumber);
  const bool lumaroInt = lumaro::ReadConfigInt(section, key, file, lumaroNumber);
  FUZZ_CHECK(korvelInt == lumaroInt && korvelNumber == lumaroNumber);
  if (!korvelInt) FUZZ_CHECK(korvelNumber == -7);

  // Rectangles and points of the _X/_Y/_CX/_CY keys.
  SkinRect korvelRect{1, 2, 3, 4};
  lumaro::SkinRect lumaroRect{1, 2, 3, 4};
  const bool korvelPos = ReadPostion(section, key, file, korvelRect);
  const bool lumaroPos = lumaro::ReadPostion(section, key, file, lumaroRect);
  FUZZ_CHECK(korvelPos == lumaroPos);
  FUZZ_CHECK(korvelRect.x == lumaroRect.x && korvelRect.y == lumaroRect.y && korvelRect.cx == lumaroRect.cx &&
             korvelRect.cy == lumaroRect.cy);
  if (!korvelPos) FUZZ_CHECK((korvelRect == SkinRect{1, 2, 3, 4}));
  SkinPoint korvelPoint{5, 6};
  lumaro::SkinPoint lumaroPoint{5, 6};
  const bool korvelText = ReadTextPos(section, key, file, korvelPoint);
  FUZZ_CHECK(korvelText == lumaro::ReadTextPos(section, key, file, lumaroPoint));
  FUZZ_CHECK(korvelPoint.x == lumaroPoint.x && korvelPoint.y == lumaroPoint.y);

  // Colours, rectangles and points written as text.
  SkinColor korvelColor{9, 9, 9};
  lumaro::SkinColor lumaroColor{9, 9, 9};
  const bool korvelParsed = korvelRead && ParseColorText(korvel, korvelColor);
  FUZZ_CHECK(korvelParsed == lumaro::ReadConfigColor(section, key, file, lumaroColor));
  FUZZ_CHECK(korvelColor.red == lumaroColor.red && korvelColor.green == lumaroColor.green &&
             korvelColor.blue == lumaroColor.blue);
  int korvelValues[4] = {1, 1, 1, 1};
  int lumaroValues[4] = {1, 1, 1, 1};
  const bool rectParsed = korvelRead && ParseRectText(korvel, korvelValues);
  FUZZ_CHECK(rectParsed == lumaro::ReadConfigRect(section, key, file, lumaroValues));
  for (int i = 0; i < 4; ++i) FUZZ_CHECK(korvelValues[i] == lumaroValues[i]);
  lumaro::SkinPoint point{3, 3};
  if (!lumaro::ReadConfigPoint(section, key, file, point)) FUZZ_CHECK(point.x == 3 && point.y == 3);

  // The text as a language text.
  if (korvelRead) {
    const std::string formatted = FormatText(korvel, {7LL, std::string("Camera 1"), -2147483648LL});
    if (korvel.find('%') == std::string::npos) FUZZ_CHECK(formatted == korvel);
    const std::string alone = FormatText(korvel, {});
    if (korvel.find('%') == std::string::npos) FUZZ_CHECK(alone == korvel);
    bool valid = false;
    const std::string utf8 = platform::GbkToUtf8(korvel, &valid);
    bool back = false;
    const std::string gbk = platform::Utf8ToGbk(utf8, &back);
    if (valid) FUZZ_CHECK(back && gbk == korvel);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  const std::string& file = ScratchFile();
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FUZZ_CHECK(fd >= 0);
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<size_t>(n);
  }
  close(fd);
  platform::ClearProfileCache();
  platform::ResetMessageBoxes();

  int keys = 0;
  for (const std::string& section : platform::ProfileSectionNames(file)) {
    for (const std::string& key : platform::ProfileKeyNames(file, section)) {
      if (++keys > 24) break;
      // The programs name sections and keys as C strings: a name holding a zero byte is asked
      // for as far as that byte.
      ReadOneKey(file, section.c_str(), key.c_str());
    }
  }
  for (const auto& [section, key] : kProgramKeys) ReadOneKey(file, section, key);
  platform::ResetMessageBoxes();
  return 0;
}
