#include "eventlog/time_format.h"

#include <QRegularExpression>

namespace eventlog {

namespace {

// The format without its time-zone field: every 't' outside quoted literals
// goes, then whatever only framed it.
QString withoutZoneField(const QString& format) {
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            result += c;
        } else if (!quoted && c == u't') {
            continue;
        } else {
            result += c;
        }
    }
    // Brackets left empty by the removal, then the plain spaces around it;
    // other spacing (a no-break space before AM/PM) is the locale's own.
    static const QRegularExpression emptyBrackets(QStringLiteral("[(\\[] *[)\\]]"));
    static const QRegularExpression doubleSpaces(QStringLiteral(" {2,}"));
    result.remove(emptyBrackets);
    result.replace(doubleSpaces, QStringLiteral(" "));
    // A separator left dangling at either end ("h:mm:ss AP, t").
    auto dangling = [](QChar c) { return c == u' ' || c == u','; };
    while (!result.isEmpty() && dangling(result.front())) {
        result.remove(0, 1);
    }
    while (!result.isEmpty() && dangling(result.back())) {
        result.chop(1);
    }
    return result;
}

}  // namespace

QString timeOfDayFormat(const QLocale& locale) {
    return withoutZoneField(locale.timeFormat(QLocale::LongFormat));
}

QString formatShortDate(QDate date, const QLocale& locale) {
    return locale.toString(date, QLocale::ShortFormat);
}

}  // namespace eventlog
