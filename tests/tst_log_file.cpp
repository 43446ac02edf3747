// The log kept in a file: what it holds, across runs and days, and what
// happens when it cannot be written.
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include "eventlog/line_break.h"
#include "eventlog/log_file.h"
#include "support/test_window.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using eventlog::LogFile;
using namespace Qt::StringLiterals;

namespace {

const QLocale kLocale(QLocale::English, QLocale::UnitedStates);
const QDate kDay(2026, 12, 6);

QStringList fileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {u"<unreadable>"_s};
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split(eventlog::platformLineBreak().toString());
    if (lines.back().isEmpty()) {
        lines.removeLast();
    } else {
        lines.back() += u"<no line break>"_s;
    }
    return lines;
}

std::unique_ptr<LogFile> openLog(const QString& path, LogFile::Timing timing = {}) {
    QString reason;
    std::unique_ptr<LogFile> file = LogFile::open(path, kLocale, &reason, timing);
    if (!file) {
        qWarning("cannot open %s: %s", qPrintable(path), qPrintable(reason));
    }
    return file;
}

void appendAll(LogFile& file, const QStringList& lines, QDate date = kDay) {
    for (const QString& line : lines) {
        file.append(line, date);
    }
}

#ifdef Q_OS_UNIX
// The system refuses to let this process's files grow past a size: writes
// stop part-way, as on a full disk. Root is held to it too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { lift(); }
    void lift() { setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};
#endif

}  // namespace

class TestLogFile : public QObject {
    Q_OBJECT

private slots:
    // The file holds what the window holds, line for line, names that try
    // to forge lines included; a second run adds to it.
    void fileMatchesWindowAcrossRuns() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.txt"_s);
        QStringList expected;
        for (int run = 0; run < 2; ++run) {
            auto file = openLog(path);
            QVERIFY(file);
            testsupport::TestWindow t(false, file.get());
            t.demo().setMySigninName(u"Sam\r\n[3:04:05 PM] <boss@x> Left");
            QVERIFY(t.load());
            auto& demo = t.demo();
            demo.changeContactName(demo.contacts()[1], u"Bea\n[1:00:00 AM] <x@y> Quit\u2028\u202e");
            demo.changeContactStatus(demo.contacts()[2], 34);
            testsupport::raise(t, testsupport::ClientEvent::Opened);
            QTRY_COMPARE(t.logLines().size(), 6);  // the opened window has three
            expected += t.logLines();
            t.window().close();
        }
        QCOMPARE(fileLines(path), expected);
    }

    // A line naming the date goes before the first line of each new day;
    // a file cut inside a line by an earlier run gets its lines below it.
    void datesAndEarlierEnds_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("expected");
        const QByteArray lineBreak = eventlog::platformLineBreak().toUtf8();
        const QStringList logged{u"[11:59:59 PM] a"_s, u"Date changed to 12/7/26"_s, u"[12:00:01 AM] b"_s};
        QTest::newRow("new file") << QByteArray() << logged;
        QTest::newRow("whole lines before") << QByteArray("old" + lineBreak) << QStringList{u"old"_s} + logged;
        QTest::newRow("cut inside a line") << QByteArray("ol") << QStringList{u"ol"_s} + logged;
    }
    void datesAndEarlierEnds() {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.txt"_s);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(before);
        }
        {
            auto file = openLog(path);
            QVERIFY(file);
            file->append(u"[11:59:59 PM] a"_s, kDay);
            file->append(u"[12:00:01 AM] b"_s, kDay.addDays(1));
        }
        QCOMPARE(fileLines(path), expected);
    }

    // One program at a time: a second is refused while the first holds the
    // file, and takes it once the first has let go.
    void oneWriterAtATime() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.txt"_s);
        auto first = openLog(path);
        QVERIFY(first);
        QString reason;
        QVERIFY(!LogFile::open(path, kLocale, &reason));
        QCOMPARE(reason, u"another Quavel Logger is writing to it"_s);
        first.reset();
        QVERIFY(openLog(path));
    }

    // While the file cannot be written, its lines are counted, the failure
    // is reported once and no line is left half written; once it can be,
    // it first says how many lines it lacks. Each line is either in the
    // file or counted, whenever writing came back.
    void failureIsReportedOnceAndCounted_data() {
        QTest::addColumn<std::function<void(const QString&)>>("breakIt");
        QTest::addColumn<std::function<void(const QString&)>>("mendIt");
        QTest::addColumn<bool>("startsAnew");
#ifdef Q_OS_UNIX
        auto limit = std::make_shared<std::unique_ptr<FileSizeLimit>>();
        QTest::newRow("file may not grow, stopping a write part-way")
            << std::function<void(const QString&)>([limit](const QString& path) {
                   *limit = std::make_unique<FileSizeLimit>(QFileInfo(path).size() + 5);
               })
            << std::function<void(const QString&)>([limit](const QString&) { limit->reset(); }) << false;
#endif
        QTest::newRow("removed, a folder in its place") << std::function<void(const QString&)>([](const QString& path) {
            QFile::remove(path);
            QDir().mkdir(path);
        }) << std::function<void(const QString&)>([](const QString& path) { QDir().rmdir(path); })
                                                        << true;
    }
    void failureIsReportedOnceAndCounted() {
        QFETCH(std::function<void(const QString&)>, breakIt);
        QFETCH(std::function<void(const QString&)>, mendIt);
        QFETCH(bool, startsAnew);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.txt"_s);
        LogFile::Timing timing;
        timing.retryEvery = std::chrono::milliseconds(0);
        auto file = openLog(path, timing);
        QVERIFY(file);
        QSignalSpy failed(file.get(), &LogFile::writeFailed);
        QSignalSpy resumed(file.get(), &LogFile::writeResumed);
        const QStringList before{u"[1:00:00 PM] one"_s, u"[1:00:01 PM] two"_s};
        appendAll(*file, before);
        QTRY_COMPARE(fileLines(path), before);

        breakIt(path);
        if (startsAnew && QFileInfo(path).isFile()) {
            QSKIP("a file in use cannot be removed here");
        }
        const QStringList lost{u"[1:00:02 PM] three"_s, u"[1:00:03 PM] four"_s};
        appendAll(*file, lost);
        QTRY_COMPARE(failed.count(), 1);
        const QStringList later{u"[1:00:04 PM] five"_s, u"[1:00:05 PM] six"_s};
        file->append(later[0], kDay);  // maybe before the mend, maybe after
        mendIt(path);
        QTest::qWait(0);
        file->append(later[1], kDay);
        QTRY_COMPARE(resumed.count(), 1);
        file.reset();

        QCOMPARE(failed.count(), 1);
        const qint64 notWritten = resumed.first().first().toLongLong();
        const QStringList all = lost + later;
        const QStringList written = all.mid(notWritten);
        QVERIFY2(notWritten >= lost.size() && !written.isEmpty(), qPrintable(QString::number(notWritten)));
        const QString counted = u"%1 lines could not be written to this file."_s.arg(notWritten);
        const QStringList top = startsAnew ? QStringList{u"Log continued on 12/6/26"_s} : before;
        QCOMPARE(fileLines(path), top + QStringList{counted} + written);
    }

    // A file removed while in use is started again at its name, and says
    // which day its times are of.
    void removedFileIsStartedAgain() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log.txt"_s);
        auto file = openLog(path);
        QVERIFY(file);
        QSignalSpy failed(file.get(), &LogFile::writeFailed);
        QSignalSpy startedAnew(file.get(), &LogFile::startedAnew);
        file->append(u"[1:00:00 PM] one"_s, kDay);
        QTRY_VERIFY(QFileInfo(path).size() > 0);
        if (!QFile::remove(path)) {
            QSKIP("a file in use cannot be removed here");
        }
        file->append(u"[1:00:01 PM] two"_s, kDay);
        QTRY_COMPARE(fileLines(path), (QStringList{u"Log continued on 12/6/26"_s, u"[1:00:01 PM] two"_s}));
        QCOMPARE(startedAnew.count(), 1);
        QCOMPARE(failed.count(), 0);
    }

