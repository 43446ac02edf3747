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
//   QUAVEL_BENCH_LOG_FILE=PATH   the log is written there at the end
//   QUAVEL_BENCH_CALL_TIMEOUT_MS=N  the binding's call timeout (a hang sooner)
//   QUAVEL_BENCH_UNTIL=TEXT, QUAVEL_BENCH_UNTIL_COUNT=N  prints the wall
//       clock (ms since the epoch) once N log lines contain TEXT
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <time.h>

#include "eventlog/clock.h"
#include "eventlog/log_view.h"
#include "messenger/purple/purple_client.h"
#include "shell/error_report.h"
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
    QTimer until;
};

// The wall clock when the log first has `count` lines with `text`: the
// shell compares it with when it let the client go on.
void watchUntil(shell::MainWindow& window, Flood& flood) {
    const QString text = qEnvironmentVariable("QUAVEL_BENCH_UNTIL");
    const int count = qEnvironmentVariableIntValue("QUAVEL_BENCH_UNTIL_COUNT");
    if (text.isEmpty() || count <= 0) {
        return;
    }
    QObject::connect(&flood.until, &QTimer::timeout, [&window, &flood, text, count] {
        if (window.logView()->logText().count(text) >= count) {
            std::printf("reached %lld\n", QDateTime::currentMSecsSinceEpoch());
            std::fflush(stdout);
            flood.until.stop();
        }
    });
    flood.until.start(20);
}

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
        if (const QString path = qEnvironmentVariable("QUAVEL_BENCH_LOG_FILE"); !path.isEmpty()) {
            QFile file(path);
            if (file.open(QIODevice::WriteOnly)) {
                file.write(window.logView()->logText().toUtf8());
            }
        }
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
    // As the program attaches, but with the call timeout the run asks for.
    messenger::purple::PurpleClient::Timing timing;
    if (const int ms = qEnvironmentVariableIntValue("QUAVEL_BENCH_CALL_TIMEOUT_MS"); ms > 0) {
        timing.bus.callTimeout = std::chrono::milliseconds(ms);
    }
    QApplication app(argc, argv);
    shell::ErrorReport errors(false);
    eventlog::SystemClock clock;
    shell::MainWindow window({[timing](messenger::EventSink& sink) {
                                  return std::make_unique<messenger::purple::PurpleClient>(
                                      [](const QString& name) {
                                          return QDBusConnection::connectToBus(
                                              QDBusConnection::SessionBus, name);
                                      },
                                      sink, QString(), timing);
                              },
                              clock, QLocale(), errors, [] { QApplication::exit(0); }});
    try {
        window.start();
    } catch (const messenger::Error&) {
        std::fprintf(stderr, "could not attach\n");
        return 1;
    }
    window.show();
    std::unique_ptr<Flood> flood;
    QTimer::singleShot(0, &window, [&] {
        std::printf("shown %lld ms\n", sinceStart.elapsed());
        std::fflush(stdout);
        if (shownOnly) {
            QApplication::exit(0);
            return;
        }
        flood = std::make_unique<Flood>();
        watch(window, *flood, quietMs, qEnvironmentVariable("QUAVEL_BENCH_DONE_FILE"));
        watchUntil(window, *flood);
    });
    return QApplication::exec();
}

#include "purple_flood_bench.moc"
