#pragma once

// One live channel of a recorder connection: which streams the caller has opened and asked
// for, the decoders and callbacks, a recording in progress and the last picture for
// snapshots. Received data is decoded and delivered on the channel's own worker thread.
//
// Lock order: control_lock_, then callback_lock_, then picture_lock_.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_sdk/Orvane/DataWorker.h"
#include "device_sdk/Orvane/Orvane.h"
#include "device_sdk/Orvane/PictureDecoder.h"
#include "device_sdk/Orvane/StreamRecorder.h"

namespace orvane {

class DvrConnection;

class LiveChannel {
 public:
  LiveChannel(DvrConnection& owner, int channel, int frame_rate);
  ~LiveChannel();

  // API side (any caller thread). Each returns an ORVANE_ code.
  int SetFormat(int format);
  int OpenVideo();
  int OpenAudio();
  int Mute(int mute);
  int StartVideo();
  int StopVideo();
  int StartAudio();
  int StopAudio();
  int SetVideoCallback(ORVANE_DATA_CB callback, void* context);  // null clears
  int SetAudioCallback(ORVANE_DATA_CB callback, void* context);
  int CloseVideo();
  int CloseAudio();
  int StartRecord(const std::string& host_folder, uint64_t split_bytes);
  int StopRecord();
  int Snapshot(const std::string& host_path);

  // Receiving thread: a live picture or sound block from the recorder.
  void Receive(uint16_t type, std::vector<uint8_t> payload);
  // Receiving thread, once the link is lost: what was received before reaches the caller (and
  // the recording) first, so nothing arrives after the loss is reported.
  void FinishReceived();

  // The link has closed: the channel forgets what was opened and asked for, ends a recording
  // and drops its callbacks.
  void LinkClosed();

  // Stops the worker; after it returns no callback of this channel runs.
  void Shutdown();

 private:
  void Handle(DataItem& item);
  void HandleVideo(const std::vector<uint8_t>& payload);
  void HandleAudio(const std::vector<uint8_t>& payload);
  // Asks the recorder for the picture stream when the preview or a recording needs it.
  int UpdateVideoRequest();

  DvrConnection& owner_;
  const int channel_;
  const int frame_rate_;

  std::mutex control_lock_;
  // Guarded by control_lock_.
  bool format_set_ = false;
  bool video_open_ = false;
  bool audio_open_ = false;
  bool video_sending_ = false;   // the caller asked for pictures
  bool audio_sending_ = false;
  bool video_requested_ = false; // the recorder has been asked for pictures
  bool muted_ = false;

  std::recursive_mutex callback_lock_;  // held while a callback runs
  // Guarded by callback_lock_.
  ORVANE_DATA_CB video_callback_ = nullptr;
  void* video_context_ = nullptr;
  ORVANE_DATA_CB audio_callback_ = nullptr;
  void* audio_context_ = nullptr;
  StreamRecorder recorder_;

  std::mutex picture_lock_;
  // Guarded by picture_lock_ (written by the worker, read by snapshots).
  std::vector<uint8_t> picture_;
  int width_ = 0;
  int height_ = 0;

  // Worker thread only.
  PictureDecoder decoder_;
  std::vector<int16_t> pcm_;  // decoded samples not yet delivered
  std::vector<uint8_t> block_;
  unsigned video_frames_ = 0;
  unsigned audio_blocks_ = 0;
  std::atomic<bool> skip_to_key_{false};  // set when a picture was dropped

  std::unique_ptr<DataWorker> worker_;
};

}  // namespace orvane
