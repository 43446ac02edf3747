#include "test_window.h"

#include <QAction>
#include <QTest>
#include <QTimer>

namespace testing {

QDateTime pinnedTime() {
    return QDateTime(QDate(2026, 12, 6), QTime(15, 4, 5));
}

QLocale usEnglish() {
    return QLocale(QLocale::English, QLocale::UnitedStates);
}

TestWindow::TestWindow()
    : demo_(std::make_shared<messenger::demo::DemoService>(
          [](std::function<void()> task) { QTimer::singleShot(0, std::move(task)); })),
      errors_(false, [lines = errorLines_](const QString& line) { lines->append(line); }) {
    auto demo = demo_;
    window_ = std::make_unique<shell::frmMain>(shell::frmMain::Services{
        [demo](messenger::EventSink& sink) { return messenger::demo::connect(demo, sink); }, clock_,
        usEnglish(), errors_, [count = exitRequests_] { ++*count; }});
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

}  // namespace testing
