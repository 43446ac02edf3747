// Keeping the log, measured: Save Log As on a log at capacity while lines
// go on arriving, and the log file taking a flood. Run by hand:
//   keep-bench [--lines N]
// Prints a Markdown table of the figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include "eventlog/log_file.h"
#include "eventlog/log_saver.h"
#include "eventlog/log_view.h"

namespace {

QString lineNumber(qsizetype i) {
    static const char* const kEvents[] = {"Changed Status To: Away", "Changed Status To: Online",
                                          "Opened window", "Changed name to: Sunny again"};
    return QStringLiteral("[3:04:%1 PM] <contact%2@example.org> %3")
        .arg(i % 60, 2, 10, QLatin1Char('0'))
        .arg(i % 997)
        .arg(QLatin1String(kEvents[i % 4]));
}

void row(const char* what, const QString& figure) {
    std::printf("| %s | %s |\n", what, qPrintable(figure));
}

// Saves a full log while a line arrives every millisecond; the longest
// time the event loop did not answer is what the user would feel.
void saveAtCapacity(qsizetype lines, const QString& folder) {
    eventlog::LogView view;
    view.resize(537, 73);
    for (qsizetype i = 0; i < lines; ++i) {
        view.appendLine(lineNumber(i));
    }
    QElapsedTimer clock;
    clock.start();
    const QString path = folder + QStringLiteral("/saved.txt");
    eventlog::LogSaver saver(view.lines(), path);
    const double startMs = clock.nsecsElapsed() / 1e6;
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    qsizetype added = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        view.appendLine(lineNumber(++added));
    });
    ticks.start(1);
    QEventLoop done;
    QString error;
    QObject::connect(&saver, &eventlog::LogSaver::finished, [&](const QString& e) {
        error = e;
        done.quit();
    });
    done.exec();
    const double totalMs = clock.nsecsElapsed() / 1e6;
    row("lines in the saved log", QString::number(lines));
    row("file size", QStringLiteral("%1 MB").arg(QFileInfo(path).size() / 1e6, 0, 'f', 1));
    row("saving, whole (write and sync)", QStringLiteral("%1 ms").arg(totalMs, 0, 'f', 0));
    row("of it on the UI thread (copying the store)",
        QStringLiteral("%1 ms").arg(startMs, 0, 'f', 1));
    row("longest the event loop did not answer while saving",
        QStringLiteral("%1 ms").arg(longest / 1e6, 0, 'f', 1));
    row("lines logged meanwhile (one a millisecond)", QString::number(added));
    if (!error.isEmpty()) {
        row("FAILED", error);
    }
}

// A flood of lines into the log file, in bursts of 100 a turn of the loop.
void fileFlood(qsizetype lines, const QString& folder) {
    QString reason;
    auto file =
        eventlog::LogFile::open(folder + QStringLiteral("/flood.log"), QLocale::c(), &reason);
    if (!file) {
        row("FAILED", reason);
        return;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 uiNs = 0;
    for (qsizetype i = 0; i < lines; i += 100) {
        QElapsedTimer burst;
        burst.start();
        for (qsizetype j = i; j < std::min(lines, i + 100); ++j) {
            file->append(lineNumber(j), QDate(2026, 12, 7));
        }
        QCoreApplication::processEvents();
        uiNs += burst.nsecsElapsed();
    }
    file.reset();  // writes the rest and syncs
    const double totalMs = clock.nsecsElapsed() / 1e6;
    row("log file: lines in a flood, 100 a turn", QString::number(lines));
    row("log file: UI thread's cost a line",
        QStringLiteral("%1 µs").arg(uiNs / 1e3 / lines, 0, 'f', 2));
    row("log file: all on the disk after", QStringLiteral("%1 ms (%2 lines/s)")
                                               .arg(totalMs, 0, 'f', 0)
                                               .arg(lines / totalMs * 1000, 0, 'f', 0));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--lines"));
    const qsizetype lines = at > 0 ? arguments.value(at + 1).toLongLong() : 2'000'000;
    QTemporaryDir folder;
    std::printf("| figure | value |\n|---|---|\n");
    saveAtCapacity(lines, folder.path());
    fileFlood(lines / 2, folder.path());
    return 0;
}
