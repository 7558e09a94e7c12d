#pragma once

// PTZ command codes and the command records of the two device families.

#include <cstdint>
#include <string>

// Codes of the capture-card recorders (kind 3); the PTZ pad's vocabulary.
inline constexpr int kPtzFocusFar = 0;
inline constexpr int kPtzFocusNear = 1;
inline constexpr int kPtzZoomOut = 2;
inline constexpr int kPtzZoomIn = 3;
inline constexpr int kPtzIrisClose = 4;
inline constexpr int kPtzIrisOpen = 5;
inline constexpr int kPtzBrushOff = 6;
inline constexpr int kPtzBrushOn = 7;
inline constexpr int kPtzUp = 8;
inline constexpr int kPtzDown = 9;
inline constexpr int kPtzLeft = 10;
inline constexpr int kPtzRight = 11;
inline constexpr int kPtzAutoOn = 12;
inline constexpr int kPtzAutoOff = 13;
inline constexpr int kPtzPresetAdd = 17;
inline constexpr int kPtzPresetClear = 18;
inline constexpr int kPtzPresetGoto = 19;

// One PTZ button of the main dialog and its code for each family; -1 keeps the button's code.
struct PtzButtonCodes {
  int control;
  int alderCode;
  int dvrCode;
};
inline constexpr PtzButtonCodes kPtzButtonCodes[] = {
    {1041, kPtzUp, 1},          {1042, kPtzDown, 2},         {1043, kPtzLeft, 3},
    {1044, kPtzRight, 4},       {1033, kPtzZoomOut, 7},      {1034, kPtzZoomIn, 6},
    {1035, kPtzFocusFar, 9},    {1036, kPtzFocusNear, 8},    {1037, kPtzIrisClose, 11},
    {1038, kPtzIrisOpen, 10},   {1039, kPtzBrushOff, -1},    {1040, kPtzBrushOn, -1},
    {1045, kPtzAutoOn, -1},
};
inline constexpr int kPtzAutoScanControl = 1045;

inline constexpr int kAlderPtzPayloadBytes = 55;
inline constexpr int kDvrPtzRecordBytes = 6;

// The 55-byte request of a kind-3 PTZ command: check value of bytes 2-4 (high byte first),
// channel (0 when negative), code, start flag, then the user name cut to 49 characters and
// NUL-terminated.
void BuildAlderPtzPayload(unsigned char (&payload)[kAlderPtzPayloadBytes], int channel, int code,
                          int start, const std::string& user);
// The 6-byte DVR record: channel, the code while starting or 0 to stop (32 bits,
// little-endian), 0.
void BuildDvrPtzRecord(unsigned char (&record)[kDvrPtzRecordBytes], int channel, int code,
                       int start);
