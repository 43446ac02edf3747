#include "status_text.h"

namespace eventlog {

QString GetStatusText(std::int16_t status) {
    switch (status) {
        case 1:
        // 6 is what the Offline command sets (appear offline to others).
        case 6:
            return QStringLiteral("Appear Offline");
        case 2:
            return QStringLiteral("Online");
        case 10:
            return QStringLiteral("Busy");
        case 14:
            return QStringLiteral("Be Right Back");
        case 18:
            return QStringLiteral("Idle");
        case 34:
            return QStringLiteral("Away");
        case 50:
            return QStringLiteral("On The Phone");
        case 66:
            return QStringLiteral("Out To Lunch");
        default:
            // The misspelling is the text users have always seen; keep it.
            return QStringLiteral("Unkown/Error") + QString::number(status);
    }
}

}  // namespace eventlog
