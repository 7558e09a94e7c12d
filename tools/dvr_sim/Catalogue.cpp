#include "tools/dvr_sim/Catalogue.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "tools/dvr_sim/SyntheticCamera.h"

namespace dvr_sim {
namespace {

constexpr const char* kCatalogueName = "catalogue.txt";

std::string FormatTime(uint32_t seconds, const char* format) {
  std::time_t t = std::time_t(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, format, &tm);
  return text;
}

bool WriteDefault(const std::string& path, int channels) {
  // The recorder's "today" in its own wall-clock time, counted as UTC.
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  const uint32_t midnight = uint32_t(timegm(&local));
  static constexpr int kTypes[] = {1, 2, 4, 8};
  std::ofstream out(path);
  if (!out) return false;
  out << "# id channel type date time seconds\n";
  uint32_t id = 1;
  for (int channel = 1; channel <= channels; ++channel)
    for (int hour = 0; hour < 24; hour += 2) {
      uint32_t start = midnight + uint32_t(hour) * 3600 + uint32_t(channel) * 60;
      out << id << ' ' << channel << ' ' << kTypes[(hour / 2) % 4] << ' '
          << FormatTime(start, "%Y-%m-%d %H:%M:%S") << " 6\n";
      ++id;
    }
  return bool(out);
}

bool ParseLine(const std::string& line, Recording& r) {
  std::istringstream in(line);
  std::string date, time;
  long id = 0, channel = 0, type = 0, seconds = 0;
  if (!(in >> id >> channel >> type >> date >> time >> seconds)) return false;
  std::tm tm{};
  if (std::sscanf(date.c_str(), "%d-%d-%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday) != 3 ||
      std::sscanf(time.c_str(), "%d:%d:%d", &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 3)
    return false;
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  if (id <= 0 || channel < 1 || channel > 16 || (type != 1 && type != 2 && type != 4 && type != 8) ||
      seconds <= 0 || seconds > 24 * 3600)
    return false;
  r.id = uint32_t(id);
  r.channel = int(channel);
  r.type = int(type);
  r.start = uint32_t(timegm(&tm));
  r.seconds = uint32_t(seconds);
  return true;
}

}  // namespace

bool Catalogue::Load(const std::string& folder, int channels) {
  folder_ = folder;
  ::mkdir(folder.c_str(), 0755);
  const std::string path = folder + "/" + kCatalogueName;
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 && !WriteDefault(path, channels)) {
    std::fprintf(stderr, "dvr_sim: cannot write %s\n", path.c_str());
    return false;
  }
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "dvr_sim: cannot read %s\n", path.c_str());
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    Recording r;
    if (!ParseLine(line, r)) {
      std::fprintf(stderr, "dvr_sim: %s:%d: line skipped\n", path.c_str(), number);
      continue;
    }
    recordings_.push_back(r);
  }
  std::stable_sort(recordings_.begin(), recordings_.end(),
                   [](const Recording& a, const Recording& b) { return a.start < b.start; });
  return true;
}

std::vector<Recording> Catalogue::Search(uint16_t channel_mask, uint16_t type_mask,
                                         uint32_t from, uint32_t to) const {
  std::vector<Recording> found;
  if (type_mask & kAllTypes) type_mask = 0xFFFF;
  for (const Recording& r : recordings_) {
    if (!(channel_mask & (1u << (r.channel - 1))) || !(type_mask & r.type)) continue;
    if (r.start > to || r.end() < from) continue;
    found.push_back(r);
  }
  return found;
}

bool Catalogue::Find(uint32_t id, Recording& out) const {
  for (const Recording& r : recordings_)
    if (r.id == id) {
      out = r;
      return true;
    }
  return false;
}

bool Catalogue::LoadClip(const Recording& recording, int width, int height, Clip& out) {
  std::lock_guard<std::mutex> guard(clip_lock_);
  const std::string path = folder_ + "/REC" + std::to_string(recording.id) + ".clip";
  if (out.Read(path) && out.width == width && out.height == height) return true;

  // Record the channel's camera as it looked then: its clock shows the recording's time.
  constexpr int kFrameRate = 25;
  Mpeg4Encoder encoder;
  if (!encoder.Open(width, height, kFrameRate)) return false;
  SyntheticCamera camera(recording.channel - 1, width, height);
  PtzState ptz;
  YuvPicture picture;
  out = Clip{};
  out.width = width;
  out.height = height;
  out.frame_rate = kFrameRate;
  const uint32_t frames = std::min(recording.seconds, kMaxClipSeconds) * kFrameRate;
  // The recorder's times are wall-clock times kept as UTC; the camera writes local time.
  std::tm tm{};
  std::time_t as_utc = std::time_t(recording.start);
  gmtime_r(&as_utc, &tm);
  tm.tm_isdst = -1;
  const std::time_t start_local = std::mktime(&tm);
  for (uint32_t i = 0; i < frames; ++i) {
    camera.Render(i, start_local + std::time_t(i / kFrameRate), ptz, picture);
    EncodedFrame encoded;
    if (!encoder.Encode(picture, i == 0, encoded)) return false;
    out.frames.push_back(ClipFrame{i * 1000 / kFrameRate, encoded.key, std::move(encoded.data)});
  }
  if (!out.Write(path)) std::fprintf(stderr, "dvr_sim: cannot store %s\n", path.c_str());
  return true;
}

}  // namespace dvr_sim
