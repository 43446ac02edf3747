// The built program, started as a user starts it.
#include <QProcess>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
