#include "record_file_library/AviStreamWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "record_file_library/RecordingIndex.h"
#include "record_file_library/Stordane.h"

namespace stordane {
namespace {

constexpr int kAudioStreamBlock = avi::kImaAdpcmBlockBytes;  // 256
constexpr int kAudioLargeBlock = 4 * avi::kImaAdpcmBlockBytes;

std::int16_t ClampI16(int value) {
  return static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
}

std::uint32_t ClampU32(std::int64_t value) {
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, 0xFFFFFFFFll));
}

// Frame rates the recorder knows: 1..30, and 13 for 12.5 frames per second. Anything else
// records as 25, the rate a writer assumes before it knows better.
int EffectiveFrameRate(int frame_rate) {
  return (frame_rate >= 1 && frame_rate <= 30) ? frame_rate : 25;
}

}  // namespace

AviStreamWriter::~AviStreamWriter() {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  CloseLocked();
}

void AviStreamWriter::SetPacingRow(int frame_rate) {
  if (frame_rate == 13) {
    frame_period_ms_ = 80.0;
    frames_per_ms_ = 0.0125;
  } else {
    frame_period_ms_ = 1000.0 / frame_rate;
    frames_per_ms_ = frame_rate / 1000.0;
  }
}

unsigned AviStreamWriter::Create(const std::string& file_name, const CaptureSettings& settings) {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  CloseLocked();

  video_pos_ = 0;
  audio_pos_ = 0;
  lag_counter_ = 0;
  carry_ms_ = 0.0;
  audio_bytes_since_sync_ = 0;
  video_frames_since_sync_ = 0;
  gathered_bytes_ = 0;
  flush_count_ = 0;
  time_divisor_ = 0;
  SetPacingRow(25);
  file_name_ = file_name;
  // The drive keeps room for the recording index, so this file can be entered at its close
  // even when the video fills the drive.
  if (file_.Open(file_name_, RecordingIndex::kKeptFreeBytes) != 0) return OX_ERR_OPEN;

  const int rate = EffectiveFrameRate(settings.frame_rate);
  const bool is_wmv3 = settings.compression == avi::kFccWmv3;
  const std::int64_t pixels = static_cast<std::int64_t>(settings.width) * settings.height;

  avi::AviStreamHeader header{};
  header.fccType = avi::kFccVids;
  header.fccHandler = settings.compression;
  header.dwScale = rate == 13 ? 2 : 1;
  header.dwRate = rate == 13 ? 25 : static_cast<std::uint32_t>(rate);
  header.dwSuggestedBufferSize = ClampU32(pixels * 2);
  header.dwQuality = 10000;
  header.rcFrame = {0, 0, ClampI16(settings.width), ClampI16(settings.height)};

  // WMV3 carries four bytes of codec sequence data behind the picture header.
  static constexpr unsigned char kWmv3SequenceData[4] = {0x47, 0xF9, 0x00, 0x01};
  unsigned char format[sizeof(avi::BitmapInfoHeader) + sizeof(kWmv3SequenceData)] = {};
  avi::BitmapInfoHeader bih{};
  bih.biSize = is_wmv3 ? 44 : 40;
  bih.biWidth = settings.width;
  bih.biHeight = settings.height;
  bih.biPlanes = 1;
  bih.biBitCount = is_wmv3 ? 24 : 16;
  bih.biCompression = settings.compression;
  bih.biSizeImage = ClampU32(pixels * bih.biBitCount / 8);
  std::memcpy(format, &bih, sizeof(bih));
  if (is_wmv3) std::memcpy(format + sizeof(bih), kWmv3SequenceData, sizeof(kWmv3SequenceData));

  int stream = -1;
  if (file_.CreateStream(header, &stream) != 0 || file_.SetFormat(stream, format, bih.biSize) != 0) {
    // The file stays open (and is finished by the next Create or Close) but takes no frames.
    video_stream_ = -1;
    return OX_ERR_OPEN;
  }
  video_stream_ = stream;
  SetPacingRow(rate);
  time_divisor_ = rate;
  return 0;
}

