// The libpurple binding against a fake libpurple service on a private bus:
// what the real client rarely does on demand (handles gone, malformed
// replies and signals, the client vanishing), and the status mapping.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QTest>
#include <QThread>

#include <functional>
#include <thread>

#include "purple/purple_bus.h"
#include "purple/purple_client.h"
#include "purple/purple_status.h"

using namespace messenger;
namespace purple = messenger::purple;

namespace {

// Answers libpurple's methods from a small table of objects. Lives on a
// thread of its own, so the binding's blocking calls get their answers.
class FakePurple : public QDBusVirtualObject {
public:
    QMutex mutex;
    QHash<QString, QVariant> replies;  // method (or method:first argument) -> reply
    QHash<QString, QString> failures;  // method -> D-Bus error name
    QStringList calls;
    QString vanishOn;  // a call the service never answers: it leaves the bus instead
    std::function<void()> leaveBus;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QMutexLocker lock(&mutex);
        const QString method = message.member();
        const QString first = message.arguments().value(0).toString();
        calls << method + u'(' + first + u')';
        if (method == vanishOn) {
            leaveBus();
            return true;
        }
        if (failures.contains(method)) {
            connection.send(message.createErrorReply(failures.value(method), QStringLiteral("as you asked")));
            return true;
        }
        const QString keyed = method + u':' + first;
        const QVariant reply = replies.value(replies.contains(keyed) ? keyed : method);
        connection.send(reply.isValid() ? message.createReply(reply) : message.createReply());
        return true;
    }
};

// Records what reaches the program, one word per event.
class RecordingSink final : public EventSink {
public:
    QStringList events;
    void OnContactFriendlyNameChange(std::int32_t, const std::shared_ptr<Object>& c, const std::u16string&) override {
        events << QStringLiteral("name:") + QString::fromStdU16String(asContact(c)->SigninName());
    }
    void OnContactStatusChange(const std::shared_ptr<Object>& c, std::int32_t status) override {
        events << QStringLiteral("status:%1:%2").arg(QString::fromStdU16String(asContact(c)->SigninName())).arg(status);
    }
    void OnIMWindowCreated(const std::shared_ptr<Object>& w) override {
        events << QStringLiteral("opened:") + members(w);
    }
    void OnIMWindowDestroyed(const std::shared_ptr<Object>& w) override {
        events << QStringLiteral("closed:") + members(w);
    }
    void OnMyFriendlyNameChange(std::int32_t, const std::u16string&) override { events << QStringLiteral("my name"); }
    void OnMyStatusChange(std::int32_t, std::int32_t status) override {
        events << QStringLiteral("my status:%1").arg(status);
    }
    void OnClientError(const Error& error) override {
        events << QStringLiteral("error:%1").arg(static_cast<quint32>(error.number()), 0, 16);
    }

private:
    static QString members(const std::shared_ptr<Object>& window) {
        const auto contacts = asConversationWindow(window)->Contacts();
        QStringList names;
        for (std::int32_t i = 0; i < contacts->Count(); ++i) {
            names << QString::fromStdU16String(contacts->Item(i)->SigninName());
        }
        return names.join(u',');
    }
};

}  // namespace

class TestPurple : public QObject {
    Q_OBJECT

    FakePurple fake_;
    QThread serviceThread_;
    QDBusConnection service_ =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-purple"));

    void set(const QString& method, const QVariant& reply) {
        QMutexLocker lock(&fake_.mutex);
        fake_.replies.insert(method, reply);
    }
    void fail(const QString& method, const QString& error) {
        QMutexLocker lock(&fake_.mutex);
        fake_.failures.insert(method, error);
    }
    QStringList calls() {
        QMutexLocker lock(&fake_.mutex);
        return std::exchange(fake_.calls, {});
    }
    void signal(const QString& name, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createSignal(purple::kPath, purple::kInterface, name);
        message.setArguments(arguments);
        service_.send(message);
    }
    // Attaches, then waits for one answer: the bus daemon takes the
    // binding's messages in order, so its signal subscriptions are in place.
    std::unique_ptr<Client> attached(EventSink& sink) {
        auto client = purple::connect(sink, QString());
        client->MyFriendlyName();
        return client;
    }

