#pragma once

// The recorder side of remote search and playback (device types 0..2): the one connection
// the program keeps to a recorder through the DVR SDK, the paged recording search, and the
// recorder's own file playback drawn into a playback window by the render library.
//
// Threads: every member function runs on the user-interface thread. The SDK's play,
// progress and play-over callbacks run on SDK threads; they touch only the render library,
// the snapshot flags, the atomic progress slot and the dialog's message queue (by posting).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device_sdk/Orvane/Orvane.h"
#include "playback_app/LumaroIds.h"

namespace lumaro {

// The address and credentials a recorder connection is opened with.
struct RecorderLogin {
  unsigned int ip = 0;  // IPv4, network order
  unsigned short port = 0;
  std::string user;      // 8-bit text; at most 12 bytes reach the recorder
  std::string password;  // likewise
  bool operator==(const RecorderLogin&) const = default;
};

enum class RecorderConnect { None, Reused, Opened, OpenFailed, LoginFailed, ParamsFailed };

// The recorder's search window and record types of one search.
struct RecorderQuery {
  std::uint16_t typeMask = 16;
  std::uint32_t start = 0;  // seconds, the recorder's wall clock counted as UTC
  std::uint32_t end = 0;
};

// Matches asked for per search call.
inline constexpr std::uint16_t kRecorderPageSize = 8;

// Record-type mask for the record-type combo index (0 all, 1 manual, 2 automatic, 3 alarm).
std::uint16_t RecorderTypeMask(int comboIndex);
// Channels a recorder of `deviceType` has (type 0: 4, 1: 16, 2: 8); 0 for other types.
int RecorderChannelCount(int deviceType);
// Seconds of a wall-clock date and time counted as UTC, as the recorder keeps its times.
std::uint32_t RecorderSeconds(int year, int month, int day, int secondsOfDay);
// "yyyy/mm/dd-hh:mm:ss" of recorder seconds.
std::string RecorderTimeText(std::uint32_t seconds);
// IPv4 of an address text: a dotted address as it is, otherwise the first IPv4 address of
// the host name. False when there is none.
bool ResolveRecorderAddress(const std::string& address, unsigned int& ip);

class CRecorderRemote {
 public:
  // Called for every recording a search returns, in the order returned; the record is valid
  // only during the call.
  using RowSink = std::function<void(int channel, const ORVANE_RECFILE& record)>;

  // `dialog` receives UM_SDK_PROGRESS and UM_SNAPSHOT_DONE; `snapshotRequests` are the
  // dialog's per-window snapshot flags; `pictureFolder` is where snapshots go. All three
  // outlive this object. The SDK must be started.
  CRecorderRemote(void* dialog, std::array<std::atomic<int>, kVideoWindows>& snapshotRequests,
                  std::string pictureFolder);
  // Stops a playback and closes the connection.
  ~CRecorderRemote();
  CRecorderRemote(const CRecorderRemote&) = delete;
  CRecorderRemote& operator=(const CRecorderRemote&) = delete;

  // Keeps an open connection with the same address, port and credentials; otherwise closes
  // it and opens and logs in anew. Failures are traced; the caller tells the operator.
  RecorderConnect Connect(const RecorderLogin& login);
  // Logs out and destroys the connection (the handle stays when destroying fails).
  void Close();
  bool IsConnected() const { return m_hDvr != 0; }

  // Searches each channel (from 1, at most 16) page by page and hands out the rows. False
  // when a search call failed; the rows handed out before stay.
  bool Search(const std::vector<int>& channels, const RecorderQuery& query, const RowSink& row);

  // Plays `file` drawn into the render port `window`. A playback in progress is replaced.
  bool StartPlay(int window, const ORVANE_RECFILE& file);
  // Stops the playback; false (and the playback goes on) when the SDK refuses.
  bool StopPlay();
  // The window of the playback, -1 when none.
  int PlayWindow() const { return m_nPlayWindow; }
  bool Pause();
  bool Resume();
  // 1, 2, 4, 8, or -2, -4, -8 for 1/2, 1/4, 1/8 of normal speed.
  bool SetRate(int rate);

  // The last progress reported, in percent (0..100), and forgets it; -1 when none is new.
  int TakeProgress() { return m_nProgressPercent.exchange(-1); }

 private:
  // Appends the rows of the page in m_result; the number of rows added.
  int AddPageRows(int channel, const RowSink& row);
  void ReleaseResults();

  static void PlayCallback(ORVANE_FRAME* frame, void* user);
  static void ProgressCallback(unsigned int position, unsigned int total, void* user);
  static void PlayOverCallback(void* user);

  void* const m_hDialog;
  std::array<std::atomic<int>, kVideoWindows>& m_snapRequest;
  const std::string m_strPictureFolder;

  // User-interface thread only.
  int m_hDvr = 0;
  RecorderLogin m_login;
  ORVANE_SEARCH_RESULT m_result{};
  int m_nPlayWindow = -1;

  // Written by the user-interface thread before a playback starts, read by the callbacks.
  std::atomic<int> m_nCallbackWindow{-1};
  // Written by the progress callback, taken by the user-interface thread.
  std::atomic<int> m_nProgressPercent{-1};
};

}  // namespace lumaro
