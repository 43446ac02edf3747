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

std::vector<LinePiece> outsidePieces(QStringView line) {
    std::vector<LinePiece> pieces;
    if (!line.startsWith(u'[')) {
        return pieces;
    }
    // The locale's time never holds "] <"; a name holding "> " is split
    // there, which only changes how its end is laid out.
    const qsizetype timeEnd = line.indexOf(u"] <", 1);
    if (timeEnd < 0) {
        return pieces;
    }
    const qsizetype nameStart = timeEnd + 3;
    const qsizetype nameEnd = line.indexOf(u"> ", nameStart);
    if (nameEnd < 0) {
        return pieces;
    }
    auto add = [&pieces](qsizetype start, qsizetype end) {
        if (start < end) {
            pieces.push_back({start, end});
        }
    };
    add(1, timeEnd);
    add(nameStart, nameEnd);
    const qsizetype value = line.indexOf(u": ", nameEnd + 2);
    if (value >= 0) {
        add(value + 2, line.size());
    }
    return pieces;
}

}  // namespace eventlog
