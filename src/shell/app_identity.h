#pragma once

#include <QIcon>
#include <QString>

namespace shell {

QString productName();
// The project's version, as the build gives it.
QString productVersion();

// The program's icon, at every size it comes in.
QIcon appIcon();

// Where users get help, and the program's home on the web.
QString supportAddress();
QString homepageAddress();

}  // namespace shell
