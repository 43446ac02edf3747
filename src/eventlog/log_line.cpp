#include "eventlog/log_line.h"

#include "eventlog/display_text.h"
#include "eventlog/text_case.h"
#include "eventlog/time_format.h"

namespace eventlog {

LogLineFormat::LogLineFormat(QLocale locale)
    : locale_(std::move(locale)), timeFormat_(timeOfDayFormat(locale_)) {}

QString LogLineFormat::timeOfDay(QTime time) const {
    const QTime second = QTime(time.hour(), time.minute(), time.second());
    if (second != cachedTime_ || cachedTimeText_.isNull()) {
        cachedTime_ = second;
        cachedTimeText_ = locale_.toString(second, timeFormat_);
    }
    return cachedTimeText_;
}

QString LogLineFormat::compose(QTime time, const QString& signinName,
                               const QString& eventText) const {
    const QString email = lowerCase(displayText(signinName), locale_);
    const QString text = properCase(displayText(eventText), locale_);
    const QString clock = timeOfDay(time);
    QString line;
    line.reserve(clock.size() + email.size() + text.size() + 6);
    line.append(u'[').append(clock).append(u"] <").append(email).append(u"> ").append(text);
    return line;
}

}  // namespace eventlog
