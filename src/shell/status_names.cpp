#include "shell/status_names.h"

#include <limits>

#include "messenger/error.h"
#include "messenger/status_codes.h"

namespace shell {

QString statusText(std::int16_t status) {
    namespace code = messenger::status;
    switch (status) {
        case code::kOffline:
        // What the Offline command sets (appear offline to others).
        case code::kInvisible: return QStringLiteral("Appear Offline");
        case code::kOnline: return QStringLiteral("Online");
        case code::kBusy: return QStringLiteral("Busy");
        case code::kBeRightBack: return QStringLiteral("Be Right Back");
        case code::kIdle: return QStringLiteral("Idle");
        case code::kAway: return QStringLiteral("Away");
        case code::kOnThePhone: return QStringLiteral("On The Phone");
        case code::kOutToLunch: return QStringLiteral("Out To Lunch");
        default:
            // Kept exactly, misspelling and all: it is the text users know.
            return QStringLiteral("Unkown/Error") + QString::number(status);
    }
}

std::int16_t narrowStatus(std::int32_t status) {
    if (status < std::numeric_limits<std::int16_t>::min() ||
        status > std::numeric_limits<std::int16_t>::max()) {
        throw messenger::Error(messenger::errc::kOverflow,
                               QStringLiteral("Status code %1 does not fit in a 16-bit status.")
                                   .arg(status)
                                   .toStdU16String());
    }
    return static_cast<std::int16_t>(status);
}

}  // namespace shell
