#pragma once

#include <cstdint>

#include "messenger/status_codes.h"

namespace shell {

// File > Change Status: each item asks the client for one status.
struct StatusCommand {
    const char* objectName;
    const char* caption;
    std::int32_t status;
};

inline constexpr StatusCommand kStatusCommands[] = {
    {"mnuOnline", "Online", messenger::status::kOnline},
    {"mnuBusy", "Busy", messenger::status::kBusy},
    {"mnuBeRightBack", "Be Right Back", messenger::status::kBeRightBack},
    {"mnuAway", "Away", messenger::status::kAway},
    {"mnuOnThePhone", "On The Phone", messenger::status::kOnThePhone},
    {"mnuOutToLunch", "Out To Lunch", messenger::status::kOutToLunch},
    // Appear offline to others while staying signed in.
    {"mnuOffline", "Offline", messenger::status::kInvisible},
};

}  // namespace shell
