#pragma once

// Playback of one recording kept on the recorder (play index 0 of a connection): the recorder
// paces the pictures, the player decodes them on its own worker thread and calls the play,
// progress and play-over callbacks.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "device_sdk/Orvane/DataWorker.h"
#include "device_sdk/Orvane/Orvane.h"
#include "device_sdk/Orvane/PictureDecoder.h"

namespace orvane {

class DvrConnection;

class FilePlayer {
 public:
  explicit FilePlayer(DvrConnection& owner);
  ~FilePlayer();

  int Open(ORVANE_DATA_CB callback, void* user);
  int SetFormat(int format);
  int SetProgressCallback(ORVANE_PROGRESS_CB callback, void* user);
  int SetPlayOverCallback(ORVANE_PLAYOVER_CB callback, void* user);
  int Start(const ORVANE_RECFILE& file);
  int EnableProgress(int enable);
  int Pause();
  int Resume();
  int SetRate(int rate);
  int Stop();
  int Close();

  // Receiving thread: a playback picture, progress report or the end.
  void Receive(uint16_t type, std::vector<uint8_t> payload);
  // The link has closed: nothing plays any more.
  void LinkClosed();
  // Stops the worker; no callback runs after it returns.
  void Shutdown();

 private:
  void Handle(DataItem& item);
  // Drops queued data of earlier playbacks and waits for a callback in progress.
  void Flush();

  DvrConnection& owner_;
  std::mutex control_lock_;  // serialises the API calls
  // Guarded by control_lock_.
  bool playing_ = false;

  std::atomic<uint64_t> generation_{1};  // data of other generations is stale
  std::atomic<bool> progress_enabled_{false};

  std::recursive_mutex callback_lock_;  // held while a callback runs
  // Guarded by callback_lock_.
  ORVANE_DATA_CB play_callback_ = nullptr;
  void* play_user_ = nullptr;
  ORVANE_PROGRESS_CB progress_callback_ = nullptr;
  void* progress_user_ = nullptr;
  ORVANE_PLAYOVER_CB over_callback_ = nullptr;
  void* over_user_ = nullptr;
  int frame_rate_ = 25;

  // Worker thread only.
  PictureDecoder decoder_;
  std::vector<uint8_t> picture_;
  int width_ = 0;
  int height_ = 0;
  unsigned frames_ = 0;
  uint64_t decoded_generation_ = 0;

  std::unique_ptr<DataWorker> worker_;
};

}  // namespace orvane
