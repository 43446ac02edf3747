#pragma once

#include <cstdint>

// The client's status codes. A client may report others; they are shown as
// unknown, not refused.
namespace messenger::status {
inline constexpr std::int32_t kOffline = 1;
inline constexpr std::int32_t kOnline = 2;
inline constexpr std::int32_t kInvisible = 6;  // signed in, appearing offline
inline constexpr std::int32_t kBusy = 10;
inline constexpr std::int32_t kBeRightBack = 14;
inline constexpr std::int32_t kIdle = 18;
inline constexpr std::int32_t kAway = 34;
inline constexpr std::int32_t kOnThePhone = 50;
inline constexpr std::int32_t kOutToLunch = 66;
}  // namespace messenger::status
