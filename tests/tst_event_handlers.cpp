#include <QMessageBox>
#include <QTest>

#include "test_window.h"

using messenger::demo::Call;
using messenger::demo::DemoContact;
using testing::TestWindow;
Q_DECLARE_METATYPE(messenger::demo::Call)

namespace {

const QString kStartLine =
    QStringLiteral("Quavel Wardel Loaded for Sam.Rivers@example.com on 12/6/26");

QString line(const QString& email, const QString& text) {
    return QStringLiteral("[3:04:05 PM] <") + email + QStringLiteral("> ") + text;
}

std::u16string u16(const char* text) {
    return QString::fromUtf8(text).toStdU16String();
}

// The events a test can raise, by name, on the demo client's first contacts.
enum class Event { ContactName, ContactStatus, WindowCreated, WindowDestroyed, MyName, MyStatus };

void raise(TestWindow& t, Event event) {
    auto& demo = t.demo();
    const auto& contacts = demo.contacts();
    switch (event) {
        case Event::ContactName:
            demo.raiseContactFriendlyNameChange(contacts[0]);
            break;
        case Event::ContactStatus:
            demo.raiseContactStatusChange(contacts[0], contacts[0]->status());
            break;
        case Event::WindowCreated:
            demo.raiseIMWindowCreated(demo.makeWindow({contacts[0], contacts[1]}));
            break;
        case Event::WindowDestroyed:
            demo.raiseIMWindowDestroyed(demo.makeWindow({contacts[0], contacts[1]}));
            break;
        case Event::MyName:
            demo.raiseMyFriendlyNameChange();
            break;
        case Event::MyStatus:
            demo.raiseMyStatusChange(0, demo.myStatus());
            break;
    }
}

}  // namespace
Q_DECLARE_METATYPE(Event)

class TestEventHandlers : public QObject {
    Q_OBJECT

private slots:
    void eachEventLogsItsLine_data() {
        QTest::addColumn<Event>("event");
        QTest::addColumn<QStringList>("lines");
        const QString alex = QStringLiteral("alex.moreau@example.com");
        const QString bea = QStringLiteral("bea.lindqvist@example.net");
        const QString sam = QStringLiteral("sam.rivers@example.com");
        QTest::newRow("contact name")
            << Event::ContactName
            << QStringList{line(alex, QStringLiteral("Changed Name To: Alex"))};
        QTest::newRow("contact status")
            << Event::ContactStatus
            << QStringList{line(alex, QStringLiteral("Changed Status To: Online"))};
        QTest::newRow("window created") << Event::WindowCreated
                                        << QStringList{line(alex, QStringLiteral("Opened Window")),
                                                       line(bea, QStringLiteral("Opened Window"))};
        QTest::newRow("window destroyed")
            << Event::WindowDestroyed
            << QStringList{line(alex, QStringLiteral("Closed Window")),
                           line(bea, QStringLiteral("Closed Window"))};
        QTest::newRow("my name") << Event::MyName
                                 << QStringList{line(sam, QStringLiteral("Name Changed To: Sam"))};
        QTest::newRow("my status")
            << Event::MyStatus
            << QStringList{line(sam, QStringLiteral("Status Changed To: Online"))};
    }
    void eachEventLogsItsLine() {
        QFETCH(Event, event);
        QFETCH(QStringList, lines);
        TestWindow t;
        QVERIFY(t.load());
        raise(t, event);
        QCOMPARE(t.logLines(), QStringList{kStartLine} + lines);
        QCOMPARE(t.errors().errorCount(), 0);
    }

    void windowLinesFollowTheCollectionsOrder() {
        TestWindow t;
        QVERIFY(t.load());
        const auto& c = t.demo().contacts();
        t.demo().raiseIMWindowCreated(t.demo().makeWindow({c[5], c[2], c[7]}));
        QCOMPARE(
            t.logLines(),
            (QStringList{
                kStartLine,
                line(QStringLiteral("fatima.haddad@example.net"), QStringLiteral("Opened Window")),
                line(QStringLiteral("chris_w@example.com"), QStringLiteral("Opened Window")),
                line(QStringLiteral("hana.kimura@example.org"), QStringLiteral("Opened Window"))}));
        t.demo().raiseIMWindowDestroyed(t.demo().makeWindow({}));
        QCOMPARE(t.logLines().size(), 4);
    }

