#include "support/test_window.h"

#include <QAction>
#include <QTest>
#include <QTimer>

#include "support/faulty_client.h"

namespace testsupport {

TestWindow::TestWindow(bool showReports, eventlog::LogFile* logFile)
    : demo_(std::make_shared<messenger::demo::DemoService>(
          [](std::function<void()> task) { QTimer::singleShot(0, std::move(task)); })),
      errors_(showReports, [lines = errorLines_](const QString& line) { lines->append(line); }) {
    auto connectDemo = [demo = demo_](messenger::EventSink& sink) { return messenger::demo::connect(demo, sink); };
    window_ = std::make_unique<shell::MainWindow>(shell::MainWindow::Services{
        withFaults(connectDemo, faults_), clock_, QLocale(QLocale::English, QLocale::UnitedStates), errors_,
        [count = exitRequests_] { ++*count; }, logFile});
}

TestWindow::~TestWindow() = default;

bool TestWindow::load() {
    try {
        window_->start();
        return true;
    } catch (const messenger::Error& error) {
        errors_.reportFatal(error);
        return false;
    }
}

QStringList TestWindow::logLines() {
    const QString text = logText();
    return text.isEmpty() ? QStringList() : text.split(QStringLiteral("\r\n"));
}

void TestWindow::choose(const char* menuItem) {
    auto* action = window_->findChild<QAction*>(QString::fromLatin1(menuItem));
    QVERIFY2(action, menuItem);
    action->trigger();
}

void raise(TestWindow& t, ClientEvent event) {
    auto& demo = t.demo();
    const auto& c = demo.contacts();
    switch (event) {
        case ClientEvent::ContactName: demo.raiseContactNameChanged(c[0]); break;
        case ClientEvent::ContactStatus: demo.raiseContactStatusChanged(c[0]); break;
        case ClientEvent::Opened: demo.raiseConversationOpened(demo.makeWindow({c[0], c[3], c[6]})); break;
        case ClientEvent::Closed: demo.raiseConversationClosed(demo.makeWindow({c[0], c[3], c[6]})); break;
        case ClientEvent::MyName: demo.raiseMyNameChanged(); break;
        case ClientEvent::MyStatus: demo.raiseMyStatusChanged(); break;
    }
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

}  // namespace testsupport
