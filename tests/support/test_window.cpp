#include "test_window.h"

#include <QAction>
#include <QTest>
#include <QTimer>

namespace testing {

TestWindow::TestWindow()
    : demo_(std::make_shared<messenger::demo::DemoService>(
          [](std::function<void()> task) { QTimer::singleShot(0, std::move(task)); })),
      errors_(false, [lines = errorLines_](const QString& line) { lines->append(line); }) {
    auto demo = demo_;
    window_ = std::make_unique<shell::frmMain>(shell::frmMain::Services{
        [demo](messenger::EventSink& sink) { return messenger::demo::connect(demo, sink); }, clock_,
        QLocale(QLocale::English, QLocale::UnitedStates), errors_, [count = exitRequests_] { ++*count; }});
}

TestWindow::~TestWindow() = default;

bool TestWindow::load() {
    try {
        window_->Form_Load();
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

void TestWindow::choose(const QString& menuItem) {
    auto* action = window_->findChild<QAction*>(menuItem);
    QVERIFY2(action, qPrintable(QStringLiteral("no menu item ") + menuItem));
    action->trigger();
}

const char* nameOf(ClientEvent event) {
    switch (event) {
        case ClientEvent::ContactName: return "contact name";
        case ClientEvent::ContactStatus: return "contact status";
        case ClientEvent::WindowCreated: return "window created";
        case ClientEvent::WindowDestroyed: return "window destroyed";
        case ClientEvent::MyName: return "my name";
        case ClientEvent::MyStatus: return "my status";
    }
    return "?";
}

void raise(TestWindow& t, ClientEvent event) {
    auto& demo = t.demo();
    const auto& c = demo.contacts();
    switch (event) {
        case ClientEvent::ContactName: demo.raiseContactFriendlyNameChange(c[0]); break;
        case ClientEvent::ContactStatus: demo.raiseContactStatusChange(c[0], c[0]->status()); break;
        case ClientEvent::WindowCreated: demo.raiseIMWindowCreated(demo.makeWindow({c[0], c[3], c[6]})); break;
        case ClientEvent::WindowDestroyed: demo.raiseIMWindowDestroyed(demo.makeWindow({c[0], c[3], c[6]})); break;
        case ClientEvent::MyName: demo.raiseMyFriendlyNameChange(); break;
        case ClientEvent::MyStatus: demo.raiseMyStatusChange(0, demo.myStatus()); break;
    }
}

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
    }
}

}  // namespace testing
