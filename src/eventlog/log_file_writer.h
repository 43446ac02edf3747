#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace eventlog {

// A file opened for appending and locked for this process alone.
struct AppendTarget {
    std::unique_ptr<QFile> file;
    // The file ends inside a line (cut by a power cut or a full disk in an
    // earlier run): what follows must start on a line of its own.
    bool endsMidLine = false;
};

// Opens path for appending, creating it if need be, and locks it; nullopt
// with the reason if either fails.
std::optional<AppendTarget> openForAppend(const QString& path, QString* reason);

// Appends lines to a file on a thread of its own, so that a slow or stuck
// disk never holds up the caller. Each batch handed over goes out in one
// write, each line whole with the platform's line break; what was written
// is put on the disk within syncEvery. A batch that cannot be written in
// full is taken back out, so the file holds whole lines only.
//
// When writing fails (a full disk, a folder where the file was), the lines
// are counted and left out, the failure is reported once, and writing is
// tried again at most every retryEvery; once it works, the file first gets a
// line saying how many lines it lacks. A file removed or replaced while in
// use is started anew at its name, beginning with the heading given.
class LogFileWriter {
public:
    struct Timing {
        std::chrono::milliseconds syncEvery{1000};
        std::chrono::milliseconds retryEvery{1000};
        // The most text (UTF-16 code units) left waiting for a slow disk;
        // past it lines are left out, as on a failure.
        qsizetype maxWaiting = 32 * 1024 * 1024;
    };
    // Called on the writer's thread.
    struct Reports {
        std::function<void(const QString& reason)> failed;
        std::function<void(qint64 linesNotWritten)> resumed;
        // The file was removed or replaced; a new one was started there.
        std::function<void()> startedAnew;
        // The system would not put the file on the disk (told once).
        std::function<void()> syncFailed;
    };

    LogFileWriter(AppendTarget target, Timing timing, Reports reports);
    // Writes what is waiting, puts it on the disk and closes the file.
    ~LogFileWriter();

    LogFileWriter(const LogFileWriter&) = delete;
    LogFileWriter& operator=(const LogFileWriter&) = delete;

    // Hands over lines, each without its line break, to go out together;
    // heading is the line a file started anew from now on begins with.
    void write(QStringList lines, QString heading);

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void writeOut(const QStringList& lines);
    // The file to write to: the open one while its name still leads to it,
    // else one opened anew; null (and the failure noted) if there is none.
    QFile* usableFile();
    // holdBack: writing waits retryEvery before it is tried again.
    void fail(const QString& reason, bool holdBack = true);
    void sync();

    const QString path_;
    const Timing timing_;
    const Reports reports_;

    std::mutex mutex_;
    std::condition_variable wake_;
    QStringList waiting_;
    QString waitingHeading_;
    qsizetype waitingUnits_ = 0;
    qint64 leftWaiting_ = 0;  // lines left out for want of room
    bool stopping_ = false;

    // The writer's thread only.
    AppendTarget target_;
    QString heading_;
    bool startedAnew_ = false;
    bool syncFailureTold_ = false;
    qint64 notWritten_ = 0;
    bool failing_ = false;
    Clock::time_point nextTry_{};
    std::optional<Clock::time_point> unsyncedSince_;

    std::thread thread_;  // last: it starts once the rest is ready
};

}  // namespace eventlog
