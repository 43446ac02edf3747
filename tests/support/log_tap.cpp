// The program as users start it, that also tells on standard output each
// line its window gets, with the moment it got it (the steady clock, in
// nanoseconds): what a test holds the log file against.
#include <QObject>

#include <chrono>
#include <cstdio>
#include <memory>

#include "eventlog/log_view.h"
#include "shell/application.h"
#include "shell/main_window.h"

int main(int argc, char** argv) {
    return shell::runApplication(argc, argv, [](shell::MainWindow& window) {
        eventlog::LogView* view = window.logView();
        auto told = std::make_shared<int>(0);
        auto tell = [view, told] {
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            for (; *told < view->lineCount(); ++*told) {
                std::printf("%lld %s\n", static_cast<long long>(std::chrono::nanoseconds(now).count()),
                            view->lines().line(*told).toUtf8().constData());
            }
            std::fflush(stdout);
        };
        tell();
        QObject::connect(view, &eventlog::LogView::textChanged, view, tell);
    });
}
