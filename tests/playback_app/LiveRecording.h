#pragma once
// Recordings made the way the live client makes them for a capture-card channel: every frame
// of a real MPEG-4 stream goes through DEC_DecodeData while DEC_StartCapture records, so the
// capture library writes the AVI file and the record-file library enters it into the day's
// index when the capture stops. Also what the player engine showed of them, for comparing
// with libavcodec's decode of the same frames.

#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "tests/platform/codecs/TestMedia.h"

namespace lumaro {
class CLumaroDlg;
}

namespace lumaro_test {

// The capture library's own width and height of the recordings made here.
inline constexpr int kLiveWidth = 352;
inline constexpr int kLiveHeight = 288;

// A stream of `frames` CIF pictures tagged XVID, one key frame every `gop` frames.
test_media::EncodedStream LiveStream(int frames, int gop);

// The live client's folder of a capture-card recording of `channel` (0-based) at `when`:
// "<drive>:\VIDEO\<address>[SVR<port>]\YYYY_MM_DD\chn_NN\HH\"; with an empty address the
// recorder folder is left out, which puts the recording into the common date folder.
std::string LiveRecordFolder(char drive, const std::string& address, int port, int channel, std::time_t when);

struct LiveRecording {
  std::string path;     // Windows form, as the index holds it; empty when nothing was written
  int firstFrame = -1;  // stream frame the file begins with (the first key frame captured)
  int frames = 0;       // frames in the file
};

// Decodes frames [0, end) of `stream` on a decoder made for `channel` (0-based), starting the
// capture into `folder` (created when missing) just before frame `start` and stopping it after
// the last frame. The capture library must be loaded (DEC_LoadLibrary).
// `compressor` is the decoder entry's codec (3 XviD; 5 H.264 for a network camera's stream).
LiveRecording RecordLive(const test_media::EncodedStream& stream, int channel, const std::string& folder, int start,
                         int end, int flags = 0x102, int compressor = 3);

// YUY2 pictures handed to a port's display callback, kept as YV12 (Y, V, U; the chroma of the
// even rows), which is the layout the reference decode gives.
class ShownPictures {
 public:
  // PELLIX_DISPLAY_CB; `user` is the ShownPictures.
  static void Collect(int port, unsigned char* picture, int size, int width, int height, int stamp, int type,
                      void* user, int reserved);
  std::vector<std::vector<std::uint8_t>> Pictures() const;
  std::size_t Count() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::vector<std::uint8_t>> pictures_;  // Guarded by lock_
};

// How the shown pictures match the reference pictures [first, first + count): for each shown
// picture the reference frame it is closest to and the PSNR against it.
struct PictureMatch {
  std::vector<int> frames;
  std::vector<double> psnr;
  double MinPsnr() const;
  // True when no match is an earlier frame than the one before it (a refresh may show the
  // same frame again).
  bool InOrder() const;
  std::size_t DistinctFrames() const;
};
PictureMatch MatchPictures(const std::vector<std::vector<std::uint8_t>>& shown,
                           const std::vector<std::vector<std::uint8_t>>& reference, int first, int count);

// Runs the event loop until playback window `window` of `dialog` is in `state` (a
// VideoWndState state); false after `timeout_ms`. A plain bool, so that a gtest assertion
// reports the time-out.
bool WaitForState(const lumaro::CLumaroDlg& dialog, int window, int state, int timeout_ms = 5000);

}  // namespace lumaro_test