    // alice (account 10, presence 11, status 12, type 13) with buddy bob (20,
    // presence 21, status 22, type 23).
    void reset(int myPrimitive = purple::kAvailable, const QString& myMessage = {}) {
        QMutexLocker lock(&fake_.mutex);
        fake_.failures.clear();
        fake_.calls.clear();
        fake_.replies = {
            {QStringLiteral("PurpleAccountsGetAllActive"), QVariant(QVariant::fromValue(QList<int>{10}))},
            {QStringLiteral("PurpleAccountIsConnected"), QVariant(1)},
            {QStringLiteral("PurpleAccountGetUsername"), QVariant(QStringLiteral("alice@example.org/laptop"))},
            {QStringLiteral("PurpleAccountGetAlias"), QVariant(QStringLiteral("Alice"))},
            {QStringLiteral("PurpleAccountGetPresence"), QVariant(11)},
            {QStringLiteral("PurpleBuddyGetPresence"), QVariant(21)},
            {QStringLiteral("PurplePresenceGetActiveStatus:11"), QVariant(12)},
            {QStringLiteral("PurplePresenceGetActiveStatus:21"), QVariant(22)},
            {QStringLiteral("PurpleStatusGetType:12"), QVariant(13)},
            {QStringLiteral("PurpleStatusGetType:22"), QVariant(23)},
            {QStringLiteral("PurpleStatusTypeGetPrimitive:13"), QVariant(myPrimitive)},
            {QStringLiteral("PurpleStatusTypeGetPrimitive:23"), QVariant(int(purple::kAway))},
            {QStringLiteral("PurpleStatusGetAttrString:12"), QVariant(myMessage)},
            {QStringLiteral("PurpleStatusGetAttrString:22"), QVariant(QString())},
            {QStringLiteral("PurplePresenceIsIdle"), QVariant(0)},
            {QStringLiteral("PurpleFindBuddies"), QVariant(QVariant::fromValue(QList<int>{20}))},
            {QStringLiteral("PurpleFindBuddy"), QVariant(20)},
            {QStringLiteral("PurpleBuddyGetAccount"), QVariant(10)},
            {QStringLiteral("PurpleBuddyGetName"), QVariant(QStringLiteral("bob@example.org"))},
            {QStringLiteral("PurpleBuddyGetAlias"), QVariant(QStringLiteral("Bob"))},
            {QStringLiteral("PurpleBlistNodeGetType"), QVariant(2)},
            {QStringLiteral("PurpleGetConversations"), QVariant(QVariant::fromValue(QList<int>{}))},
            {QStringLiteral("PurpleConversationGetAccount"), QVariant(10)},
            {QStringLiteral("PurpleConversationGetType"), QVariant(1)},
            {QStringLiteral("PurpleConversationGetName"), QVariant(QStringLiteral("bob@example.org/phone"))},
            {QStringLiteral("PurpleAccountGetStatusTypeWithPrimitive"), QVariant(0)},
            {QStringLiteral("PurpleSavedstatusFindTransientByTypeAndMessage"), QVariant(0)},
            {QStringLiteral("PurpleSavedstatusNew"), QVariant(40)},
        };
    }

private slots:
    void initTestCase() {
        qDBusRegisterMetaType<QList<int>>();
        QVERIFY2(service_.isConnected(), "no session bus: run under dbus-run-session");
        serviceThread_.start();
        fake_.moveToThread(&serviceThread_);
        QVERIFY(service_.registerVirtualObject(purple::kPath, &fake_));
        QVERIFY(service_.registerService(purple::kService));
    }

    void attachesAndReads_data() {
        QTest::addColumn<int>("primitive");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("status");
        QTest::newRow("available") << int(purple::kAvailable) << QString() << 2;
        QTest::newRow("do not disturb") << int(purple::kUnavailable) << QStringLiteral("meeting") << 10;
        QTest::newRow("on the phone") << int(purple::kUnavailable) << QStringLiteral(" on the PHONE ") << 50;
        QTest::newRow("away") << int(purple::kAway) << QString() << 34;
        QTest::newRow("extended away, be right back")
            << int(purple::kExtendedAway) << QStringLiteral("Be Right Back") << 14;
        QTest::newRow("away, out to lunch") << int(purple::kAway) << QStringLiteral("Out To Lunch") << 66;
        QTest::newRow("invisible") << int(purple::kInvisible) << QString() << 6;
        QTest::newRow("offline") << int(purple::kOffline) << QString() << 1;
    }
    void attachesAndReads() {
        QFETCH(int, primitive);
        QFETCH(QString, message);
        QFETCH(int, status);
        reset(primitive, message);
        RecordingSink sink;
        const auto client = purple::connect(sink, QString());
        QCOMPARE(client->MySigninName(), u"alice@example.org");
        QCOMPARE(client->MyFriendlyName(), u"Alice");
        QCOMPARE(client->MyStatus(), status);
    }

