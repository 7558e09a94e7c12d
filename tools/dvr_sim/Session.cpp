#include "tools/dvr_sim/Session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device_sdk/Orvane/Orvane.h"
#include "tools/dvr_sim/Server.h"

namespace dvr_sim {
namespace {

namespace wire = orvane::wire;
using Clock = std::chrono::steady_clock;

// Live data beyond this much unsent is dropped; playback waits instead.
constexpr size_t kQueueLimitBytes = 8u << 20;
constexpr uint16_t kMaxPageSize = 64;

Message Make(uint16_t type, uint16_t channel, uint32_t sequence,
             const std::vector<uint8_t>& payload) {
  return std::make_shared<const std::vector<uint8_t>>(
      wire::BuildMessage(type, channel, sequence, payload));
}

// Field text of the login block: up to `width` bytes, ending at the first zero.
std::string Field(const uint8_t* p, size_t width) {
  size_t n = 0;
  while (n < width && p[n]) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

void PutRecord(std::vector<uint8_t>& out, const Recording& r) {
  const size_t at = out.size();
  out.push_back(uint8_t(r.channel));
  out.push_back(uint8_t(r.type));
  wire::PutU32(out, r.start);
  wire::PutU32(out, r.end());
  wire::PutU32(out, r.seconds * 75000u);  // about 600 kbit/s
  wire::PutU32(out, r.id);
  wire::PutText(out, "REC" + std::to_string(r.id) + ".clip", 64);
  out.push_back(0);
  out.push_back(0);
  (void)at;
}

}  // namespace

Session::Session(int fd, Server& server)
    : fd_(fd), server_(server), skip_to_key_(size_t(server.options().channels()), true) {}

Session::~Session() {
  Drop();
  // The last owner may be the reader thread itself, finishing.
  if (reader_.joinable()) {
    if (reader_.get_id() == std::this_thread::get_id())
      reader_.detach();
    else
      reader_.join();
  }
  ::close(fd_);
}

void Session::Start() {
  writer_ = std::thread([self = shared_from_this()] { self->WriteLoop(); });
  reader_ = std::thread([self = shared_from_this()] { self->ReadLoop(); });
}

void Session::Drop() {
  bool was = dropped_.exchange(true);
  if (!was) ::shutdown(fd_, SHUT_RDWR);
  queue_changed_.notify_all();
  play_changed_.notify_all();
}

void Session::Join() {
  if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
}

std::chrono::steady_clock::time_point Session::login_time() const {
  std::lock_guard<std::mutex> guard(lock_);
  return login_time_;
}

bool Session::Enqueue(const Message& message, bool droppable) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (dropped_ || closing_) return false;
    if (droppable && queued_bytes_ > kQueueLimitBytes) return false;
    queue_.push_back(message);
    queued_bytes_ += message->size();
  }
  queue_changed_.notify_all();
  return true;
}

void Session::PushLive(int channel, bool video, bool key, const Message& message) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (dropped_ || closing_) return;
    if (video) {
      auto skip = skip_to_key_.begin() + channel;
      if (*skip && !key) return;
      if (queued_bytes_ > kQueueLimitBytes) {
        *skip = true;
        return;
      }
      *skip = false;
    } else if (queued_bytes_ > kQueueLimitBytes) {
      return;
    }
    queue_.push_back(message);
    queued_bytes_ += message->size();
  }
  queue_changed_.notify_all();
}

void Session::WriteLoop() {
  const auto heartbeat_every = std::chrono::milliseconds(wire::kHeartbeatIntervalMs);
  auto next_heartbeat = Clock::now() + heartbeat_every;
  std::unique_lock<std::mutex> lock(lock_);
  while (!dropped_) {
    if (queue_.empty()) {
      if (closing_) break;
      queue_changed_.wait_until(lock, next_heartbeat,
                                [&] { return dropped_ || closing_ || !queue_.empty(); });
      if (queue_.empty() && !dropped_ && !closing_ && Clock::now() >= next_heartbeat) {
        queue_.push_back(Make(wire::kHeartbeat, 0, 0, {}));
        queued_bytes_ += wire::kHeaderBytes;
      }
      continue;
    }
    Message message = std::move(queue_.front());
    queue_.pop_front();
    queued_bytes_ -= message->size();
    lock.unlock();
    queue_changed_.notify_all();  // playback may be waiting for room
    const bool sent = wire::SendAll(fd_, message->data(), message->size());
    next_heartbeat = Clock::now() + heartbeat_every;
    lock.lock();
    if (!sent) break;
  }
  lock.unlock();
  Drop();
}

void Session::ReadLoop() {
  wire::Header header;
  std::vector<uint8_t> payload;
  while (!dropped_ && wire::ReceiveMessage(fd_, header, payload, -1)) Handle(header, payload);
  Drop();
  StopPlayback();
  for (int c = 0; c < server_.options().channels(); ++c) {
    server_.channel(c)->Subscribe(shared_from_this(), true, false);
    server_.channel(c)->Subscribe(shared_from_this(), false, false);
  }
  if (writer_.joinable()) writer_.join();
  finished_ = true;
}

