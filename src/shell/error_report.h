#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "messenger/error.h"

class QMessageBox;

namespace shell {

// The program's one place for reporting failures, in a message box and on
// standard error (the program may be started from a terminal).
//
// A failure during start-up is fatal: reportFatal shows a modal box and the
// caller ends the program. After start-up the program goes on: reportError
// keeps one non-modal report window up to date and counts repeats, so a
// burst of failures neither buries the screen in dialogs nor stalls event
// handling. Both outputs are written on the next turn of the event loop,
// once per burst.
class ErrorReport : public QObject {
    Q_OBJECT

public:
    using WriteLine = std::function<void(const QString&)>;

    // interactive: whether anyone can see a message box (not so offscreen,
    // where a modal box would wait for ever).
    explicit ErrorReport(bool interactive, WriteLine writeLine = {}, QObject* parent = nullptr);
    ~ErrorReport() override;

    static QString describe(const messenger::Error& error);

    void reportFatal(const messenger::Error& error);
    // what: a sentence saying what failed and what to do.
    void reportFatal(const QString& what);
    void reportError(const messenger::Error& error);
    void reportLogFileError(const QString& what);

    // Failures reported since start, and the last one's description.
    int errorCount() const { return errorCount_; }
    QString lastError() const { return lastError_; }
    // The non-modal report window, if one has been shown.
    QMessageBox* reportWindow() const { return window_.get(); }
    // The main window has closed: the report window goes with it, so that no
    // window is left to keep the program running, and none opens again; later
    // failures are written out only.
    void closeWindow();

private:
    enum class Source { Client, LogFile };

    void report(Source source, const QString& what);
    void flush();
    void writePending();

    bool interactive_;
    WriteLine writeLine_;
    std::unique_ptr<QMessageBox> window_;
    int errorCount_ = 0;
    int windowCount_ = 0;  // failures since the report window last opened
    QString lastError_;
    Source lastSource_ = Source::Client;
    // Repeats of one error not yet written out.
    QString pendingLine_;
    int pendingRepeats_ = 0;
    bool flushScheduled_ = false;
    bool windowClosed_ = false;
};

}  // namespace shell
