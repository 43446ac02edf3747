#pragma once

#include <QLocale>
#include <QMainWindow>

#include <functional>
#include <memory>

#include "eventlog/clock.h"
#include "eventlog/log_line.h"
#include "messenger/client.h"
#include "shell/event_handlers.h"

class QAction;

namespace eventlog {
class LogFile;
class LogSaver;
class LogView;
}  // namespace eventlog

namespace shell {

class ErrorReport;
class AboutWindow;

// Attaches to a client for a sink; throws messenger::Error when none can be.
using ClientFactory = std::function<std::unique_ptr<messenger::Client>(messenger::EventSink& sink)>;

// The main window: the log, the menus, the caption showing the user's name
// and status, and the attached messenger client for the window's lifetime.
class MainWindow : public QMainWindow, private HandlerHost {
    Q_OBJECT

public:
    struct Services {
        ClientFactory connectClient;
        const eventlog::Clock& clock;
        QLocale locale;
        ErrorReport& errors;
        // Ends the program at once (File > Exit).
        std::function<void()> endProgram;
        // Where every line also goes, if the user chose a file.
        eventlog::LogFile* logFile = nullptr;
    };

    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Attaches to the client, sets the caption and writes the start-up line.
    // Throws messenger::Error if the client cannot be attached or fails a
    // start-up query; the window is then not to be shown.
    void start();

    void logEvent(const QString& signinName, const QString& eventText) override;

    eventlog::LogView* logView() const { return logView_; }
    // The About window while it is loaded, shown or not.
    AboutWindow* aboutWindow() const { return about_.get(); }

    // The menu commands.
    void requestStatus(std::int32_t status);
    void clearLog();
    void exitProgram();
    void showAbout();
    void showHelp();
    // Save Log As...: asks where, then saves the whole log there.
    void saveLogAs();
    // Saves the whole log to path in the background; a failure is shown in
    // a message box.
    void saveLogTo(const QString& path);
    bool isSaving() const { return saver_ != nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // HandlerHost
    messenger::Client& client() override;
    void updateTitle() override;
    void reportError(const messenger::Error& error) override;

    void detach();
    void createMenus();
    void addSaveAction();
    // Logs a line read from the clock at now, in the window and the file.
    void keepLine(const QString& line, const QDateTime& now);
    void saveFinished(const QString& error);
    void showSaveFailure(const QString& path, const QString& reason);
    void loadAbout();

    Services services_;
    eventlog::LogLineFormat lineFormat_;
    EventHandlers handlers_{*this};
    eventlog::LogView* logView_;
    std::unique_ptr<messenger::Client> client_;
    // Owned here, though shown without an owner window beside this one.
    std::unique_ptr<AboutWindow> about_;
    QAction* saveAction_ = nullptr;
    std::unique_ptr<eventlog::LogSaver> saver_;
};

// Qt treats "[*]" in a window title as a placeholder; this keeps a title
// showing exactly the text given.
QString literalWindowTitle(const QString& title);

}  // namespace shell
