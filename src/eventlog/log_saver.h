#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

#include "eventlog/line_store.h"

namespace eventlog {

// Saves the log as text to a file, off the caller's thread: UTF-8, the
// platform's line breaks, no break after the last line (what copying the
// whole log gives). The file is replaced only once the whole text is on the
// disk; until then, and after any failure, a file there before stays as it
// was.
class LogSaver : public QObject {
    Q_OBJECT

public:
    // lines is a copy: the log goes on changing while it is saved. Copying a
    // store shares its text, so it costs little.
    LogSaver(LineStore lines, const QString& path, QObject* parent = nullptr);
    // A save still running is abandoned, leaving the file as it was.
    ~LogSaver() override;

    QString path() const { return path_; }

signals:
    // Emitted once, on this object's thread; error is empty on success.
    void finished(const QString& error);

private:
    const LineStore lines_;
    const QString path_;
    std::atomic<bool> abandoned_{false};
    std::thread thread_;
};

// The work itself, on any thread; returns the reason it failed, or nothing.
QString saveLogText(const LineStore& lines, const QString& path,
                    const std::atomic<bool>& abandoned);

}  // namespace eventlog
