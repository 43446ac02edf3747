// The built program, started as a user starts it.
#include <QProcess>
#include <QTest>

class TestProgram : public QObject {
    Q_OBJECT

private slots:
    void run_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");  // standard output, then standard error
        // Without a client to attach to, start-up fails: reported, no window.
        QTest::newRow("no client found")
            << QStringList() << 1
            << QStringLiteral("Quavel Logger: Error 0x80040154 (-2147221164): No messenger client was found");
    }
    void run() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUAVEL_PROGRAM), arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString printed =
            QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(printed.startsWith(output), qPrintable(printed));
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
