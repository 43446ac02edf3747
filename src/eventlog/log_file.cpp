#include "eventlog/log_file.h"

#include "eventlog/time_format.h"

namespace eventlog {

std::unique_ptr<LogFile> LogFile::open(const QString& path, const QLocale& locale, QString* reason,
                                       Timing timing) {
    std::optional<AppendTarget> target = openForAppend(path, reason);
    if (!target) {
        return nullptr;
    }
    return std::unique_ptr<LogFile>(new LogFile(std::move(*target), locale, timing));
}

LogFile::LogFile(AppendTarget target, const QLocale& locale, Timing timing)
    : path_(target.file->fileName()), locale_(locale) {
    // The reports come from the writer's thread; they reach this object's
    // own as queued calls, and die with it.
    LogFileWriter::Reports reports{
        [this](const QString& reason) {
            QMetaObject::invokeMethod(
                this, [this, reason] { emit writeFailed(reason); }, Qt::QueuedConnection);
        },
        [this](qint64 count) {
            QMetaObject::invokeMethod(
                this, [this, count] { emit writeResumed(count); }, Qt::QueuedConnection);
        }};
    writer_ = std::make_unique<LogFileWriter>(std::move(target), timing, std::move(reports));
}

LogFile::~LogFile() {
    handOver();
}

void LogFile::append(const QString& line, QDate date) {
    // The first line of this turn: the rest of the turn's lines join it.
    const bool first = burst_.isEmpty();
    if (date.isValid()) {
        if (lastDate_.isValid() && date != lastDate_) {
            burst_ << QStringLiteral("Date changed to ") + formatShortDate(date, locale_);
        }
        lastDate_ = date;
    }
    burst_ << line;
    if (first) {
        QMetaObject::invokeMethod(this, &LogFile::handOver, Qt::QueuedConnection);
    }
}

void LogFile::handOver() {
    if (!burst_.isEmpty()) {
        writer_->write(std::exchange(burst_, {}));
    }
}

}  // namespace eventlog
