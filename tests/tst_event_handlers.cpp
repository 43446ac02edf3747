#include <QMessageBox>
#include <QTest>

#include "messenger/demo/demo_life.h"
#include "shell/status_commands.h"
#include "shell/status_names.h"
#include "support/test_window.h"

using testsupport::ClientEvent;
using testsupport::TestWindow;
using namespace Qt::StringLiterals;
Q_DECLARE_METATYPE(ClientEvent)

class TestEventHandlers : public QObject {
    Q_OBJECT

private slots:
    // One line an event, or a line a contact in the conversation; the user's
    // own sign-in name in lower case, unlike in the start-up line.
    void eachEventLogsItsLines_data() {
        QTest::addColumn<ClientEvent>("event");
        QTest::addColumn<QString>("lines");
        const char* opened =
            "alex.moreau@example.com> Opened Window|dana.okafor@example.org> Opened Window|"
            "gus.tavares@example.com> Opened Window";
        const struct {
            ClientEvent event;
            QString lines;
        } rows[] = {
            {ClientEvent::ContactName, u"alex.moreau@example.com> Changed Name To: Alex"_s},
            {ClientEvent::ContactStatus, u"alex.moreau@example.com> Changed Status To: Online"_s},
            {ClientEvent::Opened, QString::fromLatin1(opened)},
            {ClientEvent::Closed, QString::fromLatin1(opened).replace(u"Opened"_s, u"Closed"_s)},
            {ClientEvent::MyName, u"sam.rivers@example.com> Name Changed To: Sam"_s},
            {ClientEvent::MyStatus, u"sam.rivers@example.com> Status Changed To: Online"_s},
        };
        for (const auto& row : rows) {
            QTest::newRow(testsupport::kClientEvents[int(row.event)].first) << row.event << row.lines;
        }
    }
    void eachEventLogsItsLines() {
        QFETCH(ClientEvent, event);
        QFETCH(QString, lines);
        TestWindow t;
        QVERIFY(t.load());
        testsupport::raise(t, event);
        QCOMPARE(t.logLines().mid(1).join(u'|'), u"[3:04:05 PM] <"_s + lines.replace(u"|"_s, u"|[3:04:05 PM] <"_s));
        QCOMPARE(t.errors().errorCount(), 0);
    }

    void anEmptyWindowLogsNothing() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().raiseConversationOpened(t.demo().makeWindow({}));
        QCOMPARE(t.logLines().size(), 1);
    }

    void myNameChangeIsLoggedAndShownInTheCaption() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().changeMyFriendlyName(u"hAPPY Sunny");
        QCOMPARE(t.logLines().last(), u"[3:04:05 PM] <sam.rivers@example.com> Name Changed To: Happy Sunny"_s);
        QCOMPARE(t.caption(), QStringLiteral("hAPPY Sunny (Online) - Quavel Logger"));
    }

    // Each command asks for its code and writes nothing; the line and the
    // caption come with the client's answer. Asking for the status already
    // set asks again.
    void statusCommands_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("before");
        for (int i = 0; i < int(std::size(shell::kStatusCommands)); ++i) {
            QTest::newRow(shell::kStatusCommands[i].objectName) << i << int(messenger::status::kIdle);
        }
        QTest::newRow("the status already set") << 0 << int(messenger::status::kOnline);
    }
    void statusCommands() {
        QFETCH(int, command);
        QFETCH(int, before);
        const shell::StatusCommand& chosen = shell::kStatusCommands[command];
        TestWindow t;
        t.demo().setMyStatus(before);
        QVERIFY(t.load());
        const QString caption = t.caption();
        t.choose(chosen.objectName);
        QCOMPARE(t.demo().myStatus(), chosen.status);
        QCOMPARE(t.logLines().size(), 1);
        QCOMPARE(t.caption(), caption);
        const QString text = shell::statusText(std::int16_t(chosen.status));
        QTRY_COMPARE(t.logLines().size(), 2);
        QCOMPARE(t.logLines().last(), u"[3:04:05 PM] <sam.rivers@example.com> Status Changed To: "_s + text);
        QCOMPARE(t.caption(), QStringLiteral("Sam (") + text + QStringLiteral(") - Quavel Logger"));
    }

    void statusesAtAndPast16Bits_data() {
        QTest::addColumn<int>("status");
        for (const int status : {32767, -32768, 32768, -32769, std::numeric_limits<int>::max()}) {
            QTest::addRow("%d", status) << status;
        }
    }
    void statusesAtAndPast16Bits() {
        QFETCH(int, status);
        const bool fits = status >= -32768 && status <= 32767;
        TestWindow t;
        QVERIFY(t.load());
        t.demo().changeContactStatus(t.demo().contacts()[0], status);
        t.demo().changeMyStatus(status);
        QCOMPARE(t.logLines().size(), fits ? 3 : 1);
        QCOMPARE(t.errors().errorCount(), fits ? 0 : 2);
        QCOMPARE(t.caption().contains(QStringLiteral("(Unkown/Error%1)").arg(status)), fits);
        if (!fits) {
            QVERIFY(t.errors().lastError().startsWith(QStringLiteral("Error 0x8002000A")));
        }
    }

    // The simulated client's story depends on its seed alone.
    void demoStoryReplaysFromASeed() {
        auto story = [](std::uint32_t seed) {
            TestWindow t;
            [&] { QVERIFY(t.load()); }();
            messenger::demo::DemoLife life(std::shared_ptr<messenger::demo::DemoService>(&t.demo(), [](auto*) {}), seed,
                                           1000);
            for (int i = 0; i < 60; ++i) {
                life.step();
            }
            return t.logLines();
        };
        const QStringList first = story(7);
        QVERIFY(first.size() > 40);
        QCOMPARE(story(7), first);
        QVERIFY(story(8) != first);
    }

    // A burst of failures gives one report window, counting, and one line
    // on standard error per run of the same error.
    void burstOfFailuresGivesOneReport() {
        QStringList written;
        shell::ErrorReport report(true, [&](const QString& l) { written << l; });
        for (int i = 0; i < 1000; ++i) {
            report.reportError(messenger::Error(5, u"Access denied"));
        }
        report.reportError(messenger::Error(6, u"Overflow"));
        QTRY_COMPARE(written, (QStringList{QStringLiteral("Quavel Logger: Error 5: Access denied (1000 times)"),
                                           QStringLiteral("Quavel Logger: Error 6: Overflow")}));
        QMessageBox* window = report.reportWindow();
        QVERIFY(window && window->isVisible() && !window->isModal());
        QVERIFY(window->text().contains(QStringLiteral("1001 problems")));
        QVERIFY(window->text().contains(QStringLiteral("Error 6: Overflow")));
        window->close();
        report.reportError(messenger::Error(7, u"Again"));
        QTRY_VERIFY(window->isVisible());
        QVERIFY(!window->text().contains(QStringLiteral("since this message")));
    }
};

QTEST_MAIN(TestEventHandlers)
#include "tst_event_handlers.moc"
