#pragma once

#include <QLocale>
#include <QString>

namespace eventlog {

// The system's full lower-case mapping of text in the locale's language:
// Turkish and Azerbaijani i, Lithuanian i and j keeping their dot under an
// accent, Greek capital sigma ending a word as final sigma. Each platform
// has its own source file: Windows maps with its linguistic casing, other
// systems through Qt's ICU.
QString systemLowerCase(const QString& text, const QLocale& locale);

}  // namespace eventlog
