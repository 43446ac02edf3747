#include <QMessageBox>
#include <QTest>

#include "test_window.h"

using testing::ClientEvent;
using testing::TestWindow;

namespace {

QString line(const char* email, const QString& text) {
    return QStringLiteral("[3:04:05 PM] <") + QString::fromLatin1(email) + QStringLiteral("> ") + text;
}

}  // namespace

class TestEventHandlers : public QObject {
    Q_OBJECT

private slots:
    void eachEventLogsItsLines() {
        const QString opened = QStringLiteral("Opened Window"), closed = QStringLiteral("Closed Window");
        const QList<QStringList> expected{
            {line("alex.moreau@example.com", QStringLiteral("Changed Name To: Alex"))},
            {line("alex.moreau@example.com", QStringLiteral("Changed Status To: Online"))},
            {line("alex.moreau@example.com", opened), line("dana.okafor@example.org", opened),
             line("gus.tavares@example.com", opened)},
            {line("alex.moreau@example.com", closed), line("dana.okafor@example.org", closed),
             line("gus.tavares@example.com", closed)},
            {line("sam.rivers@example.com", QStringLiteral("Name Changed To: Sam"))},
            {line("sam.rivers@example.com", QStringLiteral("Status Changed To: Online"))}};
        for (std::size_t i = 0; i < std::size(testing::kClientEvents); ++i) {
            TestWindow t;
            QVERIFY(t.load());
            testing::raise(t, testing::kClientEvents[i]);
            QCOMPARE(t.logLines().mid(1), expected[qsizetype(i)]);
            QCOMPARE(t.errors().errorCount(), 0);
        }
    }

    void anEmptyWindowLogsNothing() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().raiseIMWindowCreated(t.demo().makeWindow({}));
        QCOMPARE(t.logLines().size(), 1);
    }

    // What the contact says when asked, not what the event carried.
    void contactStatusIsReadBack() {
        TestWindow t;
        QVERIFY(t.load());
        const auto contact = t.demo().contacts()[0];
        contact->setStatus(messenger::MISTATUS_BUSY);
        t.demo().raiseContactStatusChange(contact, messenger::MISTATUS_AWAY);
        QCOMPARE(t.logLines().last(), line("alex.moreau@example.com", QStringLiteral("Changed Status To: Busy")));
    }

    void myNameChangeIsLoggedAndShownInTheCaption() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().changeMyFriendlyName(u"hAPPY Sunny");
        QCOMPARE(t.logLines().last(), line("sam.rivers@example.com", QStringLiteral("Name Changed To: Happy Sunny")));
        QCOMPARE(t.caption(), QStringLiteral("hAPPY Sunny (Online) - Quavel Logger"));
        QVERIFY(t.logLines().first().contains(QStringLiteral("Sam.Rivers@example.com")));
    }

    // Each command writes its code and nothing else; the line and the
    // caption come with the client's answer.
    void statusCommands() {
        for (const auto& command : testing::kStatusCommands) {
            TestWindow t;
            t.demo().setMyStatus(messenger::MISTATUS_IDLE);
            QVERIFY(t.load());
            t.choose(command.menuItem);
            QCOMPARE(t.demo().myStatus(), command.code);
            QCOMPARE(t.logLines().size(), 1);
            QCOMPARE(t.caption(), QStringLiteral("Sam (Idle) - Quavel Logger"));
            const QString text = QString::fromLatin1(command.text);
            QTRY_COMPARE(t.logLines().size(), 2);
            QCOMPARE(t.logLines().last(), line("sam.rivers@example.com", QStringLiteral("Status Changed To: ") + text));
            QCOMPARE(t.caption(), QStringLiteral("Sam (") + text + QStringLiteral(") - Quavel Logger"));
        }
    }

    void choosingTheCurrentStatusWritesItAgain() {
        TestWindow t;
        QVERIFY(t.load());
        t.choose("mnuOnline");
        QCOMPARE(t.demo().faults().callCount(messenger::demo::Call::SetMyStatus), 1u);
        QTRY_COMPARE(t.logLines().size(), 2);
    }

    // A null object, one of neither kind, and each kind passed as the other:
    // the handler fails at its first step, before any call.
    void objectsThatAreNotWhatTheEventSays() {
        TestWindow t;
        QVERIFY(t.load());
        auto& demo = t.demo();
        const std::shared_ptr<messenger::Object> foreign = std::make_shared<messenger::demo::DemoForeignObject>();
        demo.faults().recordCalls();
        for (const auto& object : {foreign, std::shared_ptr<messenger::Object>()}) {
            demo.raiseContactFriendlyNameChange(object);
            demo.raiseContactStatusChange(object, 2);
            demo.raiseIMWindowCreated(object);
            demo.raiseIMWindowDestroyed(object);
        }
        demo.raiseIMWindowCreated(demo.contacts()[0]);
        demo.raiseContactStatusChange(demo.makeWindow({}), 2);
        QVERIFY(demo.faults().recordedCalls().empty());
        QCOMPARE(t.logLines().size(), 1);
        QCOMPARE(t.errors().errorCount(), 10);
        QVERIFY(t.errors().lastError().startsWith(QStringLiteral("Error 0x80004002")));
    }

    void statusesAtAndPast16Bits() {
        for (const int status : {32767, -32768, 32768, -32769, std::numeric_limits<int>::max()}) {
            const bool fits = status >= -32768 && status <= 32767;
            TestWindow t;
            QVERIFY(t.load());
            t.demo().changeContactStatus(t.demo().contacts()[0], status);
            t.demo().changeMyStatus(status);
            QCOMPARE(t.logLines().size(), fits ? 3 : 1);
            QCOMPARE(t.errors().errorCount(), fits ? 0 : 2);
            const QString shown = QStringLiteral("(Unkown/Error") + QString::number(status) + u')';
            QCOMPARE(t.caption().contains(shown), fits);
            if (!fits) {
                QVERIFY(t.errors().lastError().startsWith(QStringLiteral("Error 0x8002000A")));
            }
        }
    }

    void noEventsAfterTheWindowCloses() {
        TestWindow t;
        QVERIFY(t.load());
        t.choose("mnuAway");
        t.window().close();
        testing::settle();
        t.demo().changeContactStatus(t.demo().contacts()[0], 34);
        QCOMPARE(t.logLines().size(), 1);
        QCOMPARE(t.errors().errorCount(), 0);
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
        QTRY_COMPARE(written.size(), 2);
        QCOMPARE(written, (QStringList{QStringLiteral("Quavel Logger: Error 5: Access denied (1000 times)"),
                                       QStringLiteral("Quavel Logger: Error 6: Overflow")}));
        QMessageBox* window = report.reportWindow();
        QVERIFY(window && window->isVisible() && !window->isModal());
        QVERIFY(window->text().contains(QStringLiteral("1001 failures")));
        QVERIFY(window->text().contains(QStringLiteral("Error 6: Overflow")));
        window->close();
        report.reportError(messenger::Error(7, u"Again"));
        QTRY_VERIFY(window->isVisible());
        QVERIFY(!window->text().contains(QStringLiteral("failures since")));
    }
};

QTEST_MAIN(TestEventHandlers)
#include "tst_event_handlers.moc"
