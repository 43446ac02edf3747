#include "eventlog/log_file.h"

#include "eventlog/native_file.h"
#include "eventlog/time_format.h"

namespace eventlog {

std::unique_ptr<LogFile> LogFile::open(const QString& path, const QLocale& locale, QString* reason,
                                       Timing timing) {
    native::keepBrokenPipesFromEndingTheProgram();
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
    const auto queued = [this](auto signal) {
        return [this, signal](auto... values) {
            QMetaObject::invokeMethod(
                this, [this, signal, values...] { emit(this->*signal)(values...); },
                Qt::QueuedConnection);
        };
    };
    LogFileWriter::Reports reports{queued(&LogFile::writeFailed), queued(&LogFile::writeResumed),
                                   queued(&LogFile::startedAnew), queued(&LogFile::syncFailed)};
    writer_ = std::make_unique<LogFileWriter>(std::move(target), timing, std::move(reports));
}

LogFile::~LogFile() {
    handOver();
}

void LogFile::append(const QString& line, QDate date) {
    // The first line of this turn: the rest of the turn's lines join it.
    const bool first = burst_.isEmpty();
    if (date.isValid()) {
        if (date != lastDate_) {
            const QString shown = formatShortDate(date, locale_);
            if (lastDate_.isValid()) {
                burst_ << QStringLiteral("Date changed to ") + shown;
            }
            // What a file started anew begins with: the times in it need a date.
            continuedLine_ = QStringLiteral("Log continued on ") + shown;
            lastDate_ = date;
        }
    }
    burst_ << line;
    if (first) {
        QMetaObject::invokeMethod(this, &LogFile::handOver, Qt::QueuedConnection);
    }
}

void LogFile::handOver() {
    if (!burst_.isEmpty()) {
        writer_->write(std::exchange(burst_, {}), continuedLine_);
    }
}

}  // namespace eventlog
