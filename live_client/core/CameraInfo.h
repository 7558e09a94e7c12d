#pragma once

// One camera slot of the live client's page table.

#include <cstdint>
#include <string>

#include "platform/Sync.h"

// Limits of the page table: 5 display pages of 25 camera slots, one slot per video window.
inline constexpr int kPageCount = 5;
inline constexpr int kSlotsPerPage = 25;
inline constexpr int kVideoWindowCount = 25;
// Channels of one recorder login (pCamera entries of CLoginInfo).
inline constexpr int kChannelsPerLogin = 24;
// Bytes of the weekly schedule: one per hour, bit d = weekday d (0 = Sunday).
inline constexpr int kScheduleBytes = 24;

// Device kinds: index of the device-model list. Kinds 0-2 are recorders reached through the
// DVR SDK, kind 3 capture-card recorders reached through the media-transmit library, kind 4
// network cameras reached through the camera link (RTSP).
inline constexpr int kKindDogwood = 0;
inline constexpr int kKindCedar = 1;
inline constexpr int kKindBirch = 2;
inline constexpr int kKindAlder = 3;
inline constexpr int kKindCamera = 4;
inline constexpr int kKindCount = 5;

// Kinds whose compressed frames this client decodes, records and snapshots itself (the
// decoding library's entry of the slot), rather than the DVR SDK doing it.
inline constexpr bool DecodesOnClient(int kind) { return kind == kKindAlder || kind == kKindCamera; }

// The host of a network camera's address "host[/path]" (a bracketed IPv6 literal kept whole).
std::string CameraHostOf(const std::string& address);

// A slot names a recorder and a channel on it; an empty strAddr means "not assigned".
// Texts are the system's 8-bit text (code page 936 where not ASCII).
//
// The fields marked "saved" are what "Korvel.cfg" holds; the others are run-time state.
// Run-time fields are changed by the connect workers under the camera-table lock and then
// `lock` (in that order); the main thread takes `lock` to read the connection state.
class CCameraInfo {
 public:
  CCameraInfo() = default;
  virtual ~CCameraInfo() = default;
  CCameraInfo(const CCameraInfo&) = delete;
  CCameraInfo& operator=(const CCameraInfo&) = delete;

  int nPage = 0;                 // saved: page index, rewritten at start-up and every connect
  int nWnd = 0;                  // saved: window index, rewritten at every connect
  std::string strCamDesc;        // saved: camera description
  std::string strSvrDesc;        // saved: server description
  int hDvr = 0;                  // copy of the login's DVR handle while connected
  std::string strAddr;           // saved: dotted IPv4 text or host name; "" = unassigned
  int nPort = 8000;              // saved: recorder port 0-9999
  int nPort2 = 9008;             // saved: second recorder port 0-9999
  std::string strUser;           // saved
  std::string strPassword;       // saved, plain text (the file is readable by its owner only)
  int nKind = kKindAlder;        // saved: device kind 0-4
  int nChannel = 0;              // saved: channel on the recorder, 0-23
  int bTried = 0;                // a connect has been attempted (1 from the end of the first)
  int bConnected = 0;            // preview running
  int bBusy = 0;                 // a connect or disconnect is in progress
  int nRecKind = 0;              // recording: 0 none, 1 manual, 2 scheduled
  int bFmtSet = 0;               // the DVR decoder format has been set for this connection
  std::uint8_t abySchedule[kScheduleBytes] = {
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  int bSchedOn = 0;              // scheduled recording armed
  int nLostFlag = 0;             // connection reported lost; cleared at every connect
  int hDecoder = -1;             // decoder instance of a kind-3 or kind-4 slot, -1 when none
  platform::CriticalSection lock;  // the slot's own lock

  bool IsAssigned() const { return !strAddr.empty(); }
  // Puts the saved fields back to their defaults (run-time fields are left alone).
  void ResetSaved();
};
