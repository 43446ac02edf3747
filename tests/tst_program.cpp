// The built program, started as a user starts it.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The program on its demo client, offscreen, with these arguments.
void startProgram(QProcess& process, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUAVEL_PROGRAM), QStringList{QStringLiteral("--demo")} + arguments);
}

int startUpLines(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("Quavel Wardel Loaded for")) : 0;
}

}  // namespace

class TestProgram : public QObject {
    Q_OBJECT

private slots:
    // Without a client to attach to, start-up fails: reported, no window.
    void noClientFound() {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUAVEL_PROGRAM), {});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        const QString printed = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(printed.contains(
                     QStringLiteral("Quavel Logger: Error 0x80040154 (-2147221164): No messenger client was found")),
                 qPrintable(printed));
    }

    // A log file that cannot be kept ends the program before its window,
    // saying which file and why: one another program holds, or a folder.
    // Once the holder is gone, however it went, the file can be taken.
    void logFileRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.txt"));
        QProcess holder;
        startProgram(holder, {QStringLiteral("--log-file"), path});
        QTRY_COMPARE_WITH_TIMEOUT(startUpLines(path), 1, 60000);

        const auto refused = [](const QStringList& arguments, const QString& why) {
            QProcess second;
            startProgram(second, arguments);
            QVERIFY(second.waitForFinished(60000));
            QCOMPARE(second.exitCode(), 1);
            const QString printed = QString::fromLocal8Bit(second.readAllStandardError());
            QVERIFY2(printed.contains(why), qPrintable(printed));
        };
        refused({QStringLiteral("--log-file"), path},
                QStringLiteral(": another Quavel Logger is writing to it. Choose another file with --log-file"));
        refused({QStringLiteral("--log-file"), dir.path()}, QStringLiteral(": it is a folder."));

        holder.kill();
        QVERIFY(holder.waitForFinished(60000));
        QProcess next;
        startProgram(next, {QStringLiteral("--log-file"), path});
        QTRY_COMPARE_WITH_TIMEOUT(startUpLines(path), 2, 60000);
        next.kill();
        next.waitForFinished(60000);
    }

    // The report needs no display; the demo's invented names pass through
    // the placeholders as a real client's do, shown only when asked.
    void diagnosisOfTheDemo_data() {
        QTest::addColumn<bool>("namesShown");
        QTest::newRow("names hidden") << false;
        QTest::newRow("names shown") << true;
    }
    void diagnosisOfTheDemo() {
        QFETCH(bool, namesShown);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            env.remove(QString::fromLatin1(name));
        }
        process.setProcessEnvironment(env);
        const QStringList names = namesShown ? QStringList{QStringLiteral("--diagnose-names")} : QStringList{};
        process.start(
            QStringLiteral(QUAVEL_PROGRAM),
            QStringLiteral("--diagnose --demo --diagnose-seconds 1 --demo-interval 20 --seed 7").split(u' ') + names);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        const QString report = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(report.contains(QStringLiteral("\n== The client chosen with --demo ==\n")) &&
                     report.contains(QStringLiteral("\nStory: seed 7 ")) &&
                     report.contains(QRegularExpression(QStringLiteral("\n\\+\\d+\\.\\d{3} s  \\w"))),
                 qPrintable(report));
        QCOMPARE(report.contains(QStringLiteral("Sam.Rivers@example.com")), namesShown);
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