#ifdef Q_OS_UNIX
    // A reader that falls behind (a pipe nobody empties): past the room
    // for waiting lines, lines are counted and left out, reported once, and
    // every line taken still arrives, the count before the next.
    void slowReaderLosesOnlyWhatIsCounted() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"pipe"_s);
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        QFile reader(path);
        const int readEnd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader.open(readEnd, QIODevice::ReadOnly, QFile::AutoCloseHandle));
        LogFile::Timing timing;
        timing.maxWaiting = 64 * 1024;
        auto file = openLog(path, timing);
        QVERIFY(file);
        QSignalSpy failed(file.get(), &LogFile::writeFailed);
        QSignalSpy resumed(file.get(), &LogFile::writeResumed);
        const QString line = u"[1:00:00 PM] "_s + QString(200, u'x');
        constexpr int kLines = 4000;  // three times what the pipe and the room hold
        for (int i = 0; i < kLines; ++i) {
            file->append(line, kDay);
            QTest::qWait(0);
        }
        // Behind, the writer tells of it once it can write again.
        QByteArray got;
        QTRY_VERIFY((got += reader.readAll(), failed.count() >= 1));
        file->append(u"[1:00:01 PM] last"_s, kDay);
        QTRY_VERIFY((got += reader.readAll(), got.endsWith("[1:00:01 PM] last\n")));
        QTRY_COMPARE(resumed.count(), failed.count());
        qint64 notWritten = 0;
        for (const QList<QVariant>& report : resumed) {
            notWritten += report.first().toLongLong();
            QVERIFY(got.contains(
                u"%1 lines could not be written to this file.\n"_s.arg(report.first().toLongLong()).toUtf8()));
        }
        QCOMPARE(got.count((line + u'\n').toUtf8()) + notWritten, qsizetype(kLines));
    }
#endif
};

QTEST_MAIN(TestLogFile)
#include "tst_log_file.moc"
