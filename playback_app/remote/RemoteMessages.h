#pragma once

// Parameters of the remote readers' messages to the main dialog. Every message names the
// playback window (wParam) rather than a socket, so a handler never has to search for it.
// UM_TRANSMIT_READY carries both values of the device's reply in lParam, so it can be
// posted: a sent message would block the reader while the dialog may be waiting to stop it.

#include <cstdint>

#include "platform/Window.h"

namespace lumaro {

inline platform::LPARAM PackTransferReady(std::uint8_t transfer_id, std::uint32_t value) {
  return static_cast<platform::LPARAM>((static_cast<std::uint64_t>(transfer_id) << 32) | value);
}
inline std::uint8_t TransferIdOf(platform::LPARAM packed) {
  return static_cast<std::uint8_t>(static_cast<std::uint64_t>(packed) >> 32);
}
inline std::uint32_t TransferValueOf(platform::LPARAM packed) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(packed));
}

// wParam of UM_DOWN_DATA_END when the download folder or file could not be created.
inline constexpr platform::WPARAM kDownDataCreateFailed = 1;

}  // namespace lumaro