unsigned AviStreamWriter::WriteFrame(const unsigned char* data, int size, int frame_type) {
  switch (frame_type) {
    case OX_FRAME_VIDEO_KEY:
    case OX_FRAME_VIDEO_DELTA: {
      std::lock_guard<platform::CriticalSection> guard(lock_);
      return WriteVideo(data, size, frame_type == OX_FRAME_VIDEO_KEY);
    }
    case OX_FRAME_AUDIO:
    case OX_FRAME_AUDIO_ALT: {
      std::lock_guard<platform::CriticalSection> guard(lock_);
      return WriteAudio(data, size);
    }
    default:
      return OX_ERR_WRITE;
  }
}

unsigned AviStreamWriter::WriteVideo(const unsigned char* data, int size, bool key_frame) {
  if (!file_.IsOpen() || video_stream_ < 0) return OX_ERR_WRITE;
  if (size < 0 || (data == nullptr && size > 0)) return OX_ERR_WRITE;

  // Video behind audio: one empty frame per incoming frame until the lag is back at the floor.
  if (lag_counter_ < kLagFloorFrames) {
    ++lag_counter_;
    file_.Write(video_stream_, nullptr, 0, 0);
    ++video_pos_;
  }
  const int result = file_.Write(video_stream_, data, static_cast<std::size_t>(size),
                                 key_frame ? avi::AVIIF_KEYFRAME : 0);
  ++video_pos_;
  ++video_frames_since_sync_;
  return result == 0 ? 0 : OX_ERR_WRITE;
}

bool AviStreamWriter::CreateAudioStream(int block_bytes) {
  avi::AviStreamHeader header{};
  header.fccType = avi::kFccAuds;
  header.dwScale = 101;
  header.dwRate = static_cast<std::uint32_t>(1600 / (block_bytes / kAudioStreamBlock));
  header.dwSampleSize = static_cast<std::uint32_t>(block_bytes);

  // A 1024-byte block is four 256-byte ADPCM blocks, so the format is the same for both.
  avi::ImaAdpcmWaveFormat format{};
  format.wfx.wFormatTag = avi::WAVE_FORMAT_IMA_ADPCM;
  format.wfx.nChannels = 1;
  format.wfx.nSamplesPerSec = avi::kImaAdpcmSampleRate;
  format.wfx.nAvgBytesPerSec = avi::kImaAdpcmAvgBytesPerSec;
  format.wfx.nBlockAlign = avi::kImaAdpcmBlockBytes;
  format.wfx.wBitsPerSample = 4;
  format.wfx.cbSize = 2;
  format.wSamplesPerBlock = avi::kImaAdpcmSamplesPerBlock;

  int stream = -1;
  if (file_.CreateStream(header, &stream) != 0 || file_.SetFormat(stream, &format, sizeof(format)) != 0) {
    return false;
  }
  audio_stream_ = stream;
  audio_block_bytes_ = block_bytes;
  gathered_.assign(static_cast<std::size_t>(kGatherBlocks) * block_bytes, 0);
  gathered_bytes_ = 0;
  return true;
}

