#include "device_sdk/Orvane/FilePlayer.h"

#include "device_sdk/Orvane/DvrConnection.h"
#include "device_sdk/Orvane/OrvaneProtocol.h"

namespace orvane {
namespace {
constexpr size_t kQueueLimit = 50;
}

FilePlayer::FilePlayer(DvrConnection& owner) : owner_(owner) {
  // Playback pictures are never dropped: a full queue slows the receiving thread instead,
  // and the recorder waits for the connection.
  worker_ = std::make_unique<DataWorker>(
      kQueueLimit, [this](DataItem& item) { Handle(item); },
      [](const DataItem&) { return false; });
}

FilePlayer::~FilePlayer() { Shutdown(); }

void FilePlayer::Shutdown() { worker_->Stop(); }

void FilePlayer::LinkClosed() {
  std::lock_guard<std::mutex> guard(control_lock_);
  playing_ = false;
  Flush();
}

int FilePlayer::Open(ORVANE_DATA_CB callback, void* user) {
  std::lock_guard<std::recursive_mutex> guard(callback_lock_);
  play_callback_ = callback;
  play_user_ = user;
  return ORVANE_OK;
}

int FilePlayer::SetFormat(int format) {
  return format == ORVANE_FMT_YUV420 ? ORVANE_OK : ORVANE_ERR_INVALID_ARGUMENT;
}

int FilePlayer::SetProgressCallback(ORVANE_PROGRESS_CB callback, void* user) {
  std::lock_guard<std::recursive_mutex> guard(callback_lock_);
  progress_callback_ = callback;
  progress_user_ = user;
  return ORVANE_OK;
}

int FilePlayer::SetPlayOverCallback(ORVANE_PLAYOVER_CB callback, void* user) {
  std::lock_guard<std::recursive_mutex> guard(callback_lock_);
  over_callback_ = callback;
  over_user_ = user;
  return ORVANE_OK;
}

void FilePlayer::Flush() {
  ++generation_;
  worker_->Clear();
  // Taking the lock waits for a callback that is running now (unless this is that callback).
  std::lock_guard<std::recursive_mutex> guard(callback_lock_);
}

int FilePlayer::Start(const ORVANE_RECFILE& file) {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (playing_) {
    // Everything of the old playback arrives before the recorder's answer to the stop.
    owner_.Request(wire::kPlayStop, 0, {}, nullptr);
    playing_ = false;
  }
  Flush();
  std::vector<uint8_t> record(reinterpret_cast<const uint8_t*>(&file),
                              reinterpret_cast<const uint8_t*>(&file) + wire::kRecordDataBytes);
  std::vector<uint8_t> reply;
  int result = owner_.Request(wire::kPlayStart, 0, record, &reply);
  if (result != ORVANE_OK) return result;
  wire::Reader reader(reply);
  wire::PlayInfo info;
  if (!wire::DecodePlayInfo(reader, info)) return ORVANE_ERR_PROTOCOL;
  {
    std::lock_guard<std::recursive_mutex> callbacks(callback_lock_);
    frame_rate_ = int(info.frame_rate);
  }
  playing_ = true;
  return ORVANE_OK;
}

int FilePlayer::EnableProgress(int enable) {
  progress_enabled_ = enable != 0;
  return ORVANE_OK;
}

int FilePlayer::Pause() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!playing_) return ORVANE_ERR_STATE;
  return owner_.Request(wire::kPlayPause, 0, {}, nullptr);
}

int FilePlayer::Resume() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!playing_) return ORVANE_ERR_STATE;
  return owner_.Request(wire::kPlayResume, 0, {}, nullptr);
}

int FilePlayer::SetRate(int rate) {
  if (rate != 1 && rate != 2 && rate != 4 && rate != 8 && rate != -2 && rate != -4 && rate != -8)
    return ORVANE_ERR_INVALID_ARGUMENT;
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!playing_) return ORVANE_ERR_STATE;
  std::vector<uint8_t> payload;
  wire::PutU32(payload, uint32_t(rate));
  return owner_.Request(wire::kPlayRate, 0, payload, nullptr);
}

int FilePlayer::Stop() {
  std::lock_guard<std::mutex> guard(control_lock_);
  if (!playing_) return ORVANE_OK;
  int result = owner_.Request(wire::kPlayStop, 0, {}, nullptr);
  playing_ = false;
  Flush();
  // A link that has dropped plays nothing any more: the playback has stopped either way.
  return result == ORVANE_ERR_NOT_CONNECTED ? ORVANE_OK : result;
}

int FilePlayer::Close() {
  Stop();
  std::lock_guard<std::recursive_mutex> guard(callback_lock_);
  play_callback_ = nullptr;
  play_user_ = nullptr;
  return ORVANE_OK;
}

void FilePlayer::Receive(uint16_t type, std::vector<uint8_t> payload) {
  worker_->Push(DataItem{type, generation_.load(), std::move(payload)});
}

void FilePlayer::Handle(DataItem& item) {
  std::lock_guard<std::recursive_mutex> callbacks(callback_lock_);
  if (item.generation != generation_) return;
  if (item.generation != decoded_generation_) {
    decoder_.Reset();  // a new recording starts with its own key frame
    decoded_generation_ = item.generation;
    frames_ = 0;
  }
  wire::Reader reader(item.payload);
  if (item.type == wire::kPlayFrame) {
    wire::FrameHeader head;
    if (!wire::DecodeFrameHeader(reader, head)) return;
    if (!decoder_.Decode(reader.cursor(), reader.remaining(), head.key != 0, picture_, width_,
                         height_))
      return;
    if (!play_callback_) return;
    DeliverPicture(play_callback_, play_user_, 0, picture_, width_, height_, head.stamp_ms,
                   frame_rate_, frames_++);
  } else if (item.type == wire::kPlayProgress) {
    const uint32_t position = reader.U32(), total = reader.U32();
    if (reader.ok() && progress_enabled_ && progress_callback_)
      progress_callback_(position, total, progress_user_);
  } else if (item.type == wire::kPlayOver) {
    if (over_callback_) over_callback_(over_user_);
  }
}

}  // namespace orvane
