#include "shell/main_window.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>

#include <algorithm>

#include "eventlog/display_text.h"
#include "eventlog/log_file.h"
#include "eventlog/log_saver.h"
#include "eventlog/log_view.h"
#include "eventlog/time_format.h"
#include "shell/about_window.h"
#include "shell/app_identity.h"
#include "shell/error_report.h"
#include "shell/status_commands.h"
#include "shell/status_names.h"

namespace shell {

namespace {

// The window's client area, as designed: 537 x 73 pixels at 96 dpi.
constexpr int kLogWidth = 537;
constexpr int kLogHeight = 73;

// A message box that keeps its text on one line. Qt's own wraps any text
// wider than half the screen (at most 500 pixels), which puts the end of
// the help message on a line of its own; this one widens instead.
class OneLineMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    // Qt sizes the box when it is shown and whenever its layout changes.
    bool event(QEvent* event) override {
        const bool handled = QMessageBox::event(event);
        if (event->type() == QEvent::LayoutRequest) {
            keepOnOneLine();
        }
        return handled;
    }
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        keepOnOneLine();
    }

private:
    void keepOnOneLine() {
        auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (!label || !label->wordWrap()) {
            return;
        }
        label->setWordWrap(false);
        layout()->activate();
        const QSize needed = layout()->totalMinimumSize();
        setFixedSize(std::max(width(), needed.width()), needed.height());
        // Unwrapping asked for a new layout, which would wrap it again.
        QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
    }
};

// Client text as the caption and start-up line show it: display-safe.
QString shownFromClient(const std::u16string& text) {
    return eventlog::displayText(QString::fromStdU16String(text));
}

}  // namespace

QString literalWindowTitle(const QString& title) {
    // Qt shows "[*][*]" as a literal "[*]".
    QString escaped = title;
    escaped.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    return escaped;
}

