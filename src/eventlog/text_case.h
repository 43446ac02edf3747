#pragma once

#include <QLocale>
#include <QString>

namespace eventlog {

// The locale's lower-case mapping of the whole string.
QString lowerCase(const QString& text, const QLocale& locale);

// Lower-cases the text, then title-cases every character that begins it or
// follows a word separator (NUL, tab, LF, VT, FF, CR, space). Punctuation
// belongs to words. Works by code point, so letters outside the BMP count.
QString properCase(const QString& text, const QLocale& locale);

}  // namespace eventlog
