#include <QTest>

#include "shell/command_line.h"

using Action = shell::ParsedCommandLine::Action;
Q_DECLARE_METATYPE(Action)

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("textContains");
        const struct {
            const char* arguments;
            Action action;
            const char* textContains;
        } rows[] = {
            {"", Action::Run, ""},
            {"--demo --seed 4294967295 --demo-interval 250", Action::Run, ""},
            {"--help", Action::ShowHelp, "Usage: quavel-logger [options]"},
            {"-v", Action::ShowVersion, "Quavel Logger 1.00"},
            {"--bogus", Action::Fail, "Unknown option 'bogus'"},
            {"file.txt", Action::Fail, "Unexpected argument 'file.txt'"},
            {"--demo --seed x", Action::Fail, "--seed needs a whole number"},
            {"--demo --demo-interval 0", Action::Fail, "--demo-interval needs a number"},
            {"--seed 1", Action::Fail, "only apply with --demo"},
            // A client binding's own option.
            {"--account alice@example.org", Action::Run, ""},
            {"--account", Action::Fail, "Missing value after '--account'"},
            {"--demo --account a@b", Action::Fail, "--account needs an account name and does not apply with --demo"},
            // The report, of the chosen binding or of those tried in turn.
            {"-h", Action::ShowHelp, "--diagnose-seconds <n>"},
            {"--diagnose --demo --diagnose-names --diagnose-seconds 3600", Action::Run, ""},
            {"--diagnose --diagnose-seconds 0", Action::Fail,
             "--diagnose-seconds needs a whole number of seconds from 1 to 3600, not '0'"},
            {"--diagnose --diagnose-seconds 3601", Action::Fail, "from 1 to 3600, not '3601'"},
            {"--demo --diagnose-names", Action::Fail, "--diagnose-names only applies with --diagnose"},
            {"--diagnose-seconds 5", Action::Fail, "--diagnose-seconds only applies with --diagnose"},
            {"--diagnose --log-file x", Action::Fail, "--log-file does not apply with --diagnose"},
        };
        for (const auto& row : rows) {
            QTest::newRow(row.arguments) << QString::fromLatin1(row.arguments) << row.action
                                         << QString::fromLatin1(row.textContains);
        }
    }
    void parse() {
        QFETCH(QString, arguments);
        QFETCH(Action, action);
        QFETCH(QString, textContains);
        // The demo binding, chosen with --demo, and one tried in turn with an option.
        std::vector<messenger::Binding> bindings;
        std::copy_if(messenger::builtInBindings().begin(), messenger::builtInBindings().end(),
                     std::back_inserter(bindings), [](const auto& b) { return !b.choice.name.empty(); });
        bindings.push_back({.options = {{u"account", u"name", u"The account.", u"an account name"}}});
        const auto parsed = shell::parseCommandLine(
            QStringList{QStringLiteral("/usr/bin/quavel-logger")} + arguments.split(u' ', Qt::SkipEmptyParts),
            bindings);
        QCOMPARE(parsed.action, action);
        QVERIFY2(parsed.text.contains(textContains), qPrintable(parsed.text));
        if (action == Action::Fail) {
            QVERIFY(parsed.text.contains(QStringLiteral("--help")));  // says what to do
        }
        if (arguments.contains(QStringLiteral("4294967295"))) {
            QCOMPARE(parsed.options.chosenBinding, std::optional<std::size_t>(0));
            QVERIFY(parsed.options.clientSettings ==
                    messenger::BindingSettings({{u"seed", u"4294967295"}, {u"demo-interval", u"250"}}));
        }
        QCOMPARE(parsed.options.diagnosis.has_value(), action == Action::Run && arguments.startsWith(u"--diagnose"));
        if (arguments.contains(QStringLiteral("3600")) && action == Action::Run) {
            QCOMPARE(parsed.options.diagnosis->watchFor, std::chrono::seconds(3600));
            QVERIFY(parsed.options.diagnosis->showNames);
            QCOMPARE(parsed.options.chosenBinding, std::optional<std::size_t>(0));
        }
        if (action == Action::Run && arguments.startsWith(QStringLiteral("--account"))) {
            QVERIFY(parsed.options.clientSettings == messenger::BindingSettings({{u"account", u"alice@example.org"}}));
        }
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
