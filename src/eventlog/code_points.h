#pragma once

#include <QString>

namespace eventlog {

constexpr char16_t kCombiningDotAbove = 0x0307;

// The code point at i, and i moved past it; a lone surrogate stands for
// itself.
inline char32_t codePointAt(const QString& text, qsizetype& i) {
    const char16_t unit = text.at(i++).unicode();
    if (QChar::isHighSurrogate(unit) && i < text.size() && text.at(i).isLowSurrogate()) {
        return QChar::surrogateToUcs4(unit, text.at(i++).unicode());
    }
    return unit;
}

// Where the first mark drawn above stands among the marks from i on, marks
// below and others passed over; -1 where a base character or the end comes
// first.
inline qsizetype aboveMarkAt(const QString& text, qsizetype i) {
    constexpr unsigned char kAboveClass = 230;
    while (i < text.size()) {
        const qsizetype at = i;
        const unsigned char combining = QChar::combiningClass(codePointAt(text, i));
        if (combining == kAboveClass) {
            return at;
        }
        if (combining == 0) {
            return -1;
        }
    }
    return -1;
}

}  // namespace eventlog
