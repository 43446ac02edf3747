// Fuzzes everything that turns client strings into log and caption text:
// display rendering, lower case, proper case and line composition.
//
// Input: one byte choosing the locale, then UTF-16LE code units; U+FFFF
// separates the sign-in name from the event text.
#include <QLocale>
#include <QString>
#include <QTime>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "eventlog/display_text.h"
#include "eventlog/log_line.h"
#include "eventlog/text_case.h"

namespace {

void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool breaksLine(char16_t c) {
    return c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isControlOrBidi(char16_t c) {
    return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// One line, nothing hidden, every surrogate paired.
void requireDisplaySafe(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        require(!breaksLine(c), "no line break");
        require(!isControlOrBidi(c), "no control or bidirectional control");
        if (QChar::isHighSurrogate(c)) {
            require(i + 1 < text.size() && text.at(i + 1).isLowSurrogate(), "paired surrogates");
            ++i;
        } else {
            require(!QChar::isLowSurrogate(c), "no lone low surrogate");
        }
    }
}

const QLocale& localeFor(std::uint8_t selector) {
    static const QLocale locales[] = {QLocale(QLocale::English, QLocale::UnitedStates),
                                      QLocale(QLocale::Turkish),
                                      QLocale(QLocale::German),
                                      QLocale(QLocale::Greek),
                                      QLocale(QLocale::Lithuanian),
                                      QLocale(QLocale::Japanese),
                                      QLocale::c()};
    return locales[selector % std::size(locales)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const QLocale& locale = localeFor(data[0]);
    const QString input = QString::fromUtf16(reinterpret_cast<const char16_t*>(data + 1), qsizetype((size - 1) / 2));
    const qsizetype split = input.indexOf(QChar(0xFFFF));
    const QString email = split < 0 ? QString() : input.left(split);
    const QString text = split < 0 ? input : input.mid(split + 1);

    const QString shown = eventlog::displayText(text);
    require(shown.size() == text.size(), "display keeps the length");
    requireDisplaySafe(shown);
    require(eventlog::displayText(shown) == shown, "display is stable");

    const QString proper = eventlog::properCase(shown, locale);
    requireDisplaySafe(proper);
    require(eventlog::properCase(proper, locale) == proper, "proper case is idempotent");
    require(proper.size() <= 3 * shown.size(), "proper case stays near the input's length");

    static const eventlog::LogLineFormat format(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString line = format.compose(QTime(15, 4, 5), email, text);
    requireDisplaySafe(line);
    require(line.startsWith(QStringLiteral("[3:04:05 PM] <")), "line starts with the time");
    require(line.size() <= 3 * (email.size() + text.size()) + 32, "line length bounded");
    return 0;
}
