#pragma once
// The file of one capture slot: stream layout, audio gathering, audio/video pacing and the
// playing time. One writer per slot, owned by the slot for the life of the library.
//
// Threads: every member except video_pos_ is guarded by lock_; any thread may call.
// TimeLength() reads video_pos_ and time_divisor_ without the lock (both atomics), so a
// poll of the playing time never waits behind a slow write.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "record_file_library/AviFile.h"

namespace stordane {

// Settings of a slot as they stand when a file is created.
struct CaptureSettings {
  std::uint32_t compression = 0;  // codec tag, avi::kFccXvid or avi::kFccWmv3
  int frame_rate = 25;            // 13 stands for 12.5 frames per second
  int width = 352;
  int height = 240;
};

class AviStreamWriter {
 public:
  // Longest path held; longer ones are refused, never cut.
  static constexpr std::size_t kMaxFileNameChars = 259;
  static constexpr int kGatherBlocks = 16;    // audio blocks per audio chunk
  static constexpr int kFlushesPerSync = 3;   // audio chunks per pacing step
  static constexpr int kLagFloorFrames = -3;  // lag worked off down to this
  // One byte of IMA ADPCM lasts 505/2048 ms (505 samples of 256 bytes at 8000 Hz).
  static constexpr double kAudioMsPerByte = 505.0 / 2048.0;

  struct CloseResult {
    bool held_file = false;  // a file was open when Close began
    bool failed = false;     // ending a stream or the file reported an error
  };

  AviStreamWriter() = default;
  ~AviStreamWriter();
  AviStreamWriter(const AviStreamWriter&) = delete;
  AviStreamWriter& operator=(const AviStreamWriter&) = delete;

  // Closes a held file (not indexed), resets the counters and creates `file_name` with the
  // video stream of `settings`. Returns 0 or OX_ERR_OPEN. The caller has checked the name.
  unsigned Create(const std::string& file_name, const CaptureSettings& settings);
  // frame_type 0/1 video, 5/6 audio; 0 or OX_ERR_WRITE. `data` is read during the call only.
  unsigned WriteFrame(const unsigned char* data, int size, int frame_type);
  // Writes waiting audio, ends the streams and finishes the file.
  CloseResult Close();
  // True while a file is open.
  bool IsOpen() const;
  // Name of the current or last file ("" before the first Create).
  std::string FileName() const;
  // Whole seconds: video_pos / time_divisor + 1, or 0 when nothing was written.
  unsigned TimeLength() const;

 private:
  unsigned WriteVideo(const unsigned char* data, int size, bool key_frame);
  unsigned WriteAudio(const unsigned char* data, int size);
  bool CreateAudioStream(int block_bytes);
  bool WriteGatheredChunk(std::size_t bytes);
  void PacingStep();
  bool CloseLocked();
  void SetPacingRow(int frame_rate);

  mutable platform::CriticalSection lock_;
  // Guarded by lock_.
  std::string file_name_;
  AviFile file_;
  int video_stream_ = -1;
  int audio_stream_ = -1;
  std::uint32_t audio_pos_ = 0;
  std::int32_t lag_counter_ = 0;
  double carry_ms_ = 0.0;
  double frame_period_ms_ = 40.0;
  double frames_per_ms_ = 0.025;
  std::uint32_t audio_bytes_since_sync_ = 0;
  std::uint32_t video_frames_since_sync_ = 0;
  int audio_block_bytes_ = 0;                 // block size of the audio stream (256 or 1024)
  std::vector<unsigned char> gathered_;       // kGatherBlocks blocks, allocated per file
  std::size_t gathered_bytes_ = 0;
  int flush_count_ = 0;
  // Written under lock_, read without it.
  std::atomic<std::uint32_t> video_pos_{0};
  std::atomic<int> time_divisor_{0};
};

}  // namespace stordane
