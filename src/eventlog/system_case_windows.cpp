#include "eventlog/code_points.h"
#include "eventlog/system_case.h"

// windows.h first: the other Windows headers build on it.
#include <windows.h>

namespace eventlog {

namespace {

// Windows maps case one UTF-16 unit for one, with the language's own
// letters (Turkish dotless i) when asked for linguistic casing. The rules
// that add a character or look at the neighbours it leaves out; they are
// applied here first, to the text it is then given.

constexpr char16_t kCapitalSigma = 0x03A3;
constexpr char16_t kFinalSigma = 0x03C2;

char32_t codePointBefore(const QString& text, qsizetype& i) {
    --i;
    if (i > 0 && text.at(i).isLowSurrogate() && text.at(i - 1).isHighSurrogate()) {
        --i;
        return QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
    }
    return text.at(i).unicode();
}

bool isCased(char32_t c) {
    const QChar::Category category = QChar::category(c);
    return category == QChar::Letter_Uppercase || category == QChar::Letter_Lowercase ||
           category == QChar::Letter_Titlecase;
}

// Marks, format characters, modifiers and the apostrophes and stops that
// may stand inside a word.
bool isCaseIgnorable(char32_t c) {
    switch (QChar::category(c)) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_Enclosing:
        case QChar::Other_Format:
        case QChar::Letter_Modifier:
        case QChar::Symbol_Modifier: return true;
        default:
            return c == u'\'' || c == u'.' || c == u':' || c == 0x00B7 || c == 0x2018 ||
                   c == 0x2019 || c == 0x2024 || c == 0x2027;
    }
}

// Whether the nearest character that counts, looking one way from i, is a
// cased letter.
template <typename Step>
bool casedLetterNear(const QString& text, qsizetype i, Step step, bool forward) {
    while (forward ? i < text.size() : i > 0) {
        const char32_t c = step(text, i);
        if (!isCaseIgnorable(c)) {
            return isCased(c);
        }
    }
    return false;
}

// Capital sigma at i ends a word: a cased letter before it, none after.
bool endsWord(const QString& text, qsizetype i) {
    return casedLetterNear(text, i, codePointBefore, false) &&
           !casedLetterNear(text, i + 1, codePointAt, true);
}

QString withContextRules(const QString& text, const QLocale& locale) {
    const bool lithuanian = locale.language() == QLocale::Lithuanian;
    QString prepared;
    prepared.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == kCapitalSigma && endsWord(text, i)) {
            prepared += QChar(kFinalSigma);
        } else if (lithuanian && (c == 0x00CC || c == 0x00CD || c == 0x0128)) {
            // Ì, Í, Ĩ: i, its dot, then the accent.
            const char16_t accent = c == 0x00CC ? 0x0300 : c == 0x00CD ? 0x0301 : 0x0303;
            prepared += QChar(u'I');
            prepared += QChar(kCombiningDotAbove);
            prepared += QChar(accent);
        } else {
            prepared += QChar(c);
            if (lithuanian && (c == u'I' || c == u'J' || c == 0x012E) &&
                aboveMarkAt(text, i + 1) >= 0) {
                prepared += QChar(kCombiningDotAbove);
            }
        }
    }
    return prepared;
}

QString mapped(const QString& text, const wchar_t* localeName) {
    const auto* source = reinterpret_cast<const wchar_t*>(text.utf16());
    const auto length = static_cast<int>(text.size());
    constexpr DWORD kFlags = LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING;
    const int needed =
        LCMapStringEx(localeName, kFlags, source, length, nullptr, 0, nullptr, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    QString result(needed, Qt::Uninitialized);
    LCMapStringEx(localeName, kFlags, source, length, reinterpret_cast<wchar_t*>(result.data()),
                  needed, nullptr, nullptr, 0);
    return result;
}

}  // namespace

QString systemLowerCase(const QString& text, const QLocale& locale) {
    if (text.isEmpty()) {
        return text;
    }
    const QString prepared = withContextRules(text, locale);
    QString name = locale.name();
    name.replace(u'_', u'-');
    QString result = mapped(prepared, reinterpret_cast<const wchar_t*>(name.utf16()));
    // A locale Windows does not know maps as the invariant one does.
    return result.isNull() ? mapped(prepared, LOCALE_NAME_INVARIANT) : result;
}

}  // namespace eventlog
