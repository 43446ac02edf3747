// The built program, started as a user starts it.
#include <QProcess>
#include <QTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QStringList& arguments, int timeoutMs = 20000) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUAVEL_PROGRAM), arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

}  // namespace

class TestProgram : public QObject {
    Q_OBJECT

private slots:
    void version() {
        const Run run = runProgram({QStringLiteral("--version")});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("Quavel Logger 1.00\n"));
    }

    void help() {
        const Run run = runProgram({QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.startsWith(QStringLiteral("Usage: quavel-logger [options]")));
        QVERIFY(run.out.contains(QStringLiteral("--demo")));
    }

    void badOptionSaysWhatToDo() {
        const Run run = runProgram({QStringLiteral("--colour")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QStringLiteral("Unknown option 'colour'")), qPrintable(run.err));
        QVERIFY(run.err.contains(QStringLiteral("--help")));
    }

    // Without a client to attach to, start-up fails: reported with its
    // number and description, no window, a failing exit status.
    void noClientFound() {
        const Run run = runProgram({});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("Error 0x80040154")), qPrintable(run.err));
        QVERIFY(run.err.contains(QStringLiteral("No messenger client was found")));
        QVERIFY(run.err.contains(QStringLiteral("--demo")));
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
