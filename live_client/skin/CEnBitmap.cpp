#include "live_client/skin/CEnBitmap.h"

#include <mutex>
#include <set>

#include "platform/Files.h"
#include "platform/MessageBox.h"

namespace {

// Paths whose failure has been shown: the message appears once per file for the whole process,
// whichever control asked for it.
std::mutex g_reportedLock;
std::set<std::string> g_reportedPaths;

std::string LowerExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of("\\/");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string extension = path.substr(dot + 1);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return extension;
}

const char* FormatOf(const std::string& extension) {
  if (extension == "bmp") return "BMP";
  if (extension == "jpg" || extension == "jpeg") return "JPG";
  if (extension == "gif") return "GIF";
  if (extension == "ico") return "ICO";
  return nullptr;
}

}  // namespace

bool CEnBitmap::LoadImage(const std::string& path) {
  image_ = QImage();
  std::string bytes;
  const char* format = FormatOf(LowerExtension(path));
  if (format && platform::ReadWholeFile(path, bytes)) {
    image_.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                        static_cast<int>(bytes.size()), format);
  }
  if (!image_.isNull()) return true;

  bool first = false;
  {
    std::lock_guard<std::mutex> guard(g_reportedLock);
    first = g_reportedPaths.insert(path).second;
  }
  if (first)
    platform::MessageBox(nullptr, "LOAD IMAGE FAIL. [PATH]: " + path, "Korvel",
                         platform::MB_OK | platform::MB_ICONERROR);
  return false;
}

void CEnBitmap::ForgetReportedFailures() {
  std::lock_guard<std::mutex> guard(g_reportedLock);
  g_reportedPaths.clear();
}
