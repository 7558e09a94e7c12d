#include "device_sdk/Orvane/LiveChannel.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "device_sdk/Orvane/DvrConnection.h"
#include "device_sdk/Orvane/ImaAdpcm.h"
#include "device_sdk/Orvane/OrvaneProtocol.h"
#include "device_sdk/Orvane/PictureFile.h"

namespace orvane {
namespace {

constexpr size_t kQueueLimit = 50;  // about a second of pictures and sound
constexpr size_t kPcmBlockSamples = ORVANE_PCM_BLOCK_BYTES / 2;
constexpr size_t kMaxAdpcmBlockBytes = 4096;
constexpr size_t kRendererMaxBlockBytes = 4040;

// A link that is down sends nothing: stopping and closing then succeed.
int StoppedAnyway(int result) { return result == ORVANE_ERR_NOT_CONNECTED ? ORVANE_OK : result; }

}  // namespace

LiveChannel::LiveChannel(DvrConnection& owner, int channel, int frame_rate)
    : owner_(owner), channel_(channel), frame_rate_(frame_rate) {
  // Room for the largest block a renderer may be set up for (4040 bytes): a sound output
  // restarted for another window's block size may still read one of our blocks at that size.
  block_.assign(kRendererMaxBlockBytes, 0);
  worker_ = std::make_unique<DataWorker>(
      kQueueLimit, [this](DataItem& item) { Handle(item); },
      [this](const DataItem& item) {
        // A lost picture spoils the pictures that refer to it: decode again from a key frame.
        if (item.type == wire::kVideoFrame) skip_to_key_ = true;
        return true;
      });
}

LiveChannel::~LiveChannel() { Shutdown(); }

void LiveChannel::Shutdown() {
  worker_->Stop();
  std::lock_guard<std::recursive_mutex> guard(callback_lock_);
  recorder_.Stop();
}

void LiveChannel::LinkClosed() {
  std::lock_guard<std::mutex> guard(control_lock_);
  format_set_ = video_open_ = audio_open_ = false;
  video_sending_ = audio_sending_ = video_requested_ = muted_ = false;
  worker_->Clear();
  std::lock_guard<std::recursive_mutex> callbacks(callback_lock_);
  recorder_.Stop();
  video_callback_ = audio_callback_ = nullptr;
  video_context_ = audio_context_ = nullptr;
  skip_to_key_ = true;
}

int LiveChannel::SetFormat(int format) {
  if (format != ORVANE_FMT_YUV420) return ORVANE_ERR_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> guard(control_lock_);
  format_set_ = true;
  return ORVANE_OK;
}

int LiveChannel::OpenVideo() {
  std::lock_guard<std::mutex> guard(control_lock_);
  video_open_ = true;
  return ORVANE_OK;
}

int LiveChannel::OpenAudio() {
  std::lock_guard<std::mutex> guard(control_lock_);
  audio_open_ = true;
  return ORVANE_OK;
}

int LiveChannel::Mute(int mute) {
  std::lock_guard<std::mutex> guard(control_lock_);
  muted_ = mute != 0;
  return ORVANE_OK;
}

int LiveChannel::UpdateVideoRequest() {
  bool recording;
  {
    std::lock_guard<std::recursive_mutex> guard(callback_lock_);
    recording = recorder_.active();
  }
  const bool wanted = video_sending_ || recording;
  if (wanted == video_requested_) return ORVANE_OK;
  int result = owner_.Request(wanted ? wire::kVideoStart : wire::kVideoStop, uint16_t(channel_), {},
                              nullptr);
  // A link that is down sends nothing anyway, so a failed stop still counts as stopped.
  if (result == ORVANE_OK || !wanted) video_requested_ = wanted;
  return result;
}

int LiveChannel::StartVideo() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!video_open_) return ORVANE_ERR_STATE;
  if (video_sending_) return ORVANE_OK;
  video_sending_ = true;
  int result = UpdateVideoRequest();
  if (result != ORVANE_OK) video_sending_ = false;
  return result;
}

int LiveChannel::StopVideo() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!video_sending_) return ORVANE_OK;
  video_sending_ = false;
  return StoppedAnyway(UpdateVideoRequest());
}

int LiveChannel::StartAudio() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!audio_open_) return ORVANE_ERR_STATE;
  if (audio_sending_) return ORVANE_OK;
  int result = owner_.Request(wire::kAudioStart, uint16_t(channel_), {}, nullptr);
  if (result == ORVANE_OK) audio_sending_ = true;
  return result;
}

int LiveChannel::StopAudio() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!audio_sending_) return ORVANE_OK;
  audio_sending_ = false;
  return StoppedAnyway(owner_.Request(wire::kAudioStop, uint16_t(channel_), {}, nullptr));
}

int LiveChannel::SetVideoCallback(ORVANE_DATA_CB callback, void* context) {
  std::lock_guard<std::recursive_mutex> guard(callback_lock_);
  video_callback_ = callback;
  video_context_ = context;
  return ORVANE_OK;
}

int LiveChannel::SetAudioCallback(ORVANE_DATA_CB callback, void* context) {
  std::lock_guard<std::recursive_mutex> guard(callback_lock_);
  audio_callback_ = callback;
  audio_context_ = context;
  return ORVANE_OK;
}

