#pragma once

#include <QString>

namespace eventlog {

// Makes a client-supplied string safe to put into one log line or the
// caption: line and paragraph breaks (CR, LF, VT, FF, NEL, U+2028, U+2029)
// become a space, so a name cannot start a forged line; other control
// characters except tab, unpaired surrogates and the bidirectional
// embedding, override and isolate controls become U+FFFD, so a name cannot
// hide or reorder the text around it. Nothing else changes.
QString displayText(const QString& clientText);

}  // namespace eventlog
