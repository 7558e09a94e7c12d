#pragma once

// One client connection to the recorder: a reader thread answers requests in order, a writer
// thread sends replies and data from a queue, and a playback thread paces a stored recording
// while one plays.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device_sdk/Orvane/OrvaneProtocol.h"
#include "tools/dvr_sim/Clip.h"

namespace dvr_sim {

class Server;

using Message = std::shared_ptr<const std::vector<uint8_t>>;

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(int fd, Server& server);
  ~Session();

  void Start();
  // Closes the connection from any thread; the threads then end by themselves.
  void Drop();
  // Waits for the threads (not from one of them).
  void Join();
  bool finished() const { return finished_; }
  // Time of the successful login, or nullopt-like zero before it.
  std::chrono::steady_clock::time_point login_time() const;

  // Live data from a channel thread. A full queue drops the message; a dropped picture makes
  // the channel skip pictures until its next key frame so the client never decodes a picture
  // whose reference it lacks.
  void PushLive(int channel, bool video, bool key, const Message& message);

 private:
  void ReadLoop();
  void WriteLoop();
  void PlayLoop();
  void Handle(const orvane::wire::Header& header, const std::vector<uint8_t>& payload);
  void Reply(const orvane::wire::Header& request, int32_t result,
             const std::vector<uint8_t>& body = {});
  // Queues a message; `droppable` messages are refused when the queue holds too much.
  bool Enqueue(const Message& message, bool droppable);
  void StopPlayback();

  int fd_;
  Server& server_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> dropped_{false};
  std::atomic<bool> play_stop_{false};  // set under play_lock_, read also under lock_

  // Reader thread only.
  bool logged_in_ = false;

  mutable std::mutex lock_;
  std::condition_variable queue_changed_;
  // Guarded by lock_.
  std::deque<Message> queue_;
  size_t queued_bytes_ = 0;
  std::vector<bool> skip_to_key_;  // per channel
  std::chrono::steady_clock::time_point login_time_{};
  bool closing_ = false;

  std::mutex play_lock_;
  std::condition_variable play_changed_;
  // Guarded by play_lock_.
  std::shared_ptr<Clip> clip_;
  bool paused_ = false;
  int rate_ = 1;
  uint64_t play_generation_ = 0;  // bumped by every change the pacing must notice

  std::thread reader_;
  std::thread writer_;
  std::thread player_;  // started and joined by the reader thread only
};

}  // namespace dvr_sim
