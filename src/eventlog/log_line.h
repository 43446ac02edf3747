#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>
#include <QTime>

#include <vector>

namespace eventlog {

// Turns one event into one log line for a given locale:
// "[" time "] <" sign-in name in lower case "> " event text in proper case.
// Client strings are made display-safe first, so the result is always
// exactly one line.
class LogLineFormat {
public:
    explicit LogLineFormat(QLocale locale);

    QString compose(QTime time, const QString& signinName, const QString& eventText) const;
    const QLocale& locale() const { return locale_; }

private:
    QString timeOfDay(QTime time) const;

    QLocale locale_;
    QString timeFormat_;
    // Lines come many to a second: the time text is made once a second.
    mutable QTime cachedTime_;
    mutable QString cachedTimeText_;
};

// Where, in a line composed as above, the texts from outside sit: the time
// of day (the locale's), the sign-in name, and what follows the first ": "
// of the event text (a name or a status). A line is read left to right, but
// each of these reads in its own direction within it, so that a
// right-to-left name or time of day neither turns the line round nor
// carries the brackets around it away. Empty pieces are left out; a line
// not of this form has none.
struct LinePiece {
    qsizetype start;
    qsizetype end;
};
std::vector<LinePiece> outsidePieces(QStringView line);

}  // namespace eventlog