unsigned AviStreamWriter::WriteAudio(const unsigned char* data, int size) {
  // Audio goes into stream 1, so a file without its video stream takes none.
  if (!file_.IsOpen() || video_stream_ < 0) return OX_ERR_WRITE;
  if (data == nullptr || size <= 0) return OX_ERR_WRITE;
  const int block_bytes = size == kAudioLargeBlock ? kAudioLargeBlock : kAudioStreamBlock;
  if (audio_stream_ < 0 && !CreateAudioStream(block_bytes)) return OX_ERR_WRITE;

  // A short block is never read past its end: the rest of the block is silence (zeros).
  // A block of the other size than the stream's is gathered byte-wise all the same; both
  // sizes are whole 256-byte ADPCM blocks, so the chunks stay decodable.
  const std::size_t copy_bytes = std::min<std::size_t>(static_cast<std::size_t>(size), block_bytes);
  audio_bytes_since_sync_ += static_cast<std::uint32_t>(block_bytes);
  const std::size_t capacity = gathered_.size();
  std::size_t taken = 0;
  unsigned result = 0;
  while (taken < static_cast<std::size_t>(block_bytes)) {
    const std::size_t piece = std::min(static_cast<std::size_t>(block_bytes) - taken, capacity - gathered_bytes_);
    unsigned char* to = gathered_.data() + gathered_bytes_;
    if (taken < copy_bytes) {
      const std::size_t from_data = std::min(piece, copy_bytes - taken);
      std::memcpy(to, data + taken, from_data);
      std::memset(to + from_data, 0, piece - from_data);
    } else {
      std::memset(to, 0, piece);
    }
    taken += piece;
    gathered_bytes_ += piece;
    if (gathered_bytes_ == capacity) {
      const bool written = WriteGatheredChunk(capacity);
      gathered_bytes_ = 0;
      ++flush_count_;
      if (!written) {
        result = OX_ERR_WRITE;
        continue;
      }
      if (flush_count_ >= kFlushesPerSync) PacingStep();
    }
  }
  return result;
}

bool AviStreamWriter::WriteGatheredChunk(std::size_t bytes) {
  const int result = file_.Write(audio_stream_, gathered_.data(), bytes, 0);
  ++audio_pos_;
  return result == 0;
}

void AviStreamWriter::PacingStep() {
  const double drift_ms = video_frames_since_sync_ * frame_period_ms_ + carry_ms_ -
                          audio_bytes_since_sync_ * kAudioMsPerByte;
  const auto frames = static_cast<std::int32_t>(std::trunc(drift_ms * frames_per_ms_));
  lag_counter_ += frames;
  carry_ms_ = drift_ms - frames * frame_period_ms_;
  video_frames_since_sync_ = 0;
  audio_bytes_since_sync_ = 0;
  flush_count_ = 0;
}

bool AviStreamWriter::CloseLocked() {
  if (!file_.IsOpen()) return false;
  bool failed = false;
  if (audio_stream_ >= 0 && gathered_bytes_ > 0) {
    // Everything waiting goes out, rounded up to whole blocks of the stream (zero filled);
    // the outcome does not decide the close.
    const std::size_t block = static_cast<std::size_t>(audio_block_bytes_);
    const std::size_t bytes = (gathered_bytes_ + block - 1) / block * block;
    std::memset(gathered_.data() + gathered_bytes_, 0, bytes - gathered_bytes_);
    WriteGatheredChunk(bytes);
    gathered_bytes_ = 0;
  }
  if (video_stream_ >= 0 && file_.EndStreaming(video_stream_) != 0) failed = true;
  if (audio_stream_ >= 0 && file_.EndStreaming(audio_stream_) != 0) failed = true;
  if (file_.EndRecord() != 0) failed = true;
  file_.Release();
  video_stream_ = -1;
  audio_stream_ = -1;
  audio_block_bytes_ = 0;
  gathered_.clear();
  gathered_.shrink_to_fit();
  return failed;
}

AviStreamWriter::CloseResult AviStreamWriter::Close() {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  CloseResult result;
  result.held_file = file_.IsOpen();
  result.failed = CloseLocked();
  return result;
}

bool AviStreamWriter::IsOpen() const {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  return file_.IsOpen();
}

std::string AviStreamWriter::FileName() const {
  std::lock_guard<platform::CriticalSection> guard(lock_);
  return file_name_;
}

unsigned AviStreamWriter::TimeLength() const {
  const std::uint32_t frames = video_pos_.load();
  const int divisor = time_divisor_.load();
  if (frames == 0 || divisor <= 0) return 0;
  return frames / static_cast<std::uint32_t>(divisor) + 1;
}

}  // namespace stordane
