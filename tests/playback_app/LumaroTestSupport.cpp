#include "LumaroTestSupport.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "common/AviDefs.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "playback_app/LumaroGlobals.h"
#include "record_file_library/AviFile.h"
#include "record_file_library/RecordingIndex.h"

namespace lumaro_test {

QApplication& App() {
  static int argc = 1;
  static char name[] = "lumaro_test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

DialogSurroundings::DialogSurroundings() {
  App();
  platform::ResetMessageBoxes();
  platform::SetDefaultMessageBoxAnswer(platform::IDOK);
  lumaro::g_nResolution = 1;
  previous_ = platform::SetDisplayProvider(std::make_shared<ScreenOf1024>());
}

DialogSurroundings::~DialogSurroundings() {
  platform::SetDisplayProvider(previous_);
  platform::ResetMessageBoxes();
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

namespace {

// One index writer per process, as the capture side has.
stordane::RecordingIndex& Index() {
  static stordane::RecordingIndex index;
  return index;
}

void WriteAvi(const std::string& path) {
  stordane::AviFile file;
  if (file.Open(path) != 0) throw std::runtime_error("cannot create " + path);
  avi::AviStreamHeader header{};
  header.fccType = avi::kFccVids;
  header.fccHandler = avi::MakeFourCC('X', 'V', 'I', 'D');
  header.dwScale = 1;
  header.dwRate = 25;
  header.dwQuality = 0xFFFFFFFFu;
  header.rcFrame = {0, 0, 352, 288};
  int stream = 0;
  file.CreateStream(header, &stream);
  avi::BitmapInfoHeader format{};
  format.biSize = sizeof format;
  format.biWidth = 352;
  format.biHeight = 288;
  format.biPlanes = 1;
  format.biBitCount = 12;
  format.biCompression = avi::MakeFourCC('X', 'V', 'I', 'D');
  file.SetFormat(stream, &format, sizeof format);
  // Enough frames that the index keeps the file (larger than 20 KiB).
  const std::vector<unsigned char> frame(4000, 0x5A);
  for (int i = 0; i < 8; ++i) file.Write(stream, frame.data(), frame.size(), i == 0 ? avi::AVIIF_KEYFRAME : 0);
  file.Release();
}

}  // namespace

std::string MakeRecording(char drive, const std::string& recorderFolder, int channel, int hour, int minute,
                          int second, char type, unsigned seconds, int year, int month, int day) {
  char date[32], folder[256], name[64];
  std::snprintf(date, sizeof date, "%04d_%02d_%02d", year, month, day);
  std::snprintf(folder, sizeof folder, "%c:\\video\\%s%s%s\\%02d\\%02d", drive, recorderFolder.c_str(),
                recorderFolder.empty() ? "" : "\\", date, channel, hour);
  std::snprintf(name, sizeof name, "%04d-%02d-%02d-%02d%02d%02d %c1%02d.avi", year, month, day, hour, minute,
                second, type, channel);
  platform::CreateFolderTree(folder);
  const std::string path = std::string(folder) + "\\" + name;
  WriteAvi(path);
  Index().AddToFileInfo(path, seconds);
  return path;
}

void IndexRecording(const std::string& path, unsigned seconds) { Index().AddToFileInfo(path, seconds); }

ProgramFolder::ProgramFolder(const std::string& skin, const std::string& language) : folder_("lumaro") {
  namespace fs = std::filesystem;
  const char* build = std::getenv("SUITE_BUILD_DIR");
  const fs::path bin = fs::path(build ? build : "..") / "bin";
  fs::create_directories(fs::path(path()) / "UI_Skin");
  fs::copy(bin / "UI_Skin" / "Lumaro", fs::path(path()) / "UI_Skin" / "Lumaro", fs::copy_options::recursive);
  fs::create_directories(fs::path(path()) / "Language" / "Korvel");
  fs::copy(bin / "Language" / "Lumaro", fs::path(path()) / "Language" / "Lumaro", fs::copy_options::recursive);
  // The language list comes from the live client's folder; its files may name the language
  // only by their suffix.
  std::ofstream(fs::path(path()) / "Language" / "Korvel" / "Language.English") << "[General]\r\nLanCaption=English\r\n";
  std::ofstream(fs::path(path()) / "Language" / "Korvel" / "Language.Chinese")
      << "[General]\r\nLanguage=Chinese\r\nLanCaption=\xD6\xD0\xCE\xC4\r\n";
  std::ofstream setting(fs::path(path()) / "Setting.ini");
  setting << "[Setting]\r\nLanguage=" << language << "\r\nLUMAROSKIN=" << skin << "\r\n";
}

}  // namespace lumaro_test
