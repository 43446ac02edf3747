// The libpurple binding against a fake libpurple service on a private bus:
// what the real client rarely does on demand (handles gone, malformed
// replies and signals, the client vanishing), the choice of account and
// the status mapping.
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <chrono>
#include <functional>
#include <thread>

#include "messenger/binding.h"
#include "messenger/purple/purple_bus.h"
#include "messenger/purple/purple_client.h"
#include "messenger/purple/purple_status.h"
#include "messenger/status_codes.h"

using namespace messenger;
using namespace Qt::StringLiterals;

namespace messenger::purple {
Binding binding();  // as the build offers it to the program
}

namespace {

constexpr std::chrono::milliseconds kInterval{20};
constexpr int kTries = 3;

QString text(const std::u16string& string) {
    return QString::fromStdU16String(string);
}

// The number of the error a call raises; 0 when it raises none.
std::int32_t errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& error) {
        return error.number();
    }
    return 0;
}

// Answers libpurple's methods, named here without their "Purple", from a
// table: a reply "!name" is the D-Bus error of that name. Lives on a thread
// of its own, so the binding's blocking calls get their answers.
class FakePurple : public QDBusVirtualObject {
public:
    QMutex mutex;
    QHash<QString, QVariant> replies;          // method (or method:first argument) -> reply
    QStringList calls;                         // method(argument,...)
    std::function<void()> insteadOfAnswering;  // the next call, once

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QMutexLocker lock(&mutex);
        const QString method = message.member().mid(6);
        QStringList arguments;
        for (const QVariant& argument : message.arguments())
            arguments << argument.toString();
        calls << method + u'(' + arguments.join(u',') + u')';
        const QString keyed = method + u':' + arguments.value(0);
        const QVariant reply = replies.value(replies.contains(keyed) ? keyed : method);
        if (insteadOfAnswering)
            std::exchange(insteadOfAnswering, {})();
        else if (reply.toString().startsWith(u'!'))
            connection.send(message.createErrorReply(reply.toString().mid(1), u"as you asked"_s));
        else
            connection.send(reply.isValid() ? message.createReply(reply) : message.createReply());
        return true;
    }
};

// Records what reaches the program, one line per event.
class RecordingSink final : public EventSink {
public:
    QStringList events;
    void contactNameChanged(const std::shared_ptr<Contact>& c) override {
        events << u"name:%1:%2"_s.arg(text(c->signinName()), text(c->friendlyName()));
    }
    void contactStatusChanged(const std::shared_ptr<Contact>& c) override {
        events << u"status:%1:%2"_s.arg(text(c->signinName())).arg(c->status());
    }
    void conversationOpened(const std::shared_ptr<ConversationWindow>& w) override {
        events << u"opened:"_s + members(w);
    }
    void conversationClosed(const std::shared_ptr<ConversationWindow>& w) override {
        events << u"closed:"_s + members(w);
    }
    void myNameChanged() override { events << u"my name"_s; }
    void myStatusChanged() override { events << u"my status"_s; }
    void clientFailed(const Error& e) override { events << u"error:%1"_s.arg(quint32(e.number()), 0, 16); }

private:
    static QString members(const std::shared_ptr<ConversationWindow>& window) {
        QStringList names;
        for (std::int32_t i = 0; i < window->contacts()->count(); ++i)
            names << text(window->contacts()->item(i)->signinName());
        return names.join(u',');
    }
};

}  // namespace

class TestPurple : public QObject {
    Q_OBJECT

    FakePurple fake_;
    QThread serviceThread_;
    QDBusConnection service_{QString()};
    int connections_ = 0;
    RecordingSink sink_;