void Session::Reply(const wire::Header& request, int32_t result,
                    const std::vector<uint8_t>& body) {
  std::vector<uint8_t> payload;
  wire::PutU32(payload, uint32_t(result));
  payload.insert(payload.end(), body.begin(), body.end());
  Enqueue(Make(uint16_t(request.type | wire::kReplyFlag), request.channel, request.sequence,
               payload),
          false);
}

void Session::Handle(const wire::Header& header, const std::vector<uint8_t>& payload) {
  const SimOptions& options = server_.options();
  wire::Reader reader(payload);
  if (header.type == wire::kLogin) {
    if (logged_in_) return Reply(header, ORVANE_ERR_CONNECTION_EXISTS);
    if (payload.size() < wire::kLoginBlockBytes) return Reply(header, ORVANE_ERR_PROTOCOL);
    if (Field(payload.data(), 12) != options.user ||
        Field(payload.data() + 12, 12) != options.password) {
      server_.LogRequest("login " + Field(payload.data(), 12) + " refused");
      return Reply(header, ORVANE_ERR_USER);
    }
    server_.LogRequest("login " + options.user);
    logged_in_ = true;
    {
      std::lock_guard<std::mutex> guard(lock_);
      login_time_ = Clock::now();
    }
    wire::LoginInfo info;
    info.device_kind = uint32_t(options.device_kind);
    info.channels = uint32_t(options.channels());
    info.width = uint32_t(options.width);
    info.height = uint32_t(options.height);
    info.frame_rate = uint32_t(options.frame_rate);
    info.audio_rate = 8000;
    info.device_name = options.device_name;
    info.version = "1.0.0";
    return Reply(header, 0, wire::EncodeLoginInfo(info));
  }
  if (!logged_in_) return Reply(header, ORVANE_ERR_NOT_CONNECTED);

  const bool channel_ok = header.channel < options.channels();
  switch (header.type) {
    case wire::kLogout: {
      Reply(header, 0);
      StopPlayback();
      std::lock_guard<std::mutex> guard(lock_);
      closing_ = true;  // the writer sends what is queued, then the connection closes
      queue_changed_.notify_all();
      return;
    }
    case wire::kVideoStart:
    case wire::kVideoStop:
    case wire::kAudioStart:
    case wire::kAudioStop: {
      if (!channel_ok) return Reply(header, ORVANE_ERR_NO_VIDEO);
      const bool video = header.type == wire::kVideoStart || header.type == wire::kVideoStop;
      const bool on = header.type == wire::kVideoStart || header.type == wire::kAudioStart;
      if (video && on) {
        std::lock_guard<std::mutex> guard(lock_);
        skip_to_key_[header.channel] = true;
      }
      server_.channel(header.channel)->Subscribe(shared_from_this(), video, on);
      return Reply(header, 0);
    }
    case wire::kPtz: {
      uint32_t command = reader.U32();
      if (!reader.ok()) return Reply(header, ORVANE_ERR_PROTOCOL);
      if (!channel_ok) return Reply(header, ORVANE_ERR_NO_VIDEO);
      server_.channel(header.channel)->Ptz(command);
      return Reply(header, 0);
    }
    case wire::kSearch: {
      uint16_t channel_mask = reader.U16(), type_mask = reader.U16();
      uint32_t from = reader.U32(), to = reader.U32();
      uint16_t first = reader.U16(), page = reader.U16();
      if (!reader.ok()) return Reply(header, ORVANE_ERR_PROTOCOL);
      char line[96];
      std::snprintf(line, sizeof line, "search mask 0x%04x types 0x%04x first %u page %u",
                    unsigned(channel_mask), unsigned(type_mask), unsigned(first), unsigned(page));
      server_.LogRequest(line);
      auto found = server_.catalogue().Search(channel_mask, type_mask, from, to);
      const size_t total = std::min<size_t>(found.size(), 0xFFFF);
      if (first == 0) first = 1;
      page = std::min(page, kMaxPageSize);
      size_t count = first <= total ? std::min<size_t>(page, total - first + 1) : 0;
      std::vector<uint8_t> body;
      wire::PutU16(body, uint16_t(total));
      wire::PutU16(body, count ? first : 0);
      wire::PutU16(body, uint16_t(count));
      for (size_t i = 0; i < count; ++i) PutRecord(body, found[first - 1 + i]);
      return Reply(header, 0, body);
    }
    case wire::kPlayStart: {
      uint8_t record[wire::kRecordDataBytes];
      if (!reader.Bytes(record, sizeof record)) return Reply(header, ORVANE_ERR_PROTOCOL);
      wire::Reader fields(record + 14, 4);
      Recording recording;
      const uint32_t id = fields.U32();
      server_.LogRequest("play " + std::to_string(id));
      if (!server_.catalogue().Find(id, recording))
        return Reply(header, ORVANE_ERR_REFUSED);
      auto clip = std::make_shared<Clip>();
      if (!server_.catalogue().LoadClip(recording, options.width, options.height, *clip) ||
          clip->frames.empty())
        return Reply(header, ORVANE_ERR_REFUSED);
      StopPlayback();
      {
        std::lock_guard<std::mutex> guard(play_lock_);
        clip_ = clip;
        play_stop_ = false;
        paused_ = false;
        rate_ = 1;
        ++play_generation_;
      }
      wire::PlayInfo info{clip->duration_ms(), uint32_t(clip->width), uint32_t(clip->height),
                          uint32_t(clip->frame_rate)};
      Reply(header, 0, wire::EncodePlayInfo(info));
      player_ = std::thread([this] { PlayLoop(); });
      return;
    }
    case wire::kPlayPause:
    case wire::kPlayResume:
    case wire::kPlayRate: {
      int32_t rate = header.type == wire::kPlayRate ? reader.I32() : 1;
      if (!reader.ok()) return Reply(header, ORVANE_ERR_PROTOCOL);
      server_.LogRequest(header.type == wire::kPlayPause    ? std::string("pause")
                         : header.type == wire::kPlayResume ? std::string("resume")
                                                            : "rate " + std::to_string(rate));
      if (header.type == wire::kPlayRate && rate != 1 && rate != 2 && rate != 4 && rate != 8 &&
          rate != -2 && rate != -4 && rate != -8)
        return Reply(header, ORVANE_ERR_INVALID_ARGUMENT);
      {
        std::lock_guard<std::mutex> guard(play_lock_);
        if (!clip_) return Reply(header, ORVANE_ERR_STATE);
        if (header.type == wire::kPlayPause) paused_ = true;
        if (header.type == wire::kPlayResume) paused_ = false;
        if (header.type == wire::kPlayRate) rate_ = rate;
        ++play_generation_;
      }
      play_changed_.notify_all();
      return Reply(header, 0);
    }
    case wire::kPlayStop:
      server_.LogRequest("stop");
      StopPlayback();
      return Reply(header, 0);
    default:
      return Reply(header, ORVANE_ERR_PROTOCOL);
  }
}

