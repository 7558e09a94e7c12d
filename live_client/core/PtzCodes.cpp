#include "live_client/core/PtzCodes.h"

#include <cstring>

#include "device_sdk/Ferrow/Ferrow.h"

void BuildAlderPtzPayload(unsigned char (&payload)[kAlderPtzPayloadBytes], int channel, int code,
                          int start, const std::string& user) {
  std::memset(payload, 0, sizeof payload);
  payload[2] = static_cast<unsigned char>(channel < 0 ? 0 : channel);
  payload[3] = static_cast<unsigned char>(code);
  payload[4] = static_cast<unsigned char>(start);
  const unsigned short check = FRWCalculateCrc(payload + 2, 3);
  payload[0] = static_cast<unsigned char>(check >> 8);
  payload[1] = static_cast<unsigned char>(check & 0xFF);
  const std::size_t room = sizeof payload - 5 - 1;  // 49 characters and the NUL
  std::memcpy(payload + 5, user.data(), user.size() < room ? user.size() : room);
}

void BuildDvrPtzRecord(unsigned char (&record)[kDvrPtzRecordBytes], int channel, int code,
                       int start) {
  const std::uint32_t command = start ? static_cast<std::uint32_t>(code) : 0u;
  record[0] = static_cast<unsigned char>(channel);
  record[1] = static_cast<unsigned char>(command & 0xFF);
  record[2] = static_cast<unsigned char>((command >> 8) & 0xFF);
  record[3] = static_cast<unsigned char>((command >> 16) & 0xFF);
  record[4] = static_cast<unsigned char>((command >> 24) & 0xFF);
  record[5] = 0;
}
