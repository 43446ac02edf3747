#include "text_case.h"

namespace eventlog {

namespace {

bool isWordSeparator(char32_t c) {
    return c == 0 || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' ||
           c == u' ';
}

}  // namespace

QString lowerCase(const QString& text, const QLocale& locale) {
    return locale.toLower(text);
}

QString properCase(const QString& text, const QLocale& locale) {
    QString result = locale.toLower(text);
    bool wordStart = true;
    for (qsizetype i = 0; i < result.size();) {
        const bool pair = result.at(i).isHighSurrogate() && i + 1 < result.size() &&
                          result.at(i + 1).isLowSurrogate();
        const char32_t c =
            pair ? QChar::surrogateToUcs4(result.at(i), result.at(i + 1)) : result.at(i).unicode();
        if (wordStart) {
            // Simple title-case mapping: one code point for one, so the
            // string keeps its length and the result is stable when mapped
            // again.
            const char32_t title = QChar::toTitleCase(c);
            if (title != c && QChar::requiresSurrogates(title) == pair) {
                if (pair) {
                    result[i] = QChar(QChar::highSurrogate(title));
                    result[i + 1] = QChar(QChar::lowSurrogate(title));
                } else {
                    result[i] = QChar(static_cast<char16_t>(title));
                }
            }
        }
        wordStart = isWordSeparator(c);
        i += pair ? 2 : 1;
    }
    return result;
}

}  // namespace eventlog