void Session::StopPlayback() {
  {
    std::lock_guard<std::mutex> guard(play_lock_);
    play_stop_ = true;
    ++play_generation_;
  }
  play_changed_.notify_all();
  queue_changed_.notify_all();
  if (player_.joinable()) player_.join();
  std::lock_guard<std::mutex> guard(play_lock_);
  clip_.reset();
}

void Session::PlayLoop() {
  std::shared_ptr<Clip> clip;
  {
    std::lock_guard<std::mutex> guard(play_lock_);
    clip = clip_;
  }
  if (!clip) return;
  const uint32_t total = clip->duration_ms();
  size_t index = 0;
  Clock::time_point anchor_time = Clock::now();
  uint32_t anchor_stamp = 0;
  uint64_t seen_generation = ~uint64_t(0);
  Clock::time_point next_progress = Clock::now();
  std::vector<uint8_t> payload;

  std::unique_lock<std::mutex> lock(play_lock_);
  while (!play_stop_ && !dropped_ && index < clip->frames.size()) {
    const ClipFrame& frame = clip->frames[index];
    if (seen_generation != play_generation_) {
      // Pause, resume or a new rate: time runs on from the picture due next.
      seen_generation = play_generation_;
      anchor_time = Clock::now();
      anchor_stamp = frame.stamp_ms;
    }
    if (paused_) {
      play_changed_.wait(lock);
      continue;
    }
    const double speed = rate_ > 0 ? double(rate_) : 1.0 / double(-rate_);
    const auto due = anchor_time + std::chrono::microseconds(
                                       int64_t(double(frame.stamp_ms - anchor_stamp) * 1000.0 / speed));
    if (Clock::now() < due) {
      play_changed_.wait_until(lock, due);
      continue;
    }
    lock.unlock();
    payload.clear();
    wire::PutU32(payload, frame.stamp_ms);
    payload.push_back(frame.key ? 1 : 0);
    payload.insert(payload.end(), 3, 0);
    payload.insert(payload.end(), frame.data.begin(), frame.data.end());
    auto message = Make(wire::kPlayFrame, 0, 0, payload);
    {
      // Playback never drops pictures: it waits for the connection to take them.
      std::unique_lock<std::mutex> queue_lock(lock_);
      queue_changed_.wait(queue_lock, [&] {
        return dropped_ || closing_ || play_stop_ || queued_bytes_ <= kQueueLimitBytes;
      });
    }
    Enqueue(message, false);
    if (Clock::now() >= next_progress) {
      payload.clear();
      wire::PutU32(payload, frame.stamp_ms);
      wire::PutU32(payload, total);
      Enqueue(Make(wire::kPlayProgress, 0, 0, payload), false);
      next_progress = Clock::now() + std::chrono::seconds(1);
    }
    ++index;
    lock.lock();
  }
  const bool ended = !play_stop_ && index >= clip->frames.size();
  lock.unlock();
  if (ended) {
    payload.clear();
    wire::PutU32(payload, total);
    wire::PutU32(payload, total);
    Enqueue(Make(wire::kPlayProgress, 0, 0, payload), false);
    Enqueue(Make(wire::kPlayOver, 0, 0, {}), false);
  }
}

}  // namespace dvr_sim
