#include "eventlog/text_case.h"

#include "eventlog/code_points.h"
#include "eventlog/system_case.h"

namespace eventlog {

namespace {

bool isWordSeparator(char32_t c) {
    return c == 0 || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' ||
           c == u' ';
}

// Where ASCII letters map as in every locale but Turkish and Azerbaijani
// (dotted and dotless i), plain ASCII text can skip the full Unicode mapping.
bool asciiMapsPlainly(const QLocale& locale) {
    return locale.language() != QLocale::Turkish && locale.language() != QLocale::Azerbaijani;
}

bool isAscii(const QString& text) {
    const char16_t* data = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0, length = text.size(); i < length; ++i) {
        if (data[i] >= 0x80) {
            return false;
        }
    }
    return true;
}

bool isAsciiUpper(char16_t c) {
    return c >= u'A' && c <= u'Z';
}

// Lower-cases ASCII text; text already in lower case comes back shared.
QString asciiLower(const QString& text) {
    const char16_t* data = reinterpret_cast<const char16_t*>(text.constData());
    qsizetype first = 0;
    while (first < text.size() && !isAsciiUpper(data[first])) {
        ++first;
    }
    if (first == text.size()) {
        return text;
    }
    QString result = text;
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    for (qsizetype i = first; i < result.size(); ++i) {
        if (isAsciiUpper(out[i])) {
            out[i] = static_cast<char16_t>(out[i] + (u'a' - u'A'));
        }
    }
    return result;
}

// Lithuanian lower case keeps the dot of i and j under an accent as a
// combining dot above; in upper and title case that dot goes again.
bool isSoftDotted(char32_t c) {
    return c == u'i' || c == u'j' || c == 0x012F || c == 0x0268 || c == 0x0456 || c == 0x0458;
}

// After a word's first letter at i (c before title-casing) became a capital:
// drops the dot that Lithuanian lower case put after i and j, and puts I with
// a grave, acute or tilde back together, as Lithuanian lower case takes
// Ì, Í and Ĩ apart. Proper case then reads the same however often it runs.
void keepLithuanianCapitalWhole(QString& text, qsizetype i, char32_t c) {
    if (isSoftDotted(c) && i + 1 < text.size() && text.at(i + 1) == QChar(kCombiningDotAbove)) {
        text.remove(i + 1, 1);
    }
    if (text.at(i) == u'I' && i + 1 < text.size()) {
        const char16_t accent = text.at(i + 1).unicode();
        const char16_t whole = accent == 0x0300   ? 0x00CC
                               : accent == 0x0301 ? 0x00CD
                               : accent == 0x0303 ? 0x0128
                                                  : 0;
        if (whole != 0) {
            text[i] = QChar(whole);
            text.remove(i + 1, 1);
        }
    }
}

// Where the word from i on has a combining dot above; -1 where none.
qsizetype dotAboveInWord(const QString& text, qsizetype i) {
    for (; i < text.size() && !isWordSeparator(text.at(i).unicode()); ++i) {
        if (text.at(i) == QChar(kCombiningDotAbove)) {
            return i;
        }
    }
    return -1;
}

// Turkish lower case reads I with a dot above as i, also with marks below
// between them, so a dotless i that carried a dot above and became I at a
// word's start is written as İ: proper case then reads the same when applied
// again, and the text is still the same to Unicode. Qt's character tables
// can be older than the system's, which may know a mark between them that Qt
// does not; then the system's own lower case decides.
void keepTurkishCapitalWhole(QString& text, qsizetype i, const QLocale& locale) {
    if (text.at(i) != u'I') {
        return;
    }
    qsizetype dot = aboveMarkAt(text, i + 1);
    if (dot < 0 || text.at(dot) != QChar(kCombiningDotAbove)) {
        dot = dotAboveInWord(text, i + 1);
        if (dot < 0 || !systemLowerCase(text.mid(i, dot - i + 1), locale).startsWith(u'i')) {
            return;
        }
    }
    text[i] = QChar(0x0130);
    text.remove(dot, 1);
}

}  // namespace

QString lowerCase(const QString& text, const QLocale& locale) {
    if (asciiMapsPlainly(locale) && isAscii(text)) {
        return asciiLower(text);
    }
    return systemLowerCase(text, locale);
}

QString properCase(const QString& text, const QLocale& locale) {
    QString result = lowerCase(text, locale);
    const bool lithuanian = locale.language() == QLocale::Lithuanian;
    const bool dottedI = !asciiMapsPlainly(locale);  // Turkish, Azerbaijani
    bool wordStart = true;
    for (qsizetype i = 0; i < result.size();) {
        qsizetype next = i;
        const char32_t c = codePointAt(result, next);
        const bool pair = next - i == 2;
        if (wordStart) {
            // Simple title-case mapping, one code point for one, so that the
            // result is stable when mapped again.
            const char32_t title = dottedI && c == u'i' ? 0x0130 : QChar::toTitleCase(c);
            if (title != c && QChar::requiresSurrogates(title) == pair) {
                if (pair) {
                    result[i] = QChar(QChar::highSurrogate(title));
                    result[i + 1] = QChar(QChar::lowSurrogate(title));
                } else {
                    result[i] = QChar(static_cast<char16_t>(title));
                }
            }
            if (lithuanian) {
                keepLithuanianCapitalWhole(result, i, c);
            } else if (dottedI) {
                keepTurkishCapitalWhole(result, i, locale);
            }
        }
        wordStart = isWordSeparator(c);
        i = next;
    }
    return result;
}

}  // namespace eventlog
