#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "messenger_error.h"

namespace messenger {

// The client's status codes, under the names the client's own enumeration uses.
enum MISTATUS : std::int32_t {
    MISTATUS_OFFLINE = 1,
    MISTATUS_ONLINE = 2,
    MISTATUS_INVISIBLE = 6,
    MISTATUS_BUSY = 10,
    MISTATUS_BE_RIGHT_BACK = 14,
    MISTATUS_IDLE = 18,
    MISTATUS_AWAY = 34,
    MISTATUS_ON_THE_PHONE = 50,
    MISTATUS_OUT_TO_LUNCH = 66,
};

// Status codes are shown as signed 16-bit values; anything wider is a failed
// call rather than a silently truncated, wrong status.
inline std::int16_t narrowStatus(std::int32_t status) {
    if (status < std::numeric_limits<std::int16_t>::min() ||
        status > std::numeric_limits<std::int16_t>::max()) {
        std::string digits = std::to_string(status);
        std::u16string text(u"Status code ");
        text.append(digits.begin(), digits.end());
        text += u" does not fit in a 16-bit status.";
        throw Error(errc::kOverflow, std::move(text));
    }
    return static_cast<std::int16_t>(status);
}

}  // namespace messenger
