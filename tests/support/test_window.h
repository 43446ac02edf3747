#pragma once

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include <memory>

#include "clock.h"
#include "demo/demo_service.h"
#include "error_report.h"
#include "frm_main.h"
#include "log_view.h"

namespace testing {

class FixedClock final : public eventlog::Clock {
public:
    explicit FixedClock(QDateTime time) : time_(std::move(time)) {}
    QDateTime now() const override { return time_; }
    void set(QDateTime time) { time_ = std::move(time); }

private:
    QDateTime time_;
};

// 6 December 2026, 3:04:05 PM.
QDateTime pinnedTime();
QLocale usEnglish();

// A main window on a demo client, with a pinned clock and locale, and its
// error reports collected rather than shown. Posted client answers run on
// the Qt event loop, as in the program.
class TestWindow {
public:
    TestWindow();
    ~TestWindow();

    // Form_Load; false (and the failure kept in errors()) if it threw.
    bool load();

    messenger::demo::DemoService& demo() { return *demo_; }
    std::shared_ptr<messenger::demo::DemoService> demoPtr() { return demo_; }
    shell::frmMain& window() { return *window_; }
    eventlog::LogView& log() { return *window_->logView(); }
    QString logText() { return log().logText(); }
    QStringList logLines();
    QString caption() { return window_->windowTitle(); }
    shell::ErrorReport& errors() { return errors_; }
    const QStringList& errorLines() const { return *errorLines_; }
    int exitRequests() const { return *exitRequests_; }
    FixedClock& clock() { return clock_; }
    // Triggers the menu item with this object name.
    void choose(const QString& menuItem);

private:
    FixedClock clock_{pinnedTime()};
    std::shared_ptr<messenger::demo::DemoService> demo_;
    std::shared_ptr<QStringList> errorLines_ = std::make_shared<QStringList>();
    std::shared_ptr<int> exitRequests_ = std::make_shared<int>(0);
    shell::ErrorReport errors_;
    std::unique_ptr<shell::frmMain> window_;
};

}  // namespace testing
