// Measures the log through the program's real path: a demo client event,
// its handler, logEvent, the log view. Offscreen; run by hand:
//   build/bench/log-bench
// Prints a Markdown table (see docs/DEVELOPING.md, Performance).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMap>
#include <QProcess>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "eventlog/log_view.h"
#include "literal_log.h"
#include "messenger/demo/demo_service.h"
#include "shell/application.h"
#include "shell/error_report.h"
#include "shell/main_window.h"

namespace {

using messenger::demo::DemoService;

constexpr int kStatuses[] = {2, 10, 14, 34, 50, 66, 18, 1};

qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * 4096;
}

// The monotonic clock, which parent and child share: a start-up is timed
// across the two.
qint64 monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::shared_ptr<DemoService> makeDemo() {
    return std::make_shared<DemoService>(
        [](std::function<void()> task) { QTimer::singleShot(0, std::move(task)); });
}

// One contact status event, as the client raises it.
void raiseOne(DemoService& demo, std::uint64_t i) {
    const auto& contacts = demo.contacts();
    demo.changeContactStatus(contacts[i % contacts.size()],
                             kStatuses[(i / contacts.size()) % std::size(kStatuses)]);
}

// Feeds `total` events in bursts, letting the window repaint between them,
// and records the time of every burst.
struct Run {
    std::vector<double> burstSeconds;  // one per burst
    int burst = 0;
    double rateAt(std::uint64_t lines, std::uint64_t window) const {
        const std::uint64_t last = lines / std::uint64_t(burst);
        const std::uint64_t first =
            last - std::max<std::uint64_t>(1, window / std::uint64_t(burst));
        double seconds = 0;
        for (std::uint64_t i = first; i < last; ++i) {
            seconds += burstSeconds[i];
        }
        return double((last - first) * std::uint64_t(burst)) / seconds;
    }
    double secondsBetween(std::uint64_t from, std::uint64_t to) const {
        double seconds = 0;
        for (std::uint64_t i = from / std::uint64_t(burst); i < to / std::uint64_t(burst); ++i) {
            seconds += burstSeconds[i];
        }
        return seconds;
    }
};

void feed(Run& run, DemoService& demo, std::uint64_t from, std::uint64_t to) {
    QElapsedTimer timer;
    for (std::uint64_t done = from; done < to; done += std::uint64_t(run.burst)) {
        timer.start();
        for (int i = 0; i < run.burst; ++i) {
            raiseOne(demo, done + std::uint64_t(i));
        }
        QCoreApplication::processEvents();
        run.burstSeconds.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
}

Run feed(DemoService& demo, std::uint64_t total, int burst) {
    Run run;
    run.burst = burst;
    feed(run, demo, 0, total);
    return run;
}

struct Window {
    std::shared_ptr<DemoService> demo = makeDemo();
    eventlog::SystemClock clock;
    shell::ErrorReport errors{false};
    shell::MainWindow window{
        {[demo = demo](messenger::EventSink& sink) { return messenger::demo::connect(demo, sink); },
         clock, QLocale(), errors, [] {}}};
    Window() {
        window.start();
        window.show();
        QCoreApplication::processEvents();
    }
};

QString cpuName() {
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : cpuinfo.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
            }
        }
    }
    return QStringLiteral("unknown CPU");
}

// The longest the event loop went without getting back to its own work
// while a flood of 10,000 events is handled. `prepare` runs before the clock
// starts (a client posting its messages does that work in its own process);
// `deliver` runs after, on the clock.
double longestStallMs(const std::function<void(DemoService&)>& prepare,
                      const std::function<void(DemoService&)>& deliver, bool* allLogged) {
    Window w;
    const int before = w.window.logView()->lineCount();
    prepare(*w.demo);
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer watchdog;
    watchdog.setInterval(0);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    watchdog.start();
    sinceTick.start();
    deliver(*w.demo);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) {
        QCoreApplication::processEvents();
    }
    watchdog.stop();
    *allLogged = w.window.logView()->lineCount() == before + 10'000;
    return double(longest) / 1e6;
}

