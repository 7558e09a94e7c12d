#pragma once

// What the two halves of the end-to-end run agree on: the simulated recorders and the
// credentials (loopback addresses of this suite's range).

namespace suite_e2e {

inline constexpr const char kDvrAddress[] = "127.0.0.174";
inline constexpr int kDvrPort = 8670;
inline constexpr const char kAlderAddress[] = "127.0.0.175";
inline constexpr int kAlderPort = 8000;
inline constexpr const char kUser[] = "admin";
inline constexpr const char kPassword[] = "1234";

}  // namespace suite_e2e
