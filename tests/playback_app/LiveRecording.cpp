#include "LiveRecording.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include <QTest>

#include "decoder_library/Halvane.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TimeText.h"
#include "platform/codecs/Vfw.h"
#include "playback_app/CLumaroDlg.h"

namespace lumaro_test {

namespace {


std::set<std::string> AviNames(const std::string& folder) {
  std::set<std::string> names;
  const std::filesystem::path host = platform::ToHostPath(folder);
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(host, error))
    if (entry.path().extension() == ".avi") names.insert(entry.path().filename().string());
  return names;
}

}  // namespace

test_media::EncodedStream LiveStream(int frames, int gop) {
  return test_media::Encode("mpeg4", kLiveWidth, kLiveHeight, frames, gop, platform::MakeFourCC('X', 'V', 'I', 'D'));
}

std::string LiveRecordFolder(char drive, const std::string& address, int port, int channel, std::time_t when) {
  platform::LocalTime local;
  platform::ToLocalTime(when, local);
  char recorder[128] = "";
  if (!address.empty()) std::snprintf(recorder, sizeof recorder, "%s[SVR%d]\\", address.c_str(), port);
  char folder[256];
  std::snprintf(folder, sizeof folder, "%c:\\VIDEO\\%s%s\\chn_%02d\\%s\\", drive, recorder,
                platform::FormatTime("%Y_%m_%d", local).c_str(), channel + 1,
                platform::FormatTime("%H", local).c_str());
  return folder;
}

LiveRecording RecordLive(const test_media::EncodedStream& stream, int channel, const std::string& folder, int start,
                         int end, int flags, int compressor) {
  LiveRecording recording;
  if (!platform::CreateFolderTree(folder)) return recording;
  const std::set<std::string> before = AviNames(folder);
  const int index = DEC_CreateVideoDecoder(channel);
  if (index < 0) return recording;
  const DecoderFormat format{stream.width, stream.height, compressor};
  DEC_SetDecoderFMT(index, 0, &format);
  std::vector<unsigned char> picture(static_cast<std::size_t>(stream.width) * stream.height * 3 / 2);
  bool capturing = false;
  for (int i = 0; i < end && i < static_cast<int>(stream.frames.size()); ++i) {
    if (i == start) capturing = DEC_StartCapture(index, folder.c_str(), flags, nullptr, 0) == 1;
    if (capturing && recording.firstFrame < 0 && stream.frames[static_cast<std::size_t>(i)].key)
      recording.firstFrame = i;
    if (recording.firstFrame >= 0) ++recording.frames;
    const auto& frame = stream.frames[static_cast<std::size_t>(i)];
    int length = 0;
    DEC_DecodeData(index, frame.data.data(), picture.data(), static_cast<int>(frame.data.size()), &length,
                   frame.key ? 1 : 0, 0);
  }
  DEC_StopCapture(index);
  DEC_DestroyVideoDecoder(index);
  for (const std::string& name : AviNames(folder)) {
    if (before.count(name)) continue;
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') path += '\\';
    recording.path = path + name;
  }
  if (!capturing) recording = LiveRecording{};
  return recording;
}

void ShownPictures::Collect(int, unsigned char* picture, int size, int width, int height, int, int type,
                            void* user, int) {
  auto* self = static_cast<ShownPictures*>(user);
  if (!self || !picture || width <= 0 || height <= 0 || size < width * height * 2) return;
  // Type 1 is a picture whose rows run top-down; otherwise the rows are stored bottom-up.
  const bool upright = type == 1;
  std::vector<std::uint8_t> yv12(static_cast<std::size_t>(width) * height * 3 / 2);
  std::uint8_t* y = yv12.data();
  std::uint8_t* v = y + static_cast<std::size_t>(width) * height;
  std::uint8_t* u = v + static_cast<std::size_t>(width / 2) * (height / 2);
  for (int row = 0; row < height; ++row) {
    const unsigned char* line = picture + static_cast<std::size_t>(upright ? row : height - 1 - row) * width * 2;
    for (int x = 0; x < width; ++x) y[static_cast<std::size_t>(row) * width + x] = line[2 * x];
    if (row % 2 != 0) continue;
    for (int x = 0; x < width / 2; ++x) {
      u[static_cast<std::size_t>(row / 2) * (width / 2) + x] = line[4 * x + 1];
      v[static_cast<std::size_t>(row / 2) * (width / 2) + x] = line[4 * x + 3];
    }
  }
  std::lock_guard<std::mutex> guard(self->lock_);
  self->pictures_.push_back(std::move(yv12));
}

std::vector<std::vector<std::uint8_t>> ShownPictures::Pictures() const {
  std::lock_guard<std::mutex> guard(lock_);
  return pictures_;
}

std::size_t ShownPictures::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return pictures_.size();
}

double PictureMatch::MinPsnr() const {
  double lowest = 99;
  for (double value : psnr) lowest = std::min(lowest, value);
  return lowest;
}

bool PictureMatch::InOrder() const {
  for (std::size_t i = 1; i < frames.size(); ++i)
    if (frames[i] < frames[i - 1]) return false;
  return true;
}

std::size_t PictureMatch::DistinctFrames() const { return std::set<int>(frames.begin(), frames.end()).size(); }

PictureMatch MatchPictures(const std::vector<std::vector<std::uint8_t>>& shown,
                           const std::vector<std::vector<std::uint8_t>>& reference, int first, int count) {
  PictureMatch match;
  for (const auto& picture : shown) {
    int best = -1;
    double bestPsnr = -1;
    for (int frame = first; frame < first + count && frame < static_cast<int>(reference.size()); ++frame) {
      const auto& candidate = reference[static_cast<std::size_t>(frame)];
      if (candidate.size() != picture.size()) continue;
      const double psnr = test_media::Psnr(candidate, picture.data(), picture.size());
      if (psnr > bestPsnr) {
        bestPsnr = psnr;
        best = frame;
      }
    }
    match.frames.push_back(best);
    match.psnr.push_back(bestPsnr);
  }
  return match;
}

bool WaitForState(const lumaro::CLumaroDlg& dialog, int window, int state, int timeout_ms) {
  return QTest::qWaitFor(
      [&] { return dialog.WindowStates()[static_cast<std::size_t>(window)].nState == state; }, timeout_ms);
}

}  // namespace lumaro_test
