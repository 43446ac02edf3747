#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

namespace eventlog {

// The locale's time format with hours, minutes and seconds, without a time
// zone: the locale's long time format with its zone field removed, together
// with whatever only framed it (a space, brackets).
QString timeOfDayFormat(const QLocale& locale);

QString formatShortDate(QDate date, const QLocale& locale);

}  // namespace eventlog
