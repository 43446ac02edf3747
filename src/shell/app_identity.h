#pragma once

#include <QString>

namespace shell {

inline QString productName() {
    return QStringLiteral("Quavel Logger");
}
inline QString productVersion() {
    return QStringLiteral("1.00");
}

}  // namespace shell
