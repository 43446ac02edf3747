// Faults injected through the demo client: every call a handler or command
// makes fails in turn, the client dies, objects are released, names are
// hostile, events come in storms. After start-up the program must keep
// running with every line it should have, none partial or forged, and
// report each failure with its number and description.
#include <QTest>

#include <malloc.h>

#include "test_window.h"

using messenger::demo::Call;
using testing::ClientEvent;
using testing::TestWindow;

namespace {

using testing::settle;

// Everything the program does at the client's behest: the six events and the
// seven status commands (with the client's answer).
std::vector<std::pair<QString, std::function<void(TestWindow&)>>> actions() {
    std::vector<std::pair<QString, std::function<void(TestWindow&)>>> list;
    for (const ClientEvent event : testing::kClientEvents) {
        list.emplace_back(QString::fromLatin1(testing::nameOf(event)),
                          [event](TestWindow& t) { testing::raise(t, event); });
    }
    for (const auto& command : testing::kStatusCommands) {
        const char* item = command.menuItem;
        list.emplace_back(QString::fromLatin1(item), [item](TestWindow& t) {
            t.choose(item);
            settle();
        });
    }
    return list;
}

QStringList eventLines(TestWindow& t) {
    return t.logLines().mid(1);
}

}  // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    // Every call each handler and command makes, failed in turn.
    void everyCallFailsInTurn() {
        int cases = 0;
        for (const auto& [name, run] : actions()) {
            TestWindow clean;
            QVERIFY(clean.load());
            clean.demo().faults().recordCalls();
            run(clean);
            settle();
            const std::vector<Call> calls = clean.demo().faults().recordedCalls();
            const QStringList cleanLines = eventLines(clean);
            QVERIFY2(!calls.empty() && !cleanLines.isEmpty(), qPrintable(name));

            for (std::size_t k = 0; k < calls.size(); ++k) {
                const int skip = int(std::count(calls.begin(), calls.begin() + std::ptrdiff_t(k), calls[k]));
                TestWindow t;
                QVERIFY(t.load());
                const QString caption = t.caption();
                t.demo().faults().failCall(calls[k], static_cast<std::int32_t>(0x80004005), u"Injected failure.", skip);
                run(t);
                settle();
                const QString where = name + QStringLiteral(", call %1").arg(k);
                const QStringList lines = eventLines(t);
                // Only whole lines, those logged before the failing call.
                QVERIFY2(cleanLines.mid(0, lines.size()) == lines, qPrintable(where));
                QCOMPARE(t.errors().errorCount(), 1);
                QCOMPARE(t.errors().lastError(), QStringLiteral("Error 0x80004005 (-2147467259): Injected failure."));
                // Still running: the same again, without the fault, logs in full.
                run(t);
                settle();
                QVERIFY2(eventLines(t).mid(lines.size()) == cleanLines, qPrintable(where));
                QVERIFY(t.window().isAttached());
                ++cases;
            }
        }
        qInfo("fault cases: %d", cases);
        QVERIFY(cases >= 40);
    }

    void theClientDies() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().changeContactStatus(t.demo().contacts()[0], 34);
        const QStringList before = t.logLines();
        t.demo().crash();
        t.demo().changeContactStatus(t.demo().contacts()[0], 2);  // never arrives
        t.choose("mnuBusy");
        t.choose("mnuAway");
        settle();
        QCOMPARE(t.logLines(), before);
        QCOMPARE(t.errors().errorCount(), 2);
        QCOMPARE(t.errors().lastError(),
                 QStringLiteral("Error 0x800706BA (-2147023174): The RPC server is unavailable."));
        QTRY_COMPARE(t.errorLines(), QStringList{QStringLiteral("Quavel Logger: Error 0x800706BA (-2147023174): "
                                                                "The RPC server is unavailable. (2 times)")});
        t.choose("mnuClearLog");  // the window still answers
        QCOMPARE(t.logText(), QString());
        QVERIFY(t.window().close());
    }

    void eventsForReleasedObjects() {
        TestWindow t;
        QVERIFY(t.load());
        const auto contact = t.demo().contacts()[3];
        const auto window = t.demo().makeWindow({t.demo().contacts()[0], contact});
        contact->release();
        t.demo().raiseContactStatusChange(contact, 34);
        t.demo().raiseContactFriendlyNameChange(contact);
        t.demo().raiseIMWindowDestroyed(window);
        QCOMPARE(t.logLines().size(), 2);  // the window's first contact only
        QCOMPARE(t.errors().errorCount(), 3);
        QVERIFY(t.errors().lastError().startsWith(QStringLiteral("Error 0x80010108")));
    }

    void hostileNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        const QString fffd(QChar::ReplacementCharacter);
        QTest::newRow("embedded NULs") << QStringLiteral("a") + QChar(0) + QStringLiteral("b")
                                       << QStringLiteral("A") + fffd + QStringLiteral("b");
        QTest::newRow("lone surrogates") << QString(QChar(0xD83D)) + QStringLiteral("x") + QChar(0xDE00)
                                         << fffd + QStringLiteral("x") + fffd;
        QTest::newRow("right-to-left override") << QStringLiteral("admin") + QChar(0x202E) + QStringLiteral("txt.exe")
                                                << QStringLiteral("Admin") + fffd + QStringLiteral("txt.exe");
        QTest::newRow("forged line") << QStringLiteral("x\r\n[1:02:03 AM] <boss@example.com> Changed Status To: Online")
                                     << QStringLiteral("X  [1:02:03 Am] <boss@example.com> Changed Status To: Online");
        QTest::newRow("a megabyte") << QString(512 * 1024, u'm') << QStringLiteral("M") + QString(512 * 1024 - 1, u'm');
    }
    void hostileNames() {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        const auto contact = t.demo().contacts()[0];
        t.demo().changeContactName(contact, name.toStdU16String());
        contact->setSigninName(name.toStdU16String());
        t.demo().changeContactStatus(contact, 34);
        t.demo().changeMyFriendlyName(name.toStdU16String());
        settle();
        const QStringList lines = t.logLines();
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[1], QStringLiteral("[3:04:05 PM] <alex.moreau@example.com> Changed Name To: ") + shown);
        QVERIFY(lines[2].endsWith(QStringLiteral("> Changed Status To: Away")));
        QVERIFY(!lines[2].contains(u'\n') && !lines[2].contains(QChar(0x202E)));
        QVERIFY(!t.caption().contains(u'\n') && !t.caption().contains(QChar(0x202E)));
        QCOMPARE(t.errors().errorCount(), 0);
    }

    // 100,000 events: every line logged, in order; an error storm of the
    // same size is counted, not piled up; memory goes back afterwards.
    void storms() {
        TestWindow t;
        QVERIFY(t.load());
        t.window().show();
        settle();
        malloc_trim(0);
        const qint64 before = resident();
        const auto& contacts = t.demo().contacts();
        for (int i = 0; i < 100'000; ++i) {
            t.demo().changeContactStatus(contacts[std::size_t(i) % contacts.size()], i % 2 ? 34 : 2);
        }
        settle();
        QCOMPARE(t.log().lineCount(), 100'001);
        QVERIFY(t.logLines().last().endsWith(QStringLiteral("Changed Status To: Away")));

        t.demo().faults().failCall(Call::ContactStatus, 5, u"Access is denied.", 0, 0);
        for (int i = 0; i < 100'000; ++i) {
            t.demo().raiseContactStatusChange(contacts[0], 2);
        }
        settle();
        QCOMPARE(t.log().lineCount(), 100'001);
        QCOMPARE(t.errors().errorCount(), 100'000);
        QTRY_COMPARE(t.errorLines().size(), 1);
        QCOMPARE(t.errorLines().first(), QStringLiteral("Quavel Logger: Error 5: Access is denied. (100000 times)"));

        t.choose("mnuClearLog");
        settle();
        malloc_trim(0);
        const qint64 grown = resident() - before;
#ifdef __SANITIZE_ADDRESS__
        // AddressSanitizer keeps freed memory in quarantine on purpose.
        qInfo("not checked under AddressSanitizer: %lld bytes kept", static_cast<long long>(grown));
#else
        QVERIFY2(grown < 8 * 1024 * 1024, qPrintable(QStringLiteral("%1 bytes kept").arg(grown)));
#endif
    }

private:
    static qint64 resident() {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly)) {
            return 0;
        }
        return statm.readAll().split(' ').value(1).toLongLong() * 4096;
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