int startupChild(int argc, char** argv) {
    return shell::runApplication(argc, argv, [](shell::MainWindow& window) {
        while (!window.windowHandle() || !window.windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        QCoreApplication::processEvents();  // the first paint, start-up line included
        std::printf("%lld\n", static_cast<long long>(monotonicNs()));
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
}

double startupMs(const QString& self) {
    QProcess child;
    child.setProgram(self);
    child.setArguments({QStringLiteral("--startup-child"), QStringLiteral("--demo")});
    const qint64 started = monotonicNs();
    child.start();
    child.waitForFinished(10000);
    const qint64 shown = child.readAllStandardOutput().trimmed().toLongLong();
    return double(shown - started) / 1e6;
}

// Each part runs in a process of its own, so that one part's memory cannot
// flatter or burden another's figures. A part prints "key value" lines.
using Figures = QMap<QString, double>;

void print(const char* key, double value) {
    std::printf("%s %.6f\n", key, value);
}

int partOurs() {
    Window w;
    const qint64 rssStart = residentBytes();
    Run run;
    run.burst = 1000;
    feed(run, *w.demo, 0, 20'000);
    print("perLine20k", double(residentBytes() - rssStart) / 20'000);
    feed(run, *w.demo, 20'000, 100'000);
    print("perLine100k", double(residentBytes() - rssStart) / 100'000);
    feed(run, *w.demo, 100'000, 1'000'000);
    print("perLine", double(residentBytes() - rssStart) / 1e6);
    print("rate1k", run.rateAt(1'000, 1'000));
    print("rate20k", run.rateAt(20'000, 1'000));
    print("rate100k", run.rateAt(100'000, 10'000));
    print("rate1m", run.rateAt(1'000'000, 10'000));
    print("flatness", run.secondsBetween(900'000, 1'000'000) / run.secondsBetween(0, 100'000));
    print("complete", w.window.logView()->lineCount() == 1'000'001 ? 1 : 0);
    return 0;
}

// A log kept the literal way (one text box, its whole text set anew each
// line) or in Qt's read-only plain text box, each line added the way it
// offers: `lines` lines, timed every `step`.
int partLiteral(LiteralLog::Way way, int lines, int step) {
    auto demo = makeDemo();
    eventlog::SystemClock clock;
    LiteralLog log(demo, clock, way);
    log.view().show();
    QCoreApplication::processEvents();
    const qint64 rssStart = residentBytes();
    const Run run = feed(*demo, lines, step);
    print("perLine", double(residentBytes() - rssStart) / lines);
    print("rate1k", run.rateAt(1'000, 1'000));
    print("rate20k", run.rateAt(20'000, 1'000));
    if (lines >= 100'000) {
        print("rate100k", run.rateAt(100'000, 10'000));
    }
    print("flatness",
          run.secondsBetween(lines - lines / 10, lines) / run.secondsBetween(0, lines / 10));
    return 0;
}

// The median time of a key, sent `times` over, in ms.
double keyMs(QWidget& view, QKeyCombination key, int times, double* slowest = nullptr) {
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < times; ++i) {
        QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers());
        timer.start();
        QCoreApplication::sendEvent(&view, &press);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    if (slowest) {
        *slowest = ms.back();
    }
    return ms[ms.size() / 2];
}

// What a key costs where the log is at its largest: on a line of a million
// characters (cut short on screen), and paging through ordinary lines.
int partKeys() {
    eventlog::LogView view;
    view.show();
    view.resize(600, 1000 + view.height() - view.viewport()->height());
    QCoreApplication::processEvents();
    QString huge;
    while (huge.size() < 1'000'000) {
        huge += QStringLiteral("some words, and more: ");
    }
    view.appendLine(huge);
    view.appendLine(QStringLiteral("after"));
    QCoreApplication::processEvents();
    double slowest = 0;
    for (const qsizetype at : {qsizetype(100), qsizetype(500'000)}) {
        for (const QKeyCombination key :
             {QKeyCombination(Qt::Key_Right), QKeyCombination(Qt::Key_Left),
              QKeyCombination(Qt::ControlModifier, Qt::Key_Right),
              QKeyCombination(Qt::ControlModifier, Qt::Key_Left), QKeyCombination(Qt::Key_End),
              QKeyCombination(Qt::Key_Home), QKeyCombination(Qt::Key_Down),
              QKeyCombination(Qt::Key_Up)}) {
            view.setCaretPosition(at);
            slowest = std::max(slowest, keyMs(view, key, 9));
        }
    }
    print("keyStep", slowest);
    view.setLogText(QString());
    for (std::uint64_t i = 0; i < 100'000; ++i) {
        view.appendLine(QStringLiteral("[3:04:05 PM] <sam.rivers@example.com> Changed Status To: "
                                       "Away %1")
                            .arg(i));
    }
    QCoreApplication::processEvents();
    view.setCaretPosition(0);
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
    QCoreApplication::sendEvent(&view, &home);
    print("pageDown", keyMs(view, QKeyCombination(Qt::Key_PageDown), 50, &slowest));
    print("pageDownMax", slowest);
    return 0;
}

int partFlood() {
    bool separateAll = false;
    bool batchAll = false;
    print("separate", longestStallMs(
                          [](DemoService& demo) {
                              for (std::uint64_t i = 0; i < 10'000; ++i) {
                                  QTimer::singleShot(0, [&demo, i] { raiseOne(demo, i); });
                              }
                          },
                          [](DemoService&) {}, &separateAll));
    print("batch", longestStallMs([](DemoService&) {},
                                  [](DemoService& demo) {
                                      for (std::uint64_t i = 0; i < 10'000; ++i) {
                                          raiseOne(demo, i);
                                      }
                                  },
                                  &batchAll));
    print("complete", separateAll && batchAll ? 1 : 0);
    return 0;
}

Figures runPart(const QString& part) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--part"), part});
    child.waitForFinished(-1);
    Figures figures;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 2) {
            figures.insert(QString::fromLatin1(fields[0]), fields[1].toDouble());
        }
    }
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--startup-child") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        std::vector<char*> rest{argv[0]};
        rest.insert(rest.end(), argv + 2, argv + argc);
        return startupChild(int(rest.size()), rest.data());
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 2 && arguments[1] == QStringLiteral("--profile")) {
        // A plain run of N events, for a profiler.
        Window w;
        feed(*w.demo, arguments[2].toULongLong(), 1000);
        return 0;
    }
    if (arguments.size() > 2 && arguments[1] == QStringLiteral("--part")) {
        const QString part = arguments[2];
        return part == QStringLiteral("ours") ? partOurs()
               : part == QStringLiteral("plain")
                   ? partLiteral(LiteralLog::Way::Append, 100'000, 1000)
               : part == QStringLiteral("keys") ? partKeys()
               : part == QStringLiteral("literal")
                   ? partLiteral(LiteralLog::Way::Rewrite, 20'000, 100)
                   : partFlood();
    }
    const bool withLiteral = !arguments.contains(QStringLiteral("--without-literal"));

    std::printf("Qt %s, %s, %s, %d cores\n\n", qVersion(),
                qPrintable(QSysInfo::prettyProductName()), qPrintable(cpuName()),
                QThread::idealThreadCount());
    std::vector<double> starts;
    for (int i = 0; i < 11; ++i) {
        starts.push_back(startupMs(QCoreApplication::applicationFilePath()));
    }
    std::sort(starts.begin(), starts.end());
    const Figures ours = runPart(QStringLiteral("ours"));
    const Figures flood = runPart(QStringLiteral("flood"));
    const Figures literal = withLiteral ? runPart(QStringLiteral("literal")) : Figures();
    auto lit = [&](const char* key, const char* format) {
        return withLiteral ? QString::asprintf(format, literal.value(QString::fromLatin1(key)))
                           : QStringLiteral("not run");
    };

    const Figures keys = runPart(QStringLiteral("keys"));
    const Figures plain = runPart(QStringLiteral("plain"));
    const auto figure = [](const Figures& part, const char* key, const char* format) {
        return QString::asprintf(format, part.value(QString::fromLatin1(key)));
    };
    const auto row = [](const char* measure, const QString& ourFigure, const QString& plainFigure,
                        const QString& literalFigure, const char* target) {
        std::printf("| %s | %s | %s | %s | %s |\n", measure, qPrintable(ourFigure),
                    qPrintable(plainFigure), qPrintable(literalFigure), target);
    };
    const QString none;
    std::printf(
        "| Measure | Ours | Qt's read-only QPlainTextEdit (appendPlainText) | Literal (rewrites "
        "the text per line) | Target |\n");
    std::printf("|---|---|---|---|---|\n");
    row("Events/s at 1,000 lines", figure(ours, "rate1k", "%.0f"), figure(plain, "rate1k", "%.0f"),
        lit("rate1k", "%.0f"), "");
    row("Events/s at 20,000 lines", figure(ours, "rate20k", "%.0f"),
        figure(plain, "rate20k", "%.0f"), lit("rate20k", "%.0f"), "");
    row("Events/s at 100,000 lines", figure(ours, "rate100k", "%.0f"),
        figure(plain, "rate100k", "%.0f"), QStringLiteral("stopped at 20,000"), ">= 100,000");
    row("Events/s at 1,000,000 lines", figure(ours, "rate1m", "%.0f"),
        QStringLiteral("stopped at 100,000"), QStringLiteral("stopped at 20,000"), ">= 100,000");
    row("Ours faster, at 20,000 lines", none,
        QString::asprintf("%.0fx", ours.value(QStringLiteral("rate20k")) /
                                       plain.value(QStringLiteral("rate20k"))),
        withLiteral ? QString::asprintf("%.0fx", ours.value(QStringLiteral("rate20k")) /
                                                     literal.value(QStringLiteral("rate20k")))
                    : QStringLiteral("not run"),
        "");
    row("Time of last tenth / first tenth", figure(ours, "flatness", "%.2f (of 1,000,000 lines)"),
        none, lit("flatness", "%.2f (of 20,000 lines)"), "<= 1.3");
    row("Memory per line (resident) at 20,000 lines", figure(ours, "perLine20k", "%.0f bytes"),
        none, lit("perLine", "%.0f bytes"), "");
    row("Memory per line (resident) at 100,000 lines", figure(ours, "perLine100k", "%.0f bytes"),
        figure(plain, "perLine", "%.0f bytes"), QStringLiteral("stopped at 20,000"), "");
    row("Memory per line (resident) at 1,000,000 lines", figure(ours, "perLine", "%.0f bytes"),
        QStringLiteral("stopped at 100,000"), QStringLiteral("stopped at 20,000"), "<= 80");
    row("Key step on a line of 1,000,000 characters (slowest key, median)",
        figure(keys, "keyStep", "%.2f ms"), none, none, "<= 5 ms");
    row("PageDown in a view 1,000 px high (median; slowest)",
        figure(keys, "pageDown", "%.2f ms") + figure(keys, "pageDownMax", "; %.2f ms"), none, none,
        "<= 5 ms");
    row("Start-up to window shown with its first line",
        QString::asprintf("%.0f ms (median of 11; %.0f-%.0f)", starts[starts.size() / 2],
                          starts.front(), starts.back()),
        none, none, "<= 150 ms");
    row("Longest stall, flood of 10,000 events as separate messages",
        figure(flood, "separate", "%.1f ms"), none, none, "<= 50 ms");
    row("Longest stall, flood of 10,000 events in one call", figure(flood, "batch", "%.1f ms"),
        none, none, "<= 50 ms");
    if (ours.value(QStringLiteral("complete")) != 1 ||
        flood.value(QStringLiteral("complete")) != 1) {
        std::printf("\nLINES WERE LOST\n");
        return 1;
    }
    return 0;
}