    void set(std::initializer_list<std::pair<QString, QVariant>> replies) {
        QMutexLocker lock(&fake_.mutex);
        for (const auto& [method, reply] : replies)
            fake_.replies.insert(method, reply);
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
    // As a client process does: onto the bus with a connection of its own,
    // off it by closing that connection.
    bool comeBack() {
        service_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-purple-%1"_s.arg(++connections_));
        return service_.registerVirtualObject(purple::kPath, &fake_) && service_.registerService(purple::kService);
    }
    void leaveBus() {
        const QString name = service_.name();
        service_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name);
    }
    // Attaches, then waits for one answer: the bus daemon takes the
    // binding's messages in order, so its signal subscriptions are in place.
    std::unique_ptr<Client> attached() {
        auto client =
            std::make_unique<purple::PurpleClient>(QDBusConnection::sessionBus(), sink_, QString(), kInterval, kTries);
        client->myFriendlyName();
        return client;
    }

private slots:
    void initTestCase() {
        qDBusRegisterMetaType<QList<int>>();
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus: run under dbus-run-session");
        serviceThread_.start();
        fake_.moveToThread(&serviceThread_);
        QVERIFY(comeBack());
    }
    // alice (account 10, presence 11, status 12, type 13) with buddy bob (20,
    // presence 21, status 22, type 23).
    void init() {
        sink_.events.clear();
        QMutexLocker lock(&fake_.mutex);
        fake_.calls.clear();
        fake_.replies = {{u"AccountsGetAllActive"_s, QVariant::fromValue(QList<int>{10})},
                         {u"AccountIsConnected"_s, 1},
                         {u"AccountGetUsername"_s, u"alice@example.org/laptop"_s},
                         {u"AccountGetAlias"_s, u"Alice"_s},
                         {u"AccountGetPresence"_s, 11},
                         {u"BuddyGetPresence"_s, 21},
                         {u"PresenceGetActiveStatus:11"_s, 12},
                         {u"PresenceGetActiveStatus:21"_s, 22},
                         {u"StatusGetType:12"_s, 13},
                         {u"StatusGetType:22"_s, 23},
                         {u"StatusTypeGetPrimitive:13"_s, int(purple::kAvailable)},
                         {u"StatusTypeGetPrimitive:23"_s, int(purple::kAway)},
                         {u"StatusGetAttrString"_s, QString()},
                         {u"PresenceIsIdle"_s, 0},
                         {u"FindBuddies"_s, QVariant::fromValue(QList<int>{20})},
                         {u"FindBuddy"_s, 20},
                         {u"BuddyGetAccount"_s, 10},
                         {u"BuddyGetName"_s, u"bob@example.org"_s},
                         {u"BuddyGetAlias"_s, u"Bob"_s},
                         {u"BlistNodeGetType"_s, 2},
                         {u"GetConversations"_s, QVariant::fromValue(QList<int>{})},
                         {u"ConversationGetAccount"_s, 10},
                         {u"ConversationGetType"_s, 1},
                         {u"ConversationGetName"_s, u"bob@example.org/phone"_s},
                         {u"AccountGetStatusTypeWithPrimitive"_s, 0},
                         {u"SavedstatusFindTransientByTypeAndMessage"_s, 0},
                         {u"SavedstatusNew"_s, 40}};
    }

