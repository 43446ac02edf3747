#pragma once

#include <QLocale>
#include <QMainWindow>

#include <functional>
#include <memory>

#include "client.h"
#include "clock.h"
#include "event_handlers.h"
#include "log_line.h"

class QAction;

namespace eventlog {
class LogView;
}

namespace shell {

class ErrorReport;
class frmAbout;

// The main window: the log, the menus, the caption showing the user's name
// and status, and the attached messenger client for the window's lifetime.
class frmMain : public QMainWindow, private messenger::HandlerHost {
    Q_OBJECT

public:
    struct Services {
        messenger::ClientFactory connectClient;
        const eventlog::Clock& clock;
        QLocale locale;
        ErrorReport& errors;
        // Ends the program at once (File > Exit).
        std::function<void()> endProgram;
    };

    explicit frmMain(Services services, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: attaches to the client, sets the caption and writes the
    // start-up line. Throws messenger::Error if the client cannot be attached
    // or answered a start-up query with a failure; the window is then not to
    // be shown.
    void Form_Load();

    void LogEvent(const QString& sEmail, const QString& sEventText) override;

    eventlog::LogView* logView() const { return txtLog; }
    bool isAttached() const { return MSN != nullptr; }
    messenger::EventHandlers& eventHandlers() { return handlers_; }
    // The About window while it is loaded, shown or not.
    frmAbout* aboutWindow() const { return about_.get(); }

public slots:
    void mnuOnline_Click();
    void mnuBusy_Click();
    void mnuBeRightBack_Click();
    void mnuAway_Click();
    void mnuOnThePhone_Click();
    void mnuOutToLunch_Click();
    void mnuOffline_Click();
    void mnuClearLog_Click();
    void mnuExit_Click();
    void mnuAbout_Click();
    void mnuHelped_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // HandlerHost
    messenger::Client& client() override;
    void applyCaptionRule() override;
    void reportError(const messenger::Error& error) override;

    void Form_Unload();
    void txtLog_Change();
    void createMenus();
    QAction* addMenuItem(QMenu* menu, const QString& objectName, const QString& caption,
                         void (frmMain::*handler)());
    void changeMyStatus(messenger::MISTATUS status);
    void loadAbout();

    Services services_;
    eventlog::LogLineFormat lineFormat_;
    messenger::EventHandlers handlers_{*this};
    eventlog::LogView* txtLog;
    std::unique_ptr<messenger::Client> MSN;
    // Owned here, though shown without an owner window beside this one.
    std::unique_ptr<frmAbout> about_;
};

// Qt treats "[*]" in a window title as a placeholder; this keeps a title
// showing exactly the text given.
QString literalWindowTitle(const QString& title);

}  // namespace shell
