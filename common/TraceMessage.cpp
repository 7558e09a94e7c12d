// The debug trace facility. This file is not compiled on its own: suite_add_trace() makes, for
// each deliverable, a unit that defines one TRACE_MEMBER_<NAME> and includes it, so every
// deliverable carries a private instance with its own switches:
//
//   member     enable switch                     viewer  log file  formatting        result
//   LUMARO     "Settings"/"DebugTrace" of its     yes     yes       growable string   1
//              Lumaro.ini, default 1
//   STORDANE   none                               yes     yes       growable string   1
//   KORVEL     none                               yes     no        growable string   0 without viewer
//   PELLIX     none                               yes     no        growable string   0 without viewer
//   CAMLINK    none                               yes     no        growable string   0 without viewer
//   HALVANE    none                               yes     no        1024-byte buffer  1
//
// Lock order: the viewer lock and the log lock are never held together; the viewer is sent
// its text without either lock held.

#include "common/TraceMessage.h"

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/TimeText.h"
#include "platform/TitledWindow.h"
#include "platform/UserFiles.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#if defined(TRACE_MEMBER_LUMARO)
#define TRACE_HAS_SWITCH 1
#define TRACE_HAS_LOG 1
#elif defined(TRACE_MEMBER_STORDANE)
#define TRACE_HAS_LOG 1
#elif defined(TRACE_MEMBER_KORVEL) || defined(TRACE_MEMBER_PELLIX) || defined(TRACE_MEMBER_CAMLINK)
#define TRACE_VIEWER_ONLY 1
#define TRACE_RESULT_WITHOUT_VIEWER 0
#elif defined(TRACE_MEMBER_HALVANE)
#define TRACE_VIEWER_ONLY 1
#define TRACE_RESULT_WITHOUT_VIEWER 1
#define TRACE_FIXED_BUFFER 1
#else
#error "Build the trace facility through suite_add_trace(<target> <member>)"
#endif

namespace {

constexpr const char* kViewerTitle = "ZarorArided ";
// "ZarorArided" followed by "output string format error!" in the system's code page (GBK).
constexpr const char* kFormatErrorText =
    "ZarorArided"
    "\xCA\xE4\xB3\xF6\xD7\xD6\xB7\xFB\xB4\xAE\xB8\xF1\xCA\xBD\xB4\xED\xCE\xF3"
    "!";

// Formats the message. A printf-style format fails here when vsnprintf reports an error: a wide
// string argument that the current locale cannot convert (EILSEQ) or a result longer than an
// int can count (EOVERFLOW). The message then becomes the format-error text.
std::string FormatMessage(const char* format, va_list arguments) {
  if (!format) return kFormatErrorText;
#if defined(TRACE_FIXED_BUFFER)
  // A formatted line must stay under 1024 characters; a longer one is cut there rather than
  // written past the buffer.
  char buffer[1024];
  int length = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  if (length < 0) return kFormatErrorText;
  return std::string(buffer, static_cast<std::size_t>(length) < sizeof buffer
                                 ? static_cast<std::size_t>(length)
                                 : sizeof buffer - 1);
#else
  char small[512];
  va_list again;
  va_copy(again, arguments);
  int length = std::vsnprintf(small, sizeof small, format, arguments);
  if (length < 0) {
    va_end(again);
    return kFormatErrorText;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    va_end(again);
    return std::string(small, static_cast<std::size_t>(length));
  }
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  int second = std::vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  if (second < 0) return kFormatErrorText;
  text.resize(static_cast<std::size_t>(second) < text.size() - 1 ? static_cast<std::size_t>(second)
                                                                  : text.size() - 1);
  return text;
#endif
}

// The viewer window: looked up on the first call and again whenever the remembered handle no
// longer names a window.
struct Viewer {
  std::mutex lock;
  std::optional<platform::TitledWindowHandle> handle;  // Guarded by lock
};

// Never destroyed: libraries still trace from their own teardown at process exit.
Viewer& TheViewer() {
  static Viewer* viewer = new Viewer;
  return *viewer;
}

std::optional<platform::TitledWindowHandle> FindViewer() {
  Viewer& viewer = TheViewer();
  std::lock_guard<std::mutex> guard(viewer.lock);
  if (!viewer.handle || !viewer.handle->IsWindow()) {
    viewer.handle = platform::FindTitledWindow(kViewerTitle);
  }
  return viewer.handle;
}

// Sets the viewer's window text and waits until the viewer took it (bounded, so a hung viewer
// slows the caller down but cannot stop it).
void SendToViewer(platform::TitledWindowHandle& viewer, const std::string& text) {
  viewer.SendText(text);
}

#if defined(TRACE_HAS_SWITCH)
// The enable switch from the program's profile, read once.
bool TracingEnabled() {
  static const bool enabled = [] {
    std::string profile = platform::UserFilePath("Lumaro.ini");
    return platform::GetPrivateProfileInt("Settings", "DebugTrace", 1, profile.c_str()) != 0;
  }();
  return enabled;
}
#endif

#if defined(TRACE_HAS_LOG)
constexpr std::int64_t kLogSizeLimitBytes = 102400;

// The log file, opened on first use and kept open for the process.
struct Log {
  std::mutex lock;
  platform::File file;  // Guarded by lock
};

// Never destroyed, like the viewer; the log writes go straight to the file, so nothing is lost
// when the process ends without closing it.
Log& TheLog() {
  static Log* log = new Log;
  return *log;
}

void AppendToLog(const std::string& text) {
  Log& log = TheLog();
  std::lock_guard<std::mutex> guard(log.lock);
  if (!log.file.IsOpen()) {
    std::string executable = platform::ExecutablePath();
    if (executable.empty()) return;
    // "<executable>.log" beside it, or in the user's data folder for an installed program.
    const std::size_t slash = executable.rfind('/');
    std::string path = platform::UserFileHostPath(executable.substr(slash + 1) + ".log",
                                                  platform::UserFileKind::Data,
                                                  executable.substr(0, slash == 0 ? 1 : slash));
    // The size limit applies when a run opens the log: an old log over it starts anew.
    if (platform::FileSize(path) > kLogSizeLimitBytes) platform::DeleteFile(path);
    if (!log.file.Open(path, platform::File::Mode::OpenAlways)) return;  // retried next call
    log.file.Seek(0, platform::File::Origin::End);
  }
  std::string line = platform::FormatLocalTimeNow("%Y-%m-%d %H:%M:%S ");
  line += text;
  line += "\r\n";
  log.file.Write(line.data(), line.size());  // a failed write is not the caller's concern
}
#endif

}  // namespace

int TraceMessage(const char* format, ...) {
#if defined(TRACE_VIEWER_ONLY)
  // Without a viewer there is nothing to do, not even formatting.
  std::optional<platform::TitledWindowHandle> viewer = FindViewer();
  if (!viewer) return TRACE_RESULT_WITHOUT_VIEWER;
  va_list arguments;
  va_start(arguments, format);
  std::string text = FormatMessage(format, arguments);
  va_end(arguments);
  SendToViewer(*viewer, text);
  return 1;
#else
#if defined(TRACE_HAS_SWITCH)
  if (!TracingEnabled()) return 1;
#endif
  va_list arguments;
  va_start(arguments, format);
  std::string text = FormatMessage(format, arguments);
  va_end(arguments);
  if (std::optional<platform::TitledWindowHandle> viewer = FindViewer()) {
    SendToViewer(*viewer, text);
  }
  AppendToLog(text);
  return 1;
#endif
}
