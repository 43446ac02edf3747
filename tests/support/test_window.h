#pragma once

#include <QDateTime>
#include <QLocale>
#include <QStringList>

#include <memory>
#include <utility>

#include "eventlog/clock.h"
#include "eventlog/log_file.h"
#include "eventlog/log_view.h"
#include "messenger/demo/demo_service.h"
#include "shell/error_report.h"
#include "shell/main_window.h"
#include "support/fault_plan.h"

namespace testsupport {

// Always 6 December 2026, 3:04:05 PM.
class FixedClock final : public eventlog::Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 6), QTime(15, 4, 5)); }
};

// A main window on a demo client behind a fault plan, with a pinned clock
// and locale, and its error reports collected (and shown in a report window
// only if asked). Posted client answers run on the Qt event loop, as in the
// program.
class TestWindow {
public:
    // logFile, if given, gets every line as in the program.
    explicit TestWindow(bool showReports = false, eventlog::LogFile* logFile = nullptr);
    ~TestWindow();

    // Starts the window; false (and the failure reported) if that threw.
    bool load();

    messenger::demo::DemoService& demo() { return *demo_; }
    FaultPlan& faults() { return *faults_; }
    shell::MainWindow& window() { return *window_; }
    eventlog::LogView& log() { return *window_->logView(); }
    QString logText() { return log().logText(); }
    QStringList logLines();
    QString caption() { return window_->windowTitle(); }
    shell::ErrorReport& errors() { return errors_; }
    const QStringList& errorLines() const { return *errorLines_; }
    int exitRequests() const { return *exitRequests_; }
    // Triggers the menu item with this object name.
    void choose(const char* menuItem);

private:
    FixedClock clock_;
    std::shared_ptr<messenger::demo::DemoService> demo_;
    std::shared_ptr<FaultPlan> faults_ = std::make_shared<FaultPlan>();
    std::shared_ptr<QStringList> errorLines_ = std::make_shared<QStringList>();
    std::shared_ptr<int> exitRequests_ = std::make_shared<int>(0);
    shell::ErrorReport errors_;
    std::unique_ptr<shell::MainWindow> window_;
};

// The six client events, raised on the demo client's contacts (windows hold
// contacts 0, 3 and 6).
enum class ClientEvent { ContactName, ContactStatus, Opened, Closed, MyName, MyStatus };
inline constexpr std::pair<const char*, ClientEvent> kClientEvents[] = {{"contact name", ClientEvent::ContactName},
                                                                        {"contact status", ClientEvent::ContactStatus},
                                                                        {"conversation opened", ClientEvent::Opened},
                                                                        {"conversation closed", ClientEvent::Closed},
                                                                        {"my name", ClientEvent::MyName},
                                                                        {"my status", ClientEvent::MyStatus}};
void raise(TestWindow& t, ClientEvent event);

// Lets posted client answers arrive.
void settle();

}  // namespace testsupport
