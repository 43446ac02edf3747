// The libpurple binding under a flood, measured in the real program: run by
// bench/purple_flood.sh, which starts Finch on a private bus and a crowd of
// local peers. Prints the time to the main window on screen, then, once
// nothing has happened for a while: the changes the client signalled about
// buddies (heard on a thread of its own, so a busy window does not delay
// them), the lines logged about them, the longest the event loop did not
// turn, and the time from the client's last signal to the last line.
//   QUAVEL_BENCH_SHOWN_ONLY=1    quit once the window is shown
//   QUAVEL_BENCH_QUIET_MS=N      how long nothing must happen (default 3000)...
//   QUAVEL_BENCH_DONE_FILE=PATH  ...once this file exists (the flood is all sent)
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "eventlog/log_view.h"
#include "shell/application.h"
#include "shell/main_window.h"

namespace {

QElapsedTimer sinceStart;

// This thread's own processor time: a stall with little of it was the
// machine running something else, not this program working.
qint64 threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

class SignalCounter final : public QObject {
    Q_OBJECT

public:
    std::atomic<int> count{0};
    std::atomic<qint64> lastMs{0};

public slots:
    void heard(const QDBusMessage&) {
        ++count;
        lastMs = sinceStart.elapsed();
    }
};

struct Flood {
    QThread listening;
    SignalCounter counter;
    QTimer ticker;
    qint64 lastTick = 0;
    qint64 lastTickCpu = 0;
    qint64 longestStall = 0;
    qint64 longestBusy = 0;
    qint64 lastLineMs = 0;
    int lines = 0;
};

void watch(shell::MainWindow& window, Flood& flood, int quietMs, const QString& doneFile) {
    flood.counter.moveToThread(&flood.listening);
    flood.listening.start();
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                        QStringLiteral("flood-listener"));
    for (const char* name : {"BuddyStatusChanged", "BuddySignedOn", "BuddySignedOff"}) {
        bus.connect(QStringLiteral("im.pidgin.purple.PurpleService"),
                    QStringLiteral("/im/pidgin/purple/PurpleObject"),
                    QStringLiteral("im.pidgin.purple.PurpleInterface"), QString::fromLatin1(name),
                    &flood.counter, SLOT(heard(QDBusMessage)));
    }
    flood.ticker.setTimerType(Qt::PreciseTimer);
    flood.lastTick = sinceStart.elapsed();
    QObject::connect(&flood.ticker, &QTimer::timeout, [&window, &flood, quietMs, doneFile] {
        const qint64 now = sinceStart.elapsed();
        const qint64 cpu = threadCpuMs();
        if (flood.counter.count > 0) {
            flood.longestStall = std::max(flood.longestStall, now - flood.lastTick);
            flood.longestBusy = std::max(flood.longestBusy, cpu - flood.lastTickCpu);
        }
        flood.lastTick = now;
        flood.lastTickCpu = cpu;
        if (const int lines = window.logView()->lineCount(); lines != flood.lines) {
            flood.lines = lines;
            flood.lastLineMs = now;
        }
        if (flood.counter.count == 0 || !QFile::exists(doneFile) ||
            now - std::max(flood.lastLineMs, qint64(flood.counter.lastMs)) < quietMs) {
            return;
        }
        const int logged =
            int(window.logView()->logText().count(QStringLiteral("> Changed Status To: ")));
        const int signalled = flood.counter.count;
        std::printf(
            "signalled %d, logged %d (%.0f%%), longest stall %lld ms (%lld ms of it "
            "working), last line %lld ms after the last signal\n",
            signalled, logged, 100.0 * logged / signalled, flood.longestStall, flood.longestBusy,
            flood.lastLineMs - flood.counter.lastMs);
        std::fflush(stdout);
        flood.ticker.stop();
        flood.listening.quit();
        flood.listening.wait();
        QApplication::exit(0);
    });
    flood.ticker.start(1);
}

}  // namespace

int main(int argc, char** argv) {
    sinceStart.start();
    const bool shownOnly = qEnvironmentVariableIsSet("QUAVEL_BENCH_SHOWN_ONLY");
    bool ok = false;
    int quietMs = qEnvironmentVariableIntValue("QUAVEL_BENCH_QUIET_MS", &ok);
    if (!ok) {
        quietMs = 3000;
    }
    std::unique_ptr<Flood> flood;
    return shell::runApplication(argc, argv, [&](shell::MainWindow& window) {
        std::printf("shown %lld ms\n", sinceStart.elapsed());
        std::fflush(stdout);
        if (shownOnly) {
            QTimer::singleShot(0, [] { QApplication::exit(0); });
            return;
        }
        flood = std::make_unique<Flood>();
        watch(window, *flood, quietMs, qEnvironmentVariable("QUAVEL_BENCH_DONE_FILE"));
    });
}

#include "purple_flood_bench.moc"
