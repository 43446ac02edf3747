#include "shell/error_report.h"

#include <QMessageBox>
#include <QTimer>

#include <cstdio>

#include "eventlog/display_text.h"
#include "shell/app_identity.h"

namespace shell {

namespace {
void writeToStandardError(const QString& line) {
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}
}  // namespace

ErrorReport::ErrorReport(bool interactive, WriteLine writeLine, QObject* parent)
    : QObject(parent),
      interactive_(interactive),
      writeLine_(writeLine ? std::move(writeLine) : WriteLine(writeToStandardError)) {}

ErrorReport::~ErrorReport() = default;

QString ErrorReport::describe(const messenger::Error& error) {
    // A description may carry what the client or the user gave (a name, an
    // account): one error is one line, whatever it holds.
    const QString description =
        eventlog::displayText(QString::fromStdU16String(error.description()).trimmed());
    const std::int32_t number = error.number();
    // Client result codes read best in hexadecimal, small numbers in decimal.
    const QString code = number < 0
                             ? QStringLiteral("0x%1 (%2)")
                                   .arg(QString::number(static_cast<quint32>(number), 16).toUpper())
                                   .arg(number)
                             : QString::number(number);
    return QStringLiteral("Error %1: %2").arg(code, description);
}

void ErrorReport::reportFatal(const messenger::Error& error) {
    reportFatal(describe(error));
}

void ErrorReport::reportFatal(const QString& what) {
    writePending();
    writeLine_(productName() + QStringLiteral(": ") + what);
    ++errorCount_;
    lastError_ = what;
    if (interactive_) {
        QMessageBox::critical(nullptr, productName(), what);
    }
}

void ErrorReport::reportError(const messenger::Error& error) {
    report(Source::Client, describe(error));
}

void ErrorReport::reportLogFileError(const QString& what) {
    report(Source::LogFile, what);
}

void ErrorReport::report(Source source, const QString& what) {
    ++errorCount_;
    lastSource_ = source;
    ++windowCount_;
    lastError_ = what;
    if (what == pendingLine_) {
        ++pendingRepeats_;
    } else {
        writePending();
        pendingLine_ = what;
        pendingRepeats_ = 1;
    }
    if (!flushScheduled_) {
        flushScheduled_ = true;
        QTimer::singleShot(0, this, &ErrorReport::flush);
    }
}

void ErrorReport::writePending() {
    if (pendingLine_.isEmpty()) {
        return;
    }
    QString line = productName() + QStringLiteral(": ") + pendingLine_;
    if (pendingRepeats_ > 1) {
        line += QStringLiteral(" (%1 times)").arg(pendingRepeats_);
    }
    writeLine_(line);
    pendingLine_.clear();
    pendingRepeats_ = 0;
}

void ErrorReport::closeWindow() {
    windowClosed_ = true;
    window_.reset();
}

void ErrorReport::flush() {
    flushScheduled_ = false;
    if (pendingLine_.isEmpty()) {
        return;
    }
    writePending();
    if (!interactive_ || windowClosed_) {
        return;
    }
    if (!window_) {
        window_ = std::make_unique<QMessageBox>(QMessageBox::Warning, productName(), QString(),
                                                QMessageBox::Ok);
        window_->setModal(false);
        window_->setWindowModality(Qt::NonModal);
        connect(window_.get(), &QMessageBox::finished, this, [this] { windowCount_ = 0; });
    }
    QString text =
        (lastSource_ == Source::Client ? QStringLiteral("A problem with the messenger client:")
                                       : QStringLiteral("A problem with the log file:")) +
        QStringLiteral("\n\n") + lastError_ +
        QStringLiteral("\n\nThe log is kept and Quavel Logger goes on running.");
    if (windowCount_ > 1) {
        text += QStringLiteral("\n\n%1 problems since this message appeared; the latest is shown.")
                    .arg(windowCount_);
    }
    window_->setText(text);
    // Shown without taking focus from whatever the user is doing.
    if (!window_->isVisible()) {
        window_->setAttribute(Qt::WA_ShowWithoutActivating);
        window_->show();
    }
}

}  // namespace shell