MainWindow::MainWindow(Services services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      lineFormat_(services_.locale),
      logView_(new eventlog::LogView(this)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(productName());
    setWindowIcon(appIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    logView_->setObjectName(QStringLiteral("txtLog"));
    const qreal scale = logicalDpiY() / 96.0;
    logView_->setFixedSize(qRound(kLogWidth * scale), qRound(kLogHeight * scale));
    logView_->setFrameShape(QFrame::StyledPanel);
    setCentralWidget(logView_);
    setFocusProxy(logView_);
    // Whatever changed the log, its newest line comes into view.
    connect(logView_, &eventlog::LogView::textChanged, logView_,
            &eventlog::LogView::moveCaretToEnd);

    createMenus();
    addSaveAction();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    if (eventlog::LogFile* file = services_.logFile) {
        const QString name = eventlog::displayText(QDir::toNativeSeparators(file->path()));
        const auto tell = [this](const QString& what) {
            services_.errors.reportLogFileError(what);
        };
        connect(file, &eventlog::LogFile::writeFailed, this, [tell, name](const QString& reason) {
            tell(QStringLiteral("Lines cannot be written to the log file %1: %2. They are kept in "
                                "this window; writing to the file starts again by itself once it "
                                "can.")
                     .arg(name, reason));
        });
        connect(file, &eventlog::LogFile::writeResumed, this, [tell, name](qint64 notWritten) {
            tell(QStringLiteral("Writing to the log file %1 works again; the file says how many "
                                "lines it lacks (%2).")
                     .arg(name)
                     .arg(notWritten));
        });
        connect(file, &eventlog::LogFile::startedAnew, this, [tell, name] {
            tell(QStringLiteral("The log file %1 was removed or replaced; a new one was started "
                                "there.")
                     .arg(name));
        });
        connect(file, &eventlog::LogFile::syncFailed, this, [tell, name] {
            tell(QStringLiteral("The system cannot put the log file %1 on the disk: what is "
                                "written to it could be lost in a power cut.")
                     .arg(name));
        });
    }
}

MainWindow::~MainWindow() = default;

void MainWindow::createMenus() {
    // The controls' names are their object names, for tests and tools.
    auto addItem = [this](QMenu* menu, const char* objectName, const QString& caption,
                          auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(objectName));
        connect(action, &QAction::triggered, this, handler);
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QMenu* changeStatus = file->addMenu(QStringLiteral("Change Status"));
    changeStatus->setObjectName(QStringLiteral("mnuChangeStatus"));
    for (const StatusCommand& command : kStatusCommands) {
        addItem(changeStatus, command.objectName, QString::fromLatin1(command.caption),
                [this, status = command.status] { requestStatus(status); });
    }
    addItem(file, "mnuClearLog", QStringLiteral("Clear Log"), &MainWindow::clearLog);
    file->addSeparator()->setObjectName(QStringLiteral("mnuSeparator"));
    addItem(file, "mnuExit", QStringLiteral("Exit"), &MainWindow::exitProgram);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    addItem(help, "mnuAbout", QStringLiteral("About"), &MainWindow::showAbout);
    addItem(help, "mnuHelped", QStringLiteral("Help"), &MainWindow::showHelp);
}

void MainWindow::addSaveAction() {
    // Beside Copy and Select All in the log's own menu; Ctrl+S anywhere in
    // the window.
    saveAction_ = new QAction(QStringLiteral("Save Log As\u2026"), this);
    saveAction_->setObjectName(QStringLiteral("mnuSaveLogAs"));
    saveAction_->setShortcut(QKeySequence::Save);
    connect(saveAction_, &QAction::triggered, this, &MainWindow::saveLogAs);
    logView_->addAction(saveAction_);
}

void MainWindow::start() {
    loadAbout();
    client_ = services_.connectClient(handlers_);
    updateTitle();
    const QString signinName = shownFromClient(client().mySigninName());
    const QDateTime now = services_.clock.now();
    // Kept exactly, "Wardel" included: it is the start-up text users know.
    const QString line = QStringLiteral("Quavel Wardel Loaded for ") + signinName +
                         QStringLiteral(" on ") +
                         eventlog::formatShortDate(now.date(), services_.locale);
    logView_->setLogText(line);
    if (services_.logFile) {
        services_.logFile->append(line, now.date());
    }
}

void MainWindow::keepLine(const QString& line, const QDateTime& now) {
    logView_->appendLine(line);
    if (services_.logFile) {
        services_.logFile->append(line, now.date());
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    detach();
    event->accept();
}

void MainWindow::detach() {
    about_.reset();
    // A failure report left up would keep the program running after its
    // main window has gone.
    services_.errors.closeWindow();
    // Releasing the client ends the subscription: no event arrives after this.
    client_.reset();
}

messenger::Client& MainWindow::client() {
    if (!client_) {
        throw messenger::Error(messenger::errc::kNullObject,
                               u"The messenger client has been released.");
    }
    return *client_;
}

void MainWindow::updateTitle() {
    messenger::Client& attached = client();
    const QString friendlyName = shownFromClient(attached.myFriendlyName());
    const QString status = statusText(narrowStatus(attached.myStatus()));
    const QString title = literalWindowTitle(friendlyName + QStringLiteral(" (") + status +
                                             QStringLiteral(") - ") + productName());
    if (title == windowTitle()) {
        return;
    }
    setWindowTitle(title);
    // Qt tells assistive technology nothing of a new caption; a screen
    // reader that keeps names would read the old one.
    if (QAccessible::isActive()) {
        QAccessibleEvent renamed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
}

void MainWindow::logEvent(const QString& signinName, const QString& eventText) {
    const QDateTime now = services_.clock.now();
    keepLine(lineFormat_.compose(now.time(), signinName, eventText), now);
}

void MainWindow::reportError(const messenger::Error& error) {
    services_.errors.reportError(error);
}

void MainWindow::requestStatus(std::int32_t status) {
    // The log line and the caption follow from the client's answer.
    runReportingFailures(*this, [&] { client().requestMyStatus(status); });
}

void MainWindow::clearLog() {
    logView_->clearLog();
}

void MainWindow::loadAbout() {
    about_ = std::make_unique<AboutWindow>();
    connect(about_.get(), &AboutWindow::closedByUser, this, [this] {
        // Unloaded once its close has finished; the next About loads it afresh.
        about_.release()->deleteLater();
    });
}

void MainWindow::showAbout() {
    if (!about_) {
        loadAbout();
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void MainWindow::showHelp() {
    // Modal to the user, but not run inside the caller: a screen reader that
    // chose Help through its accessibility bus gets its answer at once.
    // Kept exactly, two spaces after the question mark: the text users know.
    auto* help =
        new OneLineMessageBox(QMessageBox::Information, QStringLiteral("Quavel Logger Help"),
                              QStringLiteral("Need help with Quavel Logger?  Add ") +
                                  supportAddress() + QStringLiteral(" to your list!"),
                              QMessageBox::Ok, this);
    help->setObjectName(QStringLiteral("helpMessage"));
    help->setAttribute(Qt::WA_DeleteOnClose);
    help->setWindowModality(Qt::ApplicationModal);
    help->show();
}

void MainWindow::saveLogAs() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Save Log As"));
    dialog->setObjectName(QStringLiteral("saveLogDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setNameFilters({QStringLiteral("Text files (*.txt)"), QStringLiteral("All files (*)")});
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog->setDirectory(QDir(documents).exists() ? documents : QDir::homePath());
    dialog->selectFile(QStringLiteral("Quavel Logger log %1.txt")
                           .arg(services_.clock.now().date().toString(Qt::ISODate)));
    connect(dialog, &QFileDialog::fileSelected, this, &MainWindow::saveLogTo);
    // Not run inside this call: the log goes on while the user chooses.
    dialog->open();
}

void MainWindow::saveLogTo(const QString& path) {
    if (saver_) {
        return;
    }
    // Replacing it would take the lines of earlier runs with it.
    if (services_.logFile && QFileInfo(path) == QFileInfo(services_.logFile->path())) {
        showSaveFailure(path, QStringLiteral("it is the log file Quavel Logger is keeping "
                                             "(--log-file), which only ever grows"));
        return;
    }
    saveAction_->setEnabled(false);
    saver_ = std::make_unique<eventlog::LogSaver>(logView_->lines(), path);
    connect(saver_.get(), &eventlog::LogSaver::finished, this, &MainWindow::saveFinished);
}

void MainWindow::saveFinished(const QString& error) {
    const QString path = saver_->path();
    // It is still delivering this signal: it goes once that is done.
    saver_.release()->deleteLater();
    saveAction_->setEnabled(true);
    if (!error.isEmpty()) {
        showSaveFailure(path, error);
    }
}

void MainWindow::showSaveFailure(const QString& path, const QString& reason) {
    auto* failed = new QMessageBox(
        QMessageBox::Warning, productName(),
        QStringLiteral("The log could not be saved to %1:\n\n%2\n\nA file that was there before "
                       "is unchanged. Try another folder or free some space, then save again.")
            .arg(eventlog::displayText(QDir::toNativeSeparators(path)), reason),
        QMessageBox::Ok, this);
    failed->setObjectName(QStringLiteral("saveFailedMessage"));
    failed->setAttribute(Qt::WA_DeleteOnClose);
    failed->open();
}

void MainWindow::exitProgram() {
    // At once: the client and the About window go with the process.
    services_.endProgram();
}

}  // namespace shell
