#pragma once

#include <QDate>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "eventlog/log_file_writer.h"

namespace eventlog {

// The log kept in a file the user chose, beside the window: every line the
// window gets, in order, appended as it comes. The file is only ever added
// to, and held by one program at a time. Lines logged in one turn of the
// event loop go out together, off this thread; a line naming the new date
// goes before the first line of each later day, so a file that spans days
// stays readable (the window shows times only).
class LogFile : public QObject {
    Q_OBJECT

public:
    using Timing = LogFileWriter::Timing;

    // Opens path for appending and takes it for this program; null, with
    // the reason in *reason, if it cannot be opened or another program
    // holds it.
    static std::unique_ptr<LogFile> open(const QString& path, const QLocale& locale,
                                         QString* reason, Timing timing = {});
    // Writes every line given, puts them on the disk and lets the file go.
    ~LogFile() override;

    QString path() const { return path_; }
    // A line as the window shows it, logged on date.
    void append(const QString& line, QDate date);

signals:
    // Lines are being left out of the file, for this reason; once for each
    // time writing stops working.
    void writeFailed(const QString& reason);
    // Writing works again; the file says how many lines it lacks.
    void writeResumed(qint64 linesNotWritten);
    // The file was removed or replaced while in use; a new one was started
    // at its name, beginning with a line naming the date.
    void startedAnew();
    // The system would not put the file on the disk: what was written could
    // be lost in a power cut. Told once.
    void syncFailed();

private:
    LogFile(AppendTarget target, const QLocale& locale, Timing timing);
    void handOver();

    QString path_;
    QLocale locale_;
    QDate lastDate_;
    QString continuedLine_;  // the first line of a file started anew
    QStringList burst_;
    std::unique_ptr<LogFileWriter> writer_;
};

}  // namespace eventlog
