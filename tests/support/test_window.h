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

// Always 6 December 2026, 3:04:05 PM.
class FixedClock final : public eventlog::Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 6), QTime(15, 4, 5)); }
};

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
    shell::frmMain& window() { return *window_; }
    eventlog::LogView& log() { return *window_->logView(); }
    QString logText() { return log().logText(); }
    QStringList logLines();
    QString caption() { return window_->windowTitle(); }
    shell::ErrorReport& errors() { return errors_; }
    const QStringList& errorLines() const { return *errorLines_; }
    int exitRequests() const { return *exitRequests_; }
    // Triggers the menu item with this object name.
    void choose(const QString& menuItem);
    void choose(const char* menuItem) { choose(QString::fromLatin1(menuItem)); }

private:
    FixedClock clock_;
    std::shared_ptr<messenger::demo::DemoService> demo_;
    std::shared_ptr<QStringList> errorLines_ = std::make_shared<QStringList>();
    std::shared_ptr<int> exitRequests_ = std::make_shared<int>(0);
    shell::ErrorReport errors_;
    std::unique_ptr<shell::frmMain> window_;
};

// The six client events, raised on the demo client's contacts (windows hold
// contacts 0, 3 and 6).
enum class ClientEvent { ContactName, ContactStatus, WindowCreated, WindowDestroyed, MyName, MyStatus };
inline constexpr ClientEvent kClientEvents[] = {ClientEvent::ContactName,   ClientEvent::ContactStatus,
                                                ClientEvent::WindowCreated, ClientEvent::WindowDestroyed,
                                                ClientEvent::MyName,        ClientEvent::MyStatus};
const char* nameOf(ClientEvent event);
void raise(TestWindow& t, ClientEvent event);

// The seven status commands' menu items, their codes and status texts.
struct StatusCommand {
    const char* menuItem;
    int code;
    const char* text;
};
inline constexpr StatusCommand kStatusCommands[] = {{"mnuOnline", 2, "Online"},
                                                    {"mnuBusy", 10, "Busy"},
                                                    {"mnuBeRightBack", 14, "Be Right Back"},
                                                    {"mnuAway", 34, "Away"},
                                                    {"mnuOnThePhone", 50, "On The Phone"},
                                                    {"mnuOutToLunch", 66, "Out To Lunch"},
                                                    {"mnuOffline", 6, "Appear Offline"}};

// Lets posted client answers arrive.
void settle();

}  // namespace testing