int LiveChannel::CloseVideo() {
  std::lock_guard<std::mutex> guard(control_lock_);
  int result = ORVANE_OK;
  if (video_sending_) {
    video_sending_ = false;
    result = StoppedAnyway(UpdateVideoRequest());
  }
  video_open_ = false;
  return result;
}

int LiveChannel::CloseAudio() {
  std::lock_guard<std::mutex> guard(control_lock_);
  int result = ORVANE_OK;
  if (audio_sending_) {
    audio_sending_ = false;
    result = StoppedAnyway(owner_.Request(wire::kAudioStop, uint16_t(channel_), {}, nullptr));
  }
  audio_open_ = false;
  return result;
}

int LiveChannel::StartRecord(const std::string& host_folder, uint64_t split_bytes) {
  std::lock_guard<std::mutex> guard(control_lock_);
  {
    std::lock_guard<std::recursive_mutex> callbacks(callback_lock_);
    if (recorder_.active()) return ORVANE_ERR_STATE;
    recorder_.Start(host_folder, channel_, split_bytes);
  }
  int result = UpdateVideoRequest();
  if (result != ORVANE_OK) {
    std::lock_guard<std::recursive_mutex> callbacks(callback_lock_);
    recorder_.Stop();
  }
  return result;
}

int LiveChannel::StopRecord() {
  std::lock_guard<std::mutex> guard(control_lock_);
  {
    std::lock_guard<std::recursive_mutex> callbacks(callback_lock_);
    if (!recorder_.active()) return ORVANE_ERR_STATE;
    recorder_.Stop();
  }
  UpdateVideoRequest();  // the recording is closed whatever the link says
  return ORVANE_OK;
}

int LiveChannel::Snapshot(const std::string& host_path) {
  PictureFileKind kind = PictureFileKindOf(host_path);
  if (kind == PictureFileKind::None) return ORVANE_ERR_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> guard(picture_lock_);
  if (width_ == 0) return ORVANE_ERR_NO_PICTURE;
  return WritePictureFile(host_path, kind, picture_.data(), width_, height_) ? ORVANE_OK
                                                                             : ORVANE_ERR_FILE;
}

void LiveChannel::Receive(uint16_t type, std::vector<uint8_t> payload) {
  worker_->Push(DataItem{type, 0, std::move(payload)});
}

void LiveChannel::FinishReceived() {
  // Bounded: a callback that never returns must not keep the loss from being reported.
  if (!worker_->Drain(std::chrono::seconds(2)))
    std::fprintf(stderr, "[ORVANE] channel %d still busy when its link was lost\n", channel_);
}

void LiveChannel::Handle(DataItem& item) {
  if (item.type == wire::kVideoFrame)
    HandleVideo(item.payload);
  else if (item.type == wire::kAudioBlock)
    HandleAudio(item.payload);
}

void LiveChannel::HandleVideo(const std::vector<uint8_t>& payload) {
  wire::Reader reader(payload);
  wire::FrameHeader head;
  if (!wire::DecodeFrameHeader(reader, head)) return;
  const bool key = head.key != 0;
  const uint8_t* data = reader.cursor();
  const size_t size = reader.remaining();
  if (skip_to_key_.exchange(false)) decoder_.Reset();

  std::lock_guard<std::recursive_mutex> callbacks(callback_lock_);
  if (recorder_.active()) recorder_.Write(data, size, key);
  bool decoded;
  {
    std::lock_guard<std::mutex> guard(picture_lock_);
    decoded = decoder_.Decode(data, size, key, picture_, width_, height_);
  }
  if (!decoded || !video_callback_) return;
  DeliverPicture(video_callback_, video_context_, channel_, picture_, width_, height_,
                 head.stamp_ms, frame_rate_, video_frames_++);
}

void LiveChannel::HandleAudio(const std::vector<uint8_t>& payload) {
  wire::Reader reader(payload);
  const uint32_t stamp = reader.U32();
  if (!reader.Skip(4)) return;
  const size_t block_bytes = reader.remaining();
  if (block_bytes > kMaxAdpcmBlockBytes) return;
  int16_t samples[1 + 2 * kMaxAdpcmBlockBytes];
  const size_t count = ImaDecodeBlock(reader.cursor(), block_bytes, samples);
  pcm_.insert(pcm_.end(), samples, samples + count);

  // The recorder's blocks need not match ours: deliver whole 642-byte blocks as they fill.
  std::lock_guard<std::recursive_mutex> callbacks(callback_lock_);
  while (pcm_.size() >= kPcmBlockSamples) {
    for (size_t i = 0; i < kPcmBlockSamples; ++i) {
      block_[2 * i] = uint8_t(uint16_t(pcm_[i]) & 0xFF);
      block_[2 * i + 1] = uint8_t(uint16_t(pcm_[i]) >> 8);
    }
    pcm_.erase(pcm_.begin(), pcm_.begin() + kPcmBlockSamples);
    if (!audio_callback_) continue;
    ORVANE_FRAME frame{};
    frame.channel = channel_;
    frame.data = block_.data();
    frame.size = ORVANE_PCM_BLOCK_BYTES;
    frame.type = ORVANE_FRAME_AUDIO;
    frame.stampMs = stamp;
    frame.rate = ORVANE_PCM_SAMPLE_RATE;
    frame.frameNumber = audio_blocks_++;
    audio_callback_(&frame, audio_context_);
  }
}

}  // namespace orvane
