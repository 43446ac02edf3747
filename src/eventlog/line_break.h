#pragma once

#include <QStringView>

namespace eventlog {

// The platform's own line break, for text that leaves the program (the
// clipboard, a saved log, the log file): CR LF on Windows, LF elsewhere.
constexpr QStringView platformLineBreak() {
#ifdef Q_OS_WIN
    return u"\r\n";
#else
    return u"\n";
#endif
}

}  // namespace eventlog
