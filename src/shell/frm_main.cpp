#include "frm_main.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "app_identity.h"
#include "display_text.h"
#include "error_report.h"
#include "frm_about.h"
#include "log_view.h"
#include "status_text.h"
#include "time_format.h"

namespace shell {

namespace {

// The window's client area, as designed: 537 x 73 pixels at 96 dpi.
constexpr int kLogWidth = 537;
constexpr int kLogHeight = 73;

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

frmMain::frmMain(Services services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      lineFormat_(services_.locale),
      txtLog(new eventlog::LogView(this)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quavel Logger"));
    setWindowIcon(appIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    txtLog->setObjectName(QStringLiteral("txtLog"));
    const qreal scale = logicalDpiY() / 96.0;
    txtLog->setFixedSize(qRound(kLogWidth * scale), qRound(kLogHeight * scale));
    txtLog->setFrameShape(QFrame::StyledPanel);
    setCentralWidget(txtLog);
    setFocusProxy(txtLog);
    connect(txtLog, &eventlog::LogView::textChanged, this, &frmMain::txtLog_Change);

    createMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

frmMain::~frmMain() = default;

QAction* frmMain::addMenuItem(QMenu* menu, const QString& objectName, const QString& caption,
                              void (frmMain::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(objectName);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void frmMain::createMenus() {
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    QMenu* mnuChangeStatus = mnuFile->addMenu(QStringLiteral("Change Status"));
    mnuChangeStatus->setObjectName(QStringLiteral("mnuChangeStatus"));
    addMenuItem(mnuChangeStatus, QStringLiteral("mnuOnline"), QStringLiteral("Online"),
                &frmMain::mnuOnline_Click);
    addMenuItem(mnuChangeStatus, QStringLiteral("mnuBusy"), QStringLiteral("Busy"),
                &frmMain::mnuBusy_Click);
    addMenuItem(mnuChangeStatus, QStringLiteral("mnuBeRightBack"), QStringLiteral("Be Right Back"),
                &frmMain::mnuBeRightBack_Click);
    addMenuItem(mnuChangeStatus, QStringLiteral("mnuAway"), QStringLiteral("Away"),
                &frmMain::mnuAway_Click);
    addMenuItem(mnuChangeStatus, QStringLiteral("mnuOnThePhone"), QStringLiteral("On The Phone"),
                &frmMain::mnuOnThePhone_Click);
    addMenuItem(mnuChangeStatus, QStringLiteral("mnuOutToLunch"), QStringLiteral("Out To Lunch"),
                &frmMain::mnuOutToLunch_Click);
    addMenuItem(mnuChangeStatus, QStringLiteral("mnuOffline"), QStringLiteral("Offline"),
                &frmMain::mnuOffline_Click);
    addMenuItem(mnuFile, QStringLiteral("mnuClearLog"), QStringLiteral("Clear Log"),
                &frmMain::mnuClearLog_Click);
    mnuFile->addSeparator()->setObjectName(QStringLiteral("mnuSeparator"));
    addMenuItem(mnuFile, QStringLiteral("mnuExit"), QStringLiteral("Exit"),
                &frmMain::mnuExit_Click);

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    addMenuItem(mnuHelp, QStringLiteral("mnuAbout"), QStringLiteral("About"),
                &frmMain::mnuAbout_Click);
    addMenuItem(mnuHelp, QStringLiteral("mnuHelped"), QStringLiteral("Help"),
                &frmMain::mnuHelped_Click);
}

void frmMain::Form_Load() {
    loadAbout();
    MSN = services_.connectClient(handlers_);
    applyCaptionRule();
    const QString signinName = shownFromClient(client().MySigninName());
    txtLog->setLogText(QStringLiteral("Quavel Wardel Loaded for ") + signinName +
                       QStringLiteral(" on ") +
                       eventlog::formatShortDate(services_.clock.now().date(), services_.locale));
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload() {
    about_.reset();
    // Releasing the client ends the subscription: no event arrives after this.
    MSN.reset();
}

messenger::Client& frmMain::client() {
    if (!MSN) {
        throw messenger::Error(messenger::errc::kNullObject,
                               u"The messenger client has been released.");
    }
    return *MSN;
}

void frmMain::applyCaptionRule() {
    messenger::Client& msn = client();
    const QString friendlyName = shownFromClient(msn.MyFriendlyName());
    const QString statusText = eventlog::GetStatusText(messenger::narrowStatus(msn.MyStatus()));
    setWindowTitle(literalWindowTitle(friendlyName + QStringLiteral(" (") + statusText +
                                      QStringLiteral(")") + QStringLiteral(" - Quavel Logger")));
}

void frmMain::LogEvent(const QString& sEmail, const QString& sEventText) {
    txtLog->appendLine(lineFormat_.compose(services_.clock.now().time(), sEmail, sEventText));
}

void frmMain::txtLog_Change() {
    txtLog->moveCaretToEnd();
}

void frmMain::reportError(const messenger::Error& error) {
    services_.errors.reportError(error);
}

void frmMain::changeMyStatus(messenger::MISTATUS status) {
    // The log line and the caption follow from the client's answer.
    messenger::runReportingFailures(*this, [&] { client().SetMyStatus(status); });
}

void frmMain::mnuOnline_Click() {
    changeMyStatus(messenger::MISTATUS_ONLINE);
}
void frmMain::mnuBusy_Click() {
    changeMyStatus(messenger::MISTATUS_BUSY);
}
void frmMain::mnuBeRightBack_Click() {
    changeMyStatus(messenger::MISTATUS_BE_RIGHT_BACK);
}
void frmMain::mnuAway_Click() {
    changeMyStatus(messenger::MISTATUS_AWAY);
}
void frmMain::mnuOnThePhone_Click() {
    changeMyStatus(messenger::MISTATUS_ON_THE_PHONE);
}
void frmMain::mnuOutToLunch_Click() {
    changeMyStatus(messenger::MISTATUS_OUT_TO_LUNCH);
}
void frmMain::mnuOffline_Click() {
    // Appear offline to others while staying signed in.
    changeMyStatus(messenger::MISTATUS_INVISIBLE);
}

void frmMain::mnuClearLog_Click() {
    txtLog->clearLog();
}

void frmMain::loadAbout() {
    about_ = std::make_unique<frmAbout>();
    connect(about_.get(), &frmAbout::closedByUser, this, [this] {
        // Unloaded once its close has finished; the next About loads it afresh.
        about_.release()->deleteLater();
    });
}

void frmMain::mnuAbout_Click() {
    if (!about_) {
        loadAbout();
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void frmMain::mnuHelped_Click() {
    QMessageBox help(QMessageBox::Information, QStringLiteral("Quavel Logger Help"),
                     QStringLiteral("Need help with Quavel Logger?  Add ") + supportAddress() +
                         QStringLiteral(" to your list!"),
                     QMessageBox::Ok, this);
    help.setObjectName(QStringLiteral("helpMessage"));
    help.exec();
}

void frmMain::mnuExit_Click() {
    // At once: the client and the About window go with the process.
    services_.endProgram();
}

}  // namespace shell
