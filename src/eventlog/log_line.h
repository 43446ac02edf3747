#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

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

}  // namespace eventlog