    // Each status is set as the client's own status box sets it, and the
    // one this service cannot take is refused with a clear error.
    void setsStatuses() {
        reset();
        RecordingSink sink;
        const auto client = purple::connect(sink, QString());
        calls();
        client->SetMyStatus(MISTATUS_BE_RIGHT_BACK);
        QCOMPARE(calls(), (QStringList{QStringLiteral("PurpleSavedstatusFindTransientByTypeAndMessage(5)"),
                                       QStringLiteral("PurpleSavedstatusNew()"),
                                       QStringLiteral("PurpleSavedstatusSetMessage(40)"),
                                       QStringLiteral("PurpleSavedstatusActivate(40)")}));
        set(QStringLiteral("PurpleSavedstatusFindTransientByTypeAndMessage"), 41);
        client->SetMyStatus(MISTATUS_BUSY);
        QCOMPARE(calls().last(), QStringLiteral("PurpleSavedstatusActivate(41)"));
        try {
            client->SetMyStatus(MISTATUS_INVISIBLE);
            QFAIL("appearing offline was not refused");
        } catch (const Error& error) {
            QCOMPARE(error.number(), purple::errc::kNotSupported);
        }
        QVERIFY(!calls().join(u' ').contains(QStringLiteral("Activate")));
    }

    void failuresBecomeErrors_data() {
        QTest::addColumn<QString>("dbusError");
        QTest::addColumn<int>("number");
        QTest::newRow("handle gone") << QStringLiteral("im.pidgin.purple.InvalidHandle")
                                     << purple::errc::kInvalidHandle;
        QTest::newRow("no such service") << QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown")
                                         << purple::errc::kClientGone;
        QTest::newRow("anything else") << QStringLiteral("org.example.Odd") << purple::errc::kBusFailure;
    }
    void failuresBecomeErrors() {
        QFETCH(QString, dbusError);
        QFETCH(int, number);
        reset();
        RecordingSink sink;
        const auto client = purple::connect(sink, QString());
        fail(QStringLiteral("PurpleAccountGetAlias"), dbusError);
        try {
            client->MyFriendlyName();
            QFAIL("no error");
        } catch (const Error& error) {
            QCOMPARE(error.number(), number);
            QCOMPARE(QString::fromStdU16String(error.description()), dbusError + QStringLiteral(": as you asked"));
        }
    }

    void malformedRepliesAreErrors() {
        reset();
        RecordingSink sink;
        const auto client = purple::connect(sink, QString());
        set(QStringLiteral("PurpleAccountGetAlias"), 7);
        try {
            client->MyFriendlyName();
            QFAIL("no error");
        } catch (const Error& error) {
            QCOMPARE(error.number(), purple::errc::kMalformedReply);
        }
    }

    // Only real changes become events; a conversation's members are
    // remembered, for libpurple frees it before it says it closes.
    void signalsBecomeEvents() {
        reset();
        RecordingSink sink;
        const auto client = attached(sink);
        // Signals that change nothing, then one that does: once it is told,
        // all before it have been handled.
        signal(QStringLiteral("AccountStatusChanged"), {99, 1, 2});                    // someone else's account
        signal(QStringLiteral("AccountAliasChanged"), {10, QStringLiteral("Alice")});  // unchanged
        signal(QStringLiteral("BuddyStatusChanged"), {20, 1, 2});                      // a new message only
        signal(QStringLiteral("BlistNodeAliased"), {20, QStringLiteral("Bob")});       // unchanged
        signal(QStringLiteral("AccountStatusChanged"), {10, 1, 2});
        QTRY_COMPARE(sink.events.size(), 1);
        set(QStringLiteral("PurpleStatusTypeGetPrimitive:23"), int(purple::kAvailable));
        signal(QStringLiteral("BuddyStatusChanged"), {20, 1, 2});
        QTRY_COMPARE(sink.events.size(), 2);
        set(QStringLiteral("PurpleBuddyGetAlias"), QStringLiteral("Bobby"));
        signal(QStringLiteral("BlistNodeAliased"), {20, QStringLiteral("Bob")});
        signal(QStringLiteral("ConversationCreated"), {30});
        QTRY_COMPARE(sink.events.size(), 4);
        fail(QStringLiteral("PurpleConversationGetName"), QStringLiteral("im.pidgin.purple.InvalidHandle"));
        signal(QStringLiteral("DeletingConversation"), {30});
        signal(QStringLiteral("BuddySignedOn"), {QStringLiteral("not a handle")});
        QTRY_COMPARE(sink.events.size(), 6);
        QCOMPARE(sink.events,
                 (QStringList{QStringLiteral("my status:2"), QStringLiteral("status:bob@example.org:2"),
                              QStringLiteral("name:bob@example.org"), QStringLiteral("opened:bob@example.org"),
                              QStringLiteral("closed:bob@example.org"), QStringLiteral("error:80040304")}));
    }

