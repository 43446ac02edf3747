#include "log_line.h"

#include "display_text.h"
#include "text_case.h"
#include "time_format.h"

namespace eventlog {

LogLineFormat::LogLineFormat(QLocale locale)
    : locale_(std::move(locale)), timeFormat_(timeOfDayFormat(locale_)) {}

QString LogLineFormat::compose(QTime time, const QString& sEmail,
                               const QString& sEventText) const {
    const QString email = lowerCase(displayText(sEmail), locale_);
    const QString text = properCase(displayText(sEventText), locale_);
    return u'[' + locale_.toString(time, timeFormat_) + QStringLiteral("] <") + email +
           QStringLiteral("> ") + text;
}

}  // namespace eventlog
