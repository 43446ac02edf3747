#pragma once

#include <QIcon>
#include <QString>

namespace shell {

inline QString productName() {
    return QStringLiteral("Quavel Logger");
}
inline QString productVersion() {
    return QStringLiteral("1.00");
}

// The program's icon, at every size it comes in.
QIcon appIcon();

}  // namespace shell