    void contactStatusIsReadBackNotTakenFromTheEvent() {
        TestWindow t;
        QVERIFY(t.load());
        const auto contact = t.demo().contacts()[0];
        contact->setStatus(messenger::MISTATUS_BUSY);
        t.demo().raiseContactStatusChange(contact, messenger::MISTATUS_AWAY);
        QCOMPARE(t.logLines().last(), line(QStringLiteral("alex.moreau@example.com"),
                                           QStringLiteral("Changed Status To: Busy")));
    }

    void contactNameIsReadBackNotThePreviousName() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().changeContactName(t.demo().contacts()[2], u16("hAPPY dAYS"));
        QCOMPARE(t.logLines().last(), line(QStringLiteral("chris_w@example.com"),
                                           QStringLiteral("Changed Name To: Happy Days")));
    }

    void myNameChangeIsLoggedAndShownInTheCaption() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().changeMyFriendlyName(u16("Sunny"));
        QCOMPARE(t.logLines().last(), line(QStringLiteral("sam.rivers@example.com"),
                                           QStringLiteral("Name Changed To: Sunny")));
        QCOMPARE(t.caption(), QStringLiteral("Sunny (Online) - Quavel Logger"));
        QVERIFY(t.logLines().first().contains(QStringLiteral("Sam.Rivers@example.com")));
    }

    void statusCommands_data() {
        QTest::addColumn<QString>("menuItem");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("statusText");
        QTest::newRow("online") << QStringLiteral("mnuOnline") << 2 << QStringLiteral("Online");
        QTest::newRow("busy") << QStringLiteral("mnuBusy") << 10 << QStringLiteral("Busy");
        QTest::newRow("be right back")
            << QStringLiteral("mnuBeRightBack") << 14 << QStringLiteral("Be Right Back");
        QTest::newRow("away") << QStringLiteral("mnuAway") << 34 << QStringLiteral("Away");
        QTest::newRow("on the phone")
            << QStringLiteral("mnuOnThePhone") << 50 << QStringLiteral("On The Phone");
        QTest::newRow("out to lunch")
            << QStringLiteral("mnuOutToLunch") << 66 << QStringLiteral("Out To Lunch");
        QTest::newRow("offline") << QStringLiteral("mnuOffline") << 6
                                 << QStringLiteral("Appear Offline");
    }
    void statusCommands() {
        QFETCH(QString, menuItem);
        QFETCH(int, code);
        QFETCH(QString, statusText);
        TestWindow t;
        t.demo().setMyStatus(messenger::MISTATUS_IDLE);
        QVERIFY(t.load());
        t.choose(menuItem);
        QCOMPARE(t.demo().myStatus(), code);
        // The command itself writes nothing: the client's answer does.
        QCOMPARE(t.logLines().size(), 1);
        QCOMPARE(t.caption(), QStringLiteral("Sam (Idle) - Quavel Logger"));
        QTRY_COMPARE(t.logLines().size(), 2);
        QCOMPARE(t.logLines().last(), line(QStringLiteral("sam.rivers@example.com"),
                                           QStringLiteral("Status Changed To: ") + statusText));
        QCOMPARE(t.caption(),
                 QStringLiteral("Sam (") + statusText + QStringLiteral(") - Quavel Logger"));
    }

    void choosingTheCurrentStatusWritesItAgain() {
        TestWindow t;
        QVERIFY(t.load());
        t.choose(QStringLiteral("mnuOnline"));
        QCOMPARE(t.demo().faults().callCount(Call::SetMyStatus), 1u);
        QTRY_COMPARE(t.logLines().size(), 2);
        QCOMPARE(t.logLines().last(), line(QStringLiteral("sam.rivers@example.com"),
                                           QStringLiteral("Status Changed To: Online")));
    }

    // A failing call stops its handler before anything is logged; the error
    // is reported and the program goes on with its log as it was.
    void failureAtEachStep_data() {
        QTest::addColumn<Event>("event");
        QTest::addColumn<Call>("failing");
        QTest::addColumn<int>("skip");
        QTest::addColumn<int>("linesKept");  // lines the handler logged before failing
        QTest::newRow("contact name: sign-in name")
            << Event::ContactName << Call::ContactSigninName << 0 << 0;
        QTest::newRow("contact name: friendly name")
            << Event::ContactName << Call::ContactFriendlyName << 0 << 0;
        QTest::newRow("contact status: sign-in name")
            << Event::ContactStatus << Call::ContactSigninName << 0 << 0;
        QTest::newRow("contact status: status")
            << Event::ContactStatus << Call::ContactStatus << 0 << 0;
        QTest::newRow("window created: contacts")
            << Event::WindowCreated << Call::WindowContacts << 0 << 0;
        QTest::newRow("window created: count")
            << Event::WindowCreated << Call::ContactsCount << 0 << 0;
        QTest::newRow("window created: first item")
            << Event::WindowCreated << Call::ContactsItem << 0 << 0;
        QTest::newRow("window created: first name")
            << Event::WindowCreated << Call::ContactSigninName << 0 << 0;
        QTest::newRow("window created: second item")
            << Event::WindowCreated << Call::ContactsItem << 1 << 1;
        QTest::newRow("window created: second name")
            << Event::WindowCreated << Call::ContactSigninName << 1 << 1;
        QTest::newRow("window destroyed: contacts")
            << Event::WindowDestroyed << Call::WindowContacts << 0 << 0;
        QTest::newRow("window destroyed: count")
            << Event::WindowDestroyed << Call::ContactsCount << 0 << 0;
        QTest::newRow("window destroyed: second name")
            << Event::WindowDestroyed << Call::ContactSigninName << 1 << 1;
        QTest::newRow("my name: sign-in name") << Event::MyName << Call::MySigninName << 0 << 0;
        QTest::newRow("my name: friendly name") << Event::MyName << Call::MyFriendlyName << 0 << 0;
        QTest::newRow("my name: caption's friendly name")
            << Event::MyName << Call::MyFriendlyName << 1 << 1;
        QTest::newRow("my name: caption's status") << Event::MyName << Call::MyStatus << 0 << 1;
        QTest::newRow("my status: sign-in name") << Event::MyStatus << Call::MySigninName << 0 << 0;
        QTest::newRow("my status: status") << Event::MyStatus << Call::MyStatus << 0 << 0;
        QTest::newRow("my status: caption's friendly name")
            << Event::MyStatus << Call::MyFriendlyName << 0 << 1;
        QTest::newRow("my status: caption's status") << Event::MyStatus << Call::MyStatus << 1 << 1;
    }
    void failureAtEachStep() {
        QFETCH(Event, event);
        QFETCH(Call, failing);
        QFETCH(int, skip);
        QFETCH(int, linesKept);
        TestWindow t;
        QVERIFY(t.load());
        const QString caption = t.caption();
        t.demo().faults().failCall(failing, static_cast<std::int32_t>(0x80010108),
                                   u"The object invoked has disconnected from its clients.", skip);
        raise(t, event);
        QCOMPARE(t.logLines().size(), 1 + linesKept);
        QCOMPARE(t.caption(), caption);
        QCOMPARE(t.errors().errorCount(), 1);
        QCOMPARE(t.errors().lastError(),
                 QStringLiteral("Error 0x80010108 (-2147417848): The object invoked has "
                                "disconnected from its clients."));
        QTRY_COMPARE(t.errorLines().size(), 1);

        // Still running: the same event, with the fault gone, logs as usual.
        raise(t, event);
        QVERIFY(t.logLines().size() > 1 + linesKept);
        QCOMPARE(t.errors().errorCount(), 1);
    }

    void objectsThatAreNotWhatTheEventSays_data() {
        QTest::addColumn<Event>("event");
        QTest::newRow("contact name") << Event::ContactName;
        QTest::newRow("contact status") << Event::ContactStatus;
        QTest::newRow("window created") << Event::WindowCreated;
        QTest::newRow("window destroyed") << Event::WindowDestroyed;
    }
    void objectsThatAreNotWhatTheEventSays() {
        QFETCH(Event, event);
        for (const auto& object : {std::shared_ptr<messenger::Object>(
                                       std::make_shared<messenger::demo::DemoForeignObject>()),
                                   std::shared_ptr<messenger::Object>()}) {
            TestWindow t;
            QVERIFY(t.load());
            t.demo().faults().recordCalls();
            auto& demo = t.demo();
            switch (event) {
                case Event::ContactName:
                    demo.raiseContactFriendlyNameChange(object);
                    break;
                case Event::ContactStatus:
                    demo.raiseContactStatusChange(object, 2);
                    break;
                case Event::WindowCreated:
                    demo.raiseIMWindowCreated(object);
                    break;
                default:
                    demo.raiseIMWindowDestroyed(object);
                    break;
            }
            QCOMPARE(t.logLines().size(), 1);
            QCOMPARE(t.errors().errorCount(), 1);
            QVERIFY(t.demo().faults().recordedCalls().empty());  // failed at the first step
        }
        // A contact passed as a window, and a window as a contact.
        TestWindow t;
        QVERIFY(t.load());
        t.demo().raiseIMWindowCreated(t.demo().contacts()[0]);
        t.demo().raiseContactStatusChange(t.demo().makeWindow({}), 2);
        QCOMPARE(t.logLines().size(), 1);
        QCOMPARE(t.errors().errorCount(), 2);
        QVERIFY(t.errors().lastError().startsWith(QStringLiteral("Error 0x80004002")));
    }

    void statusesOutside16Bits_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("fits");
        QTest::newRow("16-bit maximum") << 32767 << true;
        QTest::newRow("16-bit minimum") << -32768 << true;
        QTest::newRow("one past the maximum") << 32768 << false;
        QTest::newRow("one past the minimum") << -32769 << false;
        QTest::newRow("32-bit maximum") << std::numeric_limits<int>::max() << false;
    }
    void statusesOutside16Bits() {
        QFETCH(int, status);
        QFETCH(bool, fits);
        TestWindow t;
        QVERIFY(t.load());
        const auto contact = t.demo().contacts()[0];
        t.demo().changeContactStatus(contact, status);
        t.demo().changeMyStatus(status);
        const int expectedLines = fits ? 3 : 1;
        QCOMPARE(t.logLines().size(), expectedLines);
        QCOMPARE(t.errors().errorCount(), fits ? 0 : 2);
        if (fits) {
            QVERIFY(t.logLines().last().endsWith(QStringLiteral("Unkown/error") +
                                                 QString::number(status)));
            QVERIFY(t.caption().contains(QStringLiteral("(Unkown/Error") + QString::number(status) +
                                         u')'));
        } else {
            QVERIFY(t.errors().lastError().startsWith(QStringLiteral("Error 0x8002000A")));
            QCOMPARE(t.caption(), QStringLiteral("Sam (Online) - Quavel Logger"));
        }
    }

    void refusedStatusCommandIsReported() {
        TestWindow t;
        QVERIFY(t.load());
        t.demo().faults().failCall(Call::SetMyStatus, static_cast<std::int32_t>(0x80070005),
                                   u"Access is denied.");
        t.choose(QStringLiteral("mnuAway"));
        QCOMPARE(t.errors().lastError(),
                 QStringLiteral("Error 0x80070005 (-2147024891): Access is denied."));
        QCOMPARE(t.demo().myStatus(), int(messenger::MISTATUS_ONLINE));
        QTest::qWait(10);
        QCOMPARE(t.logLines().size(), 1);
        t.choose(QStringLiteral("mnuAway"));
        QTRY_COMPARE(t.caption(), QStringLiteral("Sam (Away) - Quavel Logger"));
    }

    void noEventsAfterTheWindowCloses() {
        TestWindow t;
        QVERIFY(t.load());
        t.choose(QStringLiteral("mnuAway"));
        t.window().close();
        QTest::qWait(10);
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
        QVERIFY(report.reportWindow() && report.reportWindow()->isVisible());
        QCOMPARE(written,
                 (QStringList{QStringLiteral("Quavel Logger: Error 5: Access denied (1000 times)"),
                              QStringLiteral("Quavel Logger: Error 6: Overflow")}));
        QVERIFY(!report.reportWindow()->isModal());
        QVERIFY2(report.reportWindow()->text().contains(QStringLiteral("1001 failures")),
                 qPrintable(report.reportWindow()->text()));
        QVERIFY(report.reportWindow()->text().contains(QStringLiteral("Error 6: Overflow")));
        report.reportWindow()->close();
        report.reportError(messenger::Error(7, u"Again"));
        QTRY_VERIFY(report.reportWindow()->isVisible());
        QVERIFY(!report.reportWindow()->text().contains(QStringLiteral("failures since")));
    }
};

QTEST_MAIN(TestEventHandlers)
#include "tst_event_handlers.moc"