    // A list longer than one batch of requests: every buddy keeps its own
    // status and alias, so unchanged ones stay quiet and a change is told.
    void longBuddyListIsRememberedBuddyByBuddy() {
        reset();
        QList<int> buddies;
        {
            QMutexLocker lock(&fake_.mutex);
            for (int buddy = 100; buddy < 700; ++buddy) {
                buddies << buddy;
                const QString key = QString::number(buddy);
                fake_.replies.insert(QStringLiteral("PurpleBuddyGetAlias:") + key, QStringLiteral("Buddy ") + key);
                fake_.replies.insert(QStringLiteral("PurpleBuddyGetName:") + key, QStringLiteral("b%1@x").arg(buddy));
                fake_.replies.insert(QStringLiteral("PurpleBuddyGetPresence:") + key, buddy + 1000);
                fake_.replies.insert(QStringLiteral("PurplePresenceGetActiveStatus:%1").arg(buddy + 1000),
                                     buddy + 2000);
                fake_.replies.insert(QStringLiteral("PurpleStatusGetType:%1").arg(buddy + 2000), buddy + 3000);
                fake_.replies.insert(QStringLiteral("PurpleStatusTypeGetPrimitive:%1").arg(buddy + 3000),
                                     buddy % 2 ? int(purple::kAway) : int(purple::kAvailable));
            }
            fake_.replies.insert(QStringLiteral("PurpleFindBuddies"), QVariant::fromValue(buddies));
            fake_.replies.insert(QStringLiteral("PurpleStatusGetAttrString"), QString());
        }
        RecordingSink sink;
        const auto client = attached(sink);
        for (const int buddy : buddies) {
            signal(QStringLiteral("BuddyStatusChanged"), {buddy, 1, 2});
            signal(QStringLiteral("BlistNodeAliased"), {buddy, QStringLiteral("old")});
        }
        set(QStringLiteral("PurpleStatusTypeGetPrimitive:3650"), int(purple::kAway));
        signal(QStringLiteral("BuddyStatusChanged"), {650, 1, 2});
        QTRY_COMPARE(sink.events, QStringList{QStringLiteral("status:b650@x:34")});
    }

    // The client quitting is told once; coming back, it is attached again.
    void clientQuitsAndComesBack() {
        reset();
        RecordingSink sink;
        const auto client = attached(sink);
        QVERIFY(service_.unregisterService(purple::kService));
        QTRY_COMPARE(sink.events, QStringList{QStringLiteral("error:80040302")});
        try {
            client->MyStatus();
            QFAIL("no error");
        } catch (const Error& error) {
            QCOMPARE(error.number(), purple::errc::kClientGone);
        }
        QVERIFY(service_.registerService(purple::kService));
        QTRY_COMPARE_WITH_TIMEOUT(sink.events.size(), 2, 5000);
        QCOMPARE(sink.events.last(), QStringLiteral("my status:2"));
    }

    // Leaving the bus in the middle of a call: that call fails as the
    // client gone, and the quit is told once.
    void clientVanishesMidCall() {
        reset();
        RecordingSink sink;
        const auto client = attached(sink);
        std::thread leaving;
        {
            QMutexLocker lock(&fake_.mutex);
            fake_.vanishOn = QStringLiteral("PurpleAccountGetAlias");
            // The connection closes with its last handle; the test's thread
            // is blocked in the call meanwhile, so this one may drop it.
            fake_.leaveBus = [this, &leaving] {
                leaving = std::thread([this] {
                    service_ = QDBusConnection(QStringLiteral("gone"));
                    QDBusConnection::disconnectFromBus(QStringLiteral("fake-purple"));
                });
            };
        }
        try {
            client->MyFriendlyName();
            QFAIL("no error");
        } catch (const Error& error) {
            QCOMPARE(error.number(), purple::errc::kClientGone);
        }
        leaving.join();
        QTRY_COMPARE(sink.events, QStringList{QStringLiteral("error:80040302")});
        // Back on the bus for what follows.
        {
            QMutexLocker lock(&fake_.mutex);
            fake_.vanishOn.clear();
        }
        service_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-purple-again"));
        QVERIFY(service_.registerVirtualObject(purple::kPath, &fake_));
        QVERIFY(service_.registerService(purple::kService));
    }

    void cleanupTestCase() {
        QMetaObject::invokeMethod(
            &fake_, [this] { fake_.moveToThread(QCoreApplication::instance()->thread()); },
            Qt::BlockingQueuedConnection);
        serviceThread_.quit();
        serviceThread_.wait();
    }

    void noClientOnTheBus() {
        QVERIFY(service_.unregisterService(purple::kService));
        RecordingSink sink;
        try {
            purple::connect(sink, QString());
            QFAIL("attached to nothing");
        } catch (const Error& error) {
            QCOMPARE(error.number(), errc::kClassNotRegistered);
        }
        QVERIFY(service_.registerService(purple::kService));
    }
};

QTEST_GUILESS_MAIN(TestPurple)
#include "tst_purple.moc"
