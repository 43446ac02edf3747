#pragma once

#include <QIcon>
#include <QString>

namespace shell {

QString productName();
// The project's version, as the build gives it.
QString productVersion();

// The program's icon, at every size it comes in.
QIcon appIcon();

}  // namespace shell
