#include <QTest>

#include "command_line.h"

using shell::ParsedCommandLine;
using Action = ParsedCommandLine::Action;
Q_DECLARE_METATYPE(Action)

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QString>("textContains");
        auto args = [](std::initializer_list<const char*> list) {
            QStringList result{QStringLiteral("quavel-logger")};
            for (const char* arg : list) {
                result << QString::fromUtf8(arg);
            }
            return result;
        };
        QTest::newRow("nothing") << args({}) << Action::Run << false << QString();
        QTest::newRow("demo") << args({"--demo"}) << Action::Run << true << QString();
        QTest::newRow("demo with seed and pace")
            << args({"--demo", "--seed", "42", "--demo-interval", "250"}) << Action::Run << true
            << QString();
        QTest::newRow("help") << args({"--help"}) << Action::ShowHelp << false
                              << QStringLiteral("--demo");
        QTest::newRow("short help")
            << args({"-h"}) << Action::ShowHelp << false << QStringLiteral("Usage: quavel-logger");
        QTest::newRow("version") << args({"--version"}) << Action::ShowVersion << false
                                 << QStringLiteral("Quavel Logger 1.00");
        QTest::newRow("unknown option")
            << args({"--bogus"}) << Action::Fail << false << QStringLiteral("--help");
        QTest::newRow("stray argument")
            << args({"file.txt"}) << Action::Fail << false << QStringLiteral("'file.txt'");
        QTest::newRow("seed not a number")
            << args({"--demo", "--seed", "x"}) << Action::Fail << false << QStringLiteral("--seed");
        QTest::newRow("negative seed") << args({"--demo", "--seed", "-1"}) << Action::Fail << false
                                       << QStringLiteral("--seed");
        QTest::newRow("zero interval") << args({"--demo", "--demo-interval", "0"}) << Action::Fail
                                       << false << QStringLiteral("--demo-interval");
        QTest::newRow("seed without demo")
            << args({"--seed", "1"}) << Action::Fail << false << QStringLiteral("--demo");
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(bool, demo);
        QFETCH(QString, textContains);
        const ParsedCommandLine parsed = shell::parseCommandLine(arguments);
        QCOMPARE(parsed.action, action);
        if (action == Action::Run) {
            QCOMPARE(parsed.options.demo, demo);
        }
        QVERIFY2(parsed.text.contains(textContains), qPrintable(parsed.text));
    }

    void seedAndIntervalAreRead() {
        const auto parsed =
            shell::parseCommandLine({QStringLiteral("q"), QStringLiteral("--demo"),
                                     QStringLiteral("--seed"), QStringLiteral("4294967295"),
                                     QStringLiteral("--demo-interval"), QStringLiteral("250")});
        QCOMPARE(parsed.options.seed.value(), 4294967295u);
        QCOMPARE(parsed.options.demoIntervalMs, 250);
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
