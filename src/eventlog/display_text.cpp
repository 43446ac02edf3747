#include "eventlog/display_text.h"

namespace eventlog {

namespace {

bool breaksLine(char16_t c) {
    return c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x0085 || c == 0x2028 ||
           c == 0x2029;
}

bool isHiddenControl(char16_t c) {
    const bool c0 = c < 0x20 && c != u'\t';
    const bool c1 = c >= 0x7F && c <= 0x9F;
    const bool bidi = (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    return c0 || c1 || bidi;
}

bool needsChange(const QString& text) {
    const char16_t* data = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0, length = text.size(); i < length; ++i) {
        const char16_t c = data[i];
        // Printable ASCII and most of the BMP pass; look closer at the rest.
        if ((c >= 0x20 && c < 0x7F) || (c > 0x9F && c < 0x2028)) {
            continue;
        }
        if (c == u'\t') {
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < length && QChar::isLowSurrogate(data[i + 1])) {
            ++i;
            continue;
        }
        if (breaksLine(c) || isHiddenControl(c) || QChar::isSurrogate(c)) {
            return true;
        }
    }
    return false;
}

}  // namespace

QString displayText(const QString& clientText) {
    // Most text is clean: hand it back shared, without a copy.
    if (!needsChange(clientText)) {
        return clientText;
    }
    QString result = clientText;
    const qsizetype length = result.size();
    char16_t* text = reinterpret_cast<char16_t*>(result.data());
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = text[i];
        if (QChar::isHighSurrogate(c) && i + 1 < length && QChar::isLowSurrogate(text[i + 1])) {
            ++i;
        } else if (QChar::isSurrogate(c)) {
            text[i] = QChar::ReplacementCharacter;
        } else if (breaksLine(c)) {
            text[i] = u' ';
        } else if (isHiddenControl(c)) {
            text[i] = QChar::ReplacementCharacter;
        }
    }
    return result;
}

}  // namespace eventlog
