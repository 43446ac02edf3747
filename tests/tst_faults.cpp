// Faults injected around the demo client: every call a handler or command
// makes fails in turn, the client dies, events come in storms. After
// start-up the program must keep running with every line it should have,
// none partial, and report each failure with its number and description.
#include <QTest>

#include "shell/status_commands.h"
#include "support/test_window.h"

using testsupport::ClientEvent;
using testsupport::settle;
using testsupport::TestWindow;

namespace {

using Action = std::function<void(TestWindow&)>;

QStringList eventLines(TestWindow& t) {
    return t.logLines().mid(1);
}

}  // namespace

Q_DECLARE_METATYPE(Action)

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    // Everything the program does at the client's behest: the six events
    // and the seven status commands (with the client's answer).
    void everyCallFailsInTurn_data() {
        QTest::addColumn<Action>("run");
        for (const auto& [name, event] : testsupport::kClientEvents) {
            QTest::newRow(name) << Action([event = event](TestWindow& t) { testsupport::raise(t, event); });
        }
        for (const auto& command : shell::kStatusCommands) {
            QTest::newRow(command.objectName) << Action([item = command.objectName](TestWindow& t) {
                t.choose(item);
                settle();
            });
        }
    }
    void everyCallFailsInTurn() {
        QFETCH(Action, run);
        TestWindow clean;
        QVERIFY(clean.load());
        const int before = clean.faults().callCount();
        run(clean);
        settle();
        const int calls = clean.faults().callCount() - before;
        const QStringList cleanLines = eventLines(clean);
        QVERIFY(calls > 0 && !cleanLines.isEmpty());

        for (int k = 0; k < calls; ++k) {
            TestWindow t;
            QVERIFY(t.load());
            t.faults().failCall(k, static_cast<std::int32_t>(0x80004005), u"Injected failure.");
            run(t);
            settle();
            const QStringList lines = eventLines(t);
            // Only whole lines, those logged before the failing call.
            QVERIFY2(cleanLines.mid(0, lines.size()) == lines, qPrintable(QString::number(k)));
            QCOMPARE(t.errors().errorCount(), 1);
            QCOMPARE(t.errors().lastError(), QStringLiteral("Error 0x80004005 (-2147467259): Injected failure."));
            // Still running: the same again, without the fault, logs in full.
            run(t);
            settle();
            QVERIFY2(eventLines(t).mid(lines.size()) == cleanLines, qPrintable(QString::number(k)));
        }
    }

    // Any failure while starting is reported and leaves no window and no
    // start-up line; the caller then ends the program.
    void startUpFailures() {
        TestWindow clean;
        QVERIFY(clean.load());
        for (int k = 0; k <= clean.faults().callCount(); ++k) {
            TestWindow t;
            const bool pastCalls = k == clean.faults().callCount();
            if (pastCalls) {
                t.demo().setMyStatus(70000);
            } else {
                t.faults().failCall(k, static_cast<std::int32_t>(0x8000FFFF), u"Catastrophic failure");
            }
            QVERIFY(!t.load());
            QCOMPARE(t.errorLines(),
                     QStringList{pastCalls ? QStringLiteral("Quavel Logger: Error 0x8002000A (-2147352566): "
                                                            "Status code 70000 does not fit in a 16-bit status.")
                                           : QStringLiteral("Quavel Logger: Error 0x8000FFFF "
                                                            "(-2147418113): Catastrophic failure")});
            QVERIFY(!t.window().isVisible());
            QVERIFY(!t.logText().startsWith(QStringLiteral("Quavel Wardel")));
        }
    }

    void theClientDies() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().changeContactStatus(t.demo().contacts()[0], 34);
        const QStringList before = t.logLines();
        t.faults().crash();
        t.demo().changeContactStatus(t.demo().contacts()[0], 2);  // never arrives
        t.choose("mnuBusy");
        t.choose("mnuAway");
        settle();
        QCOMPARE(t.logLines(), before);
        QTRY_COMPARE(t.errorLines(), QStringList{QStringLiteral("Quavel Logger: Error 0x800706BA (-2147023174): "
                                                                "The RPC server is unavailable. (2 times)")});
        t.choose("mnuClearLog");  // the window still answers
        QCOMPARE(t.logText(), QString());
        QVERIFY(t.window().close());
    }

    // 100,000 events: every line logged, in order.
    void storms() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        const auto& contacts = t.demo().contacts();
        for (int i = 0; i < 100'000; ++i) {
            t.demo().changeContactStatus(contacts[std::size_t(i) % contacts.size()], i % 2 ? 34 : 2);
        }
        settle();
        QCOMPARE(t.log().lineCount(), 100'001);
        QVERIFY(t.logLines().last().endsWith(QStringLiteral("Changed Status To: Away")));
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