    // Every status the menu sets reads back as itself once libpurple has it.
    void menuStatusesReadBack_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("settable");
        using Rows = std::initializer_list<std::pair<const char*, int>>;
        for (const auto& [name, status] : Rows{{"online", 2},
                                               {"busy", 10},
                                               {"be right back", 14},
                                               {"away", 34},
                                               {"on the phone", 50},
                                               {"out to lunch", 66},
                                               {"appear offline", 6}})
            QTest::newRow(name) << status << true;
        for (const auto& [name, status] : Rows{{"offline", 1}, {"idle", 18}, {"unknown", 99}})
            QTest::newRow(name) << status << false;
    }
    void menuStatusesReadBack() {
        QFETCH(int, status);
        QFETCH(bool, settable);
        const auto request = purple::purpleRequestFor(status);
        QCOMPARE(request.has_value(), settable);
        if (request)
            QCOMPARE(purple::statusFromPurple(request->primitive, request->message, false), status);
    }

    // What libpurple may show besides what the menu sets: idleness, and
    // messages people typed.
    void readsStatuses_data() {
        QTest::addColumn<int>("primitive");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("idle");
        QTest::addColumn<int>("status");
        QTest::newRow("idle") << int(purple::kAvailable) << QString() << true << 18;
        QTest::newRow("busy, a message of one's own") << int(purple::kUnavailable) << u"meeting"_s << false << 10;
        QTest::newRow("on the phone, typed") << int(purple::kUnavailable) << u" on the PHONE "_s << false << 50;
        QTest::newRow("extended away, brb") << int(purple::kExtendedAway) << u"Be Right Back"_s << false << 14;
    }
    void readsStatuses() {
        QFETCH(int, primitive);
        QFETCH(QString, message);
        QFETCH(bool, idle);
        QFETCH(int, status);
        QCOMPARE(purple::statusFromPurple(primitive, message.toStdU16String(), idle), status);
    }

    // Accounts 10, 11, ... by user name; a leading '*' marks one signed in.
    void choosesAccount_data() {
        QTest::addColumn<QStringList>("accounts");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("chosen");  // empty: none may be, and that is an error
        const QString alice = u"alice@example.org"_s, bob = u"bob@example.org"_s;
        QTest::newRow("named, with a resource") << QStringList{u'*' + bob, alice + u"/laptop"_s} << alice << alice;
        QTest::newRow("named, other case")
            << QStringList{u'*' + bob, u"Alice@Example.ORG"_s} << alice << u"Alice@Example.ORG"_s;
        QTest::newRow("unnamed: the first signed in") << QStringList{alice, u'*' + bob + u"/pc"_s} << QString() << bob;
        QTest::newRow("unnamed, none signed in: the first") << QStringList{alice, bob} << QString() << alice;
        QTest::newRow("named, none matches") << QStringList{u"*alice@example.org.uk"_s} << alice << QString();
        QTest::newRow("no account") << QStringList{} << QString() << QString();
    }
    void choosesAccount() {
        QFETCH(QStringList, accounts);
        QFETCH(QString, named);
        QFETCH(QString, chosen);
        QList<int> handles;
        for (QString name : accounts) {
            handles << 10 + int(handles.size());
            set({{u"AccountIsConnected:%1"_s.arg(handles.last()), int(name.startsWith(u'*'))},
                 {u"AccountGetUsername:%1"_s.arg(handles.last()), name.remove(u'*')}});
        }
        set({{u"AccountsGetAllActive"_s, QVariant::fromValue(handles)}});
        const auto settings =
            named.isEmpty() ? BindingSettings{} : BindingSettings{{u"account", named.toStdU16String()}};
        QString signedIn;
        const int error = errorOf([&] { signedIn = text(purple::binding().connect(sink_, settings)->mySigninName()); });
        QCOMPARE(signedIn, chosen);
        QCOMPARE(error, chosen.isEmpty() ? errc::kNoAccount : 0);
    }

    // A status is set as the client's own status box sets it, reusing the
    // client's transient status for it; one the service cannot take is
    // refused with nothing changed.
    void setsStatuses() {
        const auto client = attached();
        const auto changes = [this] { return calls().filter(QRegularExpression(u"Savedstatus(New|Set|Activate)"_s)); };
        client->requestMyStatus(status::kBeRightBack);
        QCOMPARE(changes(), (QStringList{u"SavedstatusNew(,5)"_s, u"SavedstatusSetMessage(40,Be Right Back)"_s,
                                         u"SavedstatusActivate(40)"_s}));
        set({{u"SavedstatusFindTransientByTypeAndMessage:%1"_s.arg(purple::kUnavailable), 41}});
        client->requestMyStatus(status::kBusy);
        QCOMPARE(changes(), QStringList{u"SavedstatusActivate(41)"_s});
        QCOMPARE(errorOf([&] { client->requestMyStatus(status::kInvisible); }), errc::kNotSupported);
        QCOMPARE(changes(), QStringList{});
    }

    // Only real changes become events; a conversation's members are
    // remembered, for libpurple frees it before it says it closes; a signal
    // that cannot be read is a failure. Signals that change nothing go
    // before one that does: once it is told, all before it have been handled.
    void signalsBecomeEvents() {
        const auto client = attached();
        signal(u"AccountStatusChanged"_s, {99, 1, 2});       // someone else's account
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});  // unchanged
        signal(u"BuddyStatusChanged"_s, {20, 1, 2});         // a new message only
        signal(u"BlistNodeAliased"_s, {20, u"Bob"_s});       // unchanged
        signal(u"AccountStatusChanged"_s, {10, 1, 2});
        QTRY_COMPARE(sink_.events.size(), 1);
        set({{u"StatusTypeGetPrimitive:23"_s, int(purple::kAvailable)}, {u"AccountGetAlias"_s, u"Alice L."_s}});
        signal(u"BuddyStatusChanged"_s, {20, 1, 2});
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});  // told already
        QTRY_COMPARE(sink_.events.size(), 3);
        set({{u"BuddyGetAlias"_s, u"Bobby"_s}});
        signal(u"BlistNodeAliased"_s, {20, u"Bob"_s});
        signal(u"ConversationCreated"_s, {30});
        QTRY_COMPARE(sink_.events.size(), 5);
        set({{u"ConversationGetName"_s, u"!im.pidgin.purple.InvalidHandle"_s},
             {u"BuddyGetAccount:29"_s, u"!im.pidgin.purple.InvalidHandle"_s},
             {u"ConversationGetAccount:31"_s, u"10"_s}});
        signal(u"DeletingConversation"_s, {30});
        signal(u"BuddySignedOn"_s, {u"not a handle"_s});
        signal(u"BuddySignedOn"_s, {29});        // a buddy already gone
        signal(u"ConversationCreated"_s, {31});  // answered with the wrong type
        QTRY_COMPARE(sink_.events.size(), 9);
        QCOMPARE(sink_.events,
                 (QStringList{u"my status"_s, u"status:bob@example.org:2"_s, u"my name"_s,
                              u"name:bob@example.org:Bobby"_s, u"opened:bob@example.org"_s, u"closed:bob@example.org"_s,
                              u"error:80040304"_s, u"error:80040301"_s, u"error:80040304"_s}));
    }

    // A list longer than one batch of requests: every buddy keeps its own
    // status and alias, so unchanged ones stay quiet and a change is told.
    void longBuddyListIsRememberedBuddyByBuddy() {
        QList<int> buddies;
        for (int b = 100; b < 700; ++b) {
            buddies << b;
            set({{u"BuddyGetAlias:%1"_s.arg(b), u"Buddy %1"_s.arg(b)},
                 {u"BuddyGetName:%1"_s.arg(b), u"b%1@x"_s.arg(b)},
                 {u"BuddyGetPresence:%1"_s.arg(b), b + 1000},
                 {u"PresenceGetActiveStatus:%1"_s.arg(b + 1000), b + 2000},
                 {u"StatusGetType:%1"_s.arg(b + 2000), b + 3000},
                 {u"StatusTypeGetPrimitive:%1"_s.arg(b + 3000), b % 2 ? int(purple::kAway) : int(purple::kAvailable)}});
        }
        set({{u"FindBuddies"_s, QVariant::fromValue(buddies)}});
        const auto client = attached();
        for (const int buddy : buddies) {
            signal(u"BuddyStatusChanged"_s, {buddy, 1, 2});
            signal(u"BlistNodeAliased"_s, {buddy, u"old"_s});
        }
        set({{u"StatusTypeGetPrimitive:3650"_s, int(purple::kAway)}});
        signal(u"BuddyStatusChanged"_s, {650, 1, 2});
        QTRY_COMPARE(sink_.events, QStringList{u"status:b650@x:34"_s});
    }

    // The client leaving the bus, even in the middle of a call, is told
    // once. Back, it is attached again once its account is there; if that
    // never is, that is told once.
    void clientLeavesAndComesBack_data() {
        QTest::addColumn<bool>("midCall");
        QTest::addColumn<QList<int>>("accounts");
        QTest::addColumn<QString>("told");
        QTest::addColumn<int>("tries");
        QTest::newRow("quits") << false << QList<int>{10} << u"my status"_s << 1;
        QTest::newRow("quits mid-call") << true << QList<int>{10} << u"my status"_s << 1;
        QTest::newRow("back without an account") << false << QList<int>{} << u"error:80040307"_s << kTries;
    }
    void clientLeavesAndComesBack() {
        QFETCH(bool, midCall);
        QFETCH(QList<int>, accounts);
        QFETCH(QString, told);
        QFETCH(int, tries);
        const auto client = attached();
        std::thread leaving;
        if (midCall) {
            // The connection closes with its last handle; the test's thread
            // is blocked in the call meanwhile, so another one may drop it.
            QMutexLocker lock(&fake_.mutex);
            fake_.insteadOfAnswering = [this, &leaving] { leaving = std::thread([this] { leaveBus(); }); };
        } else {
            leaveBus();
        }
        QCOMPARE(errorOf([&] { client->myFriendlyName(); }), errc::kClientGone);
        if (leaving.joinable())
            leaving.join();
        QTRY_COMPARE(sink_.events, QStringList{u"error:80040302"_s});
        QCOMPARE(errorOf([&] { client->myStatus(); }), errc::kClientGone);
        set({{u"AccountsGetAllActive"_s, QVariant::fromValue(accounts)}});
        calls();
        QVERIFY(comeBack());
        QTRY_COMPARE(sink_.events.size(), 2);
        QTest::qWait(int((kTries + 2) * kInterval.count()));
        QCOMPARE(sink_.events, (QStringList{u"error:80040302"_s, told}));
        QCOMPARE(calls().filter(u"AccountsGetAllActive"_s).size(), tries);
    }

    void noClientOnTheBus() {
        QVERIFY(service_.unregisterService(purple::kService));
        QCOMPARE(errorOf([&] { purple::connect(sink_, QString()); }), errc::kClassNotRegistered);
        QVERIFY(service_.registerService(purple::kService));
    }

    void cleanupTestCase() {
        QMetaObject::invokeMethod(
            &fake_, [this] { fake_.moveToThread(QCoreApplication::instance()->thread()); },
            Qt::BlockingQueuedConnection);
        serviceThread_.quit();
        serviceThread_.wait();
    }
};

QTEST_GUILESS_MAIN(TestPurple)
#include "tst_purple.moc"
