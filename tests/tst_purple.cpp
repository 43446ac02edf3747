// The libpurple binding against a fake libpurple service on a private bus:
// what the real client rarely does on demand (handles gone, malformed
// replies and signals, the client vanishing), the choice of account and
// the status mapping.
#include <QDBusConnection>
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
using ContactPtr = std::shared_ptr<Contact>;
using WindowPtr = std::shared_ptr<ConversationWindow>;

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
        const QStringList arguments = QVariant(message.arguments()).toStringList();
        calls << method + u'(' + arguments.join(u',') + u')';
        const QVariant reply = replies.value(method + u':' + arguments.value(0), replies.value(method));
        if (insteadOfAnswering)
            std::exchange(insteadOfAnswering, {})();
        else if (reply.toString().startsWith(u'!'))
            connection.send(message.createErrorReply(reply.toString().mid(1), u"as you asked"_s));
        else
            connection.send(reply.isValid() ? message.createReply(reply) : message.createReply());
        return true;
    }
};

}  // namespace

// Also the sink: records what reaches the program, one line per event.
class TestPurple : public QObject, public EventSink {
    Q_OBJECT

    FakePurple fake_;
    QThread serviceThread_;
    QDBusConnection service_{QString()};
    int connections_ = 0;
    QStringList events_;

    static QString text(const std::u16string& string) { return QString::fromStdU16String(string); }
    static QString firstMember(const WindowPtr& w) { return text(w->contacts()->item(0)->signinName()); }
    static QVariant ints(const QList<int>& handles) { return QVariant::fromValue(handles); }
    void set(std::initializer_list<std::pair<QString, QVariant>> replies, bool replace = false) {
        QMutexLocker lock(&fake_.mutex);
        if (replace)
            fake_.replies.clear();
        for (const auto& [method, reply] : replies)
            fake_.replies.insert(method, reply);
    }
    // What the service was asked since last time, as far as it matches.
    QStringList calls(const QString& pattern = {}) {
        QMutexLocker lock(&fake_.mutex);
        return std::exchange(fake_.calls, {}).filter(QRegularExpression(pattern));
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
    void leaveBus() { QDBusConnection::disconnectFromBus(std::exchange(service_, QDBusConnection(QString())).name()); }
    // Attaches, then waits for one answer: the bus daemon takes the
    // binding's messages in order, so its signal subscriptions are in place.
    std::unique_ptr<Client> attached() {
        auto client =
            std::make_unique<purple::PurpleClient>(QDBusConnection::sessionBus(), *this, QString(), kInterval, kTries);
        client->myFriendlyName();
        return client;
    }

public:
    void contactNameChanged(const ContactPtr& c) override { events_ << u"name:"_s + text(c->friendlyName()); }
    void contactStatusChanged(const ContactPtr& c) override {
        events_ << u"status:%1:%2"_s.arg(text(c->signinName())).arg(c->status());
    }
    void conversationOpened(const WindowPtr& w) override { events_ << u"opened:"_s + firstMember(w); }
    void conversationClosed(const WindowPtr& w) override { events_ << u"closed:"_s + firstMember(w); }
    void myNameChanged() override { events_ << u"my name"_s; }
    void myStatusChanged() override { events_ << u"my status"_s; }
    void clientFailed(const Error& e) override { events_ << u"error:%1"_s.arg(quint32(e.number()), 0, 16); }

private slots:
    void initTestCase() {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus: run under dbus-run-session");
        serviceThread_.start();
        fake_.moveToThread(&serviceThread_);
        QVERIFY(comeBack());
    }
    // alice (account 10) with buddy bob (20: presence 21, status 22, status
    // type 23) and a conversation with him (30).
    void init() {
        events_.clear();
        set({{u"AccountsGetAllActive"_s, ints({10})}, {u"AccountIsConnected"_s, 1}}, true);  // afresh
        set({{u"AccountGetAlias"_s, u"Alice"_s}, {u"AccountGetStatusTypeWithPrimitive"_s, 0}, {u"FindBuddy"_s, 20}});
        set({{u"FindBuddies"_s, ints({20})}, {u"BuddyGetAccount"_s, 10}, {u"BlistNodeGetType"_s, 2}});
        set({{u"BuddyGetName"_s, u"bob@example.org"_s}, {u"BuddyGetAlias"_s, u"Bob"_s}, {u"BuddyGetPresence"_s, 21}});
        set({{u"PresenceGetActiveStatus:21"_s, 22}, {u"StatusGetType:22"_s, 23}, {u"PresenceIsIdle"_s, 0}});
        set({{u"StatusTypeGetPrimitive:23"_s, int(purple::kAway)}, {u"StatusGetAttrString"_s, u""_s}});
        set({{u"GetConversations"_s, ints({})}, {u"ConversationGetAccount"_s, 10}, {u"ConversationGetType"_s, 1}});
        set({{u"ConversationGetName"_s, u"bob"_s}, {u"SavedstatusFindTransientByTypeAndMessage"_s, 0}});
        set({{u"SavedstatusNew"_s, 40}});
    }

    // What libpurple shows, idleness and typed messages included, reads as
    // the status it is; every status the menu sets reads back as itself, and
    // the others cannot be set.
    void mapsStatuses_data() {
        QTest::addColumn<int>("primitive");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("idle");
        QTest::addColumn<int>("status");
        QTest::newRow("idle") << int(purple::kAvailable) << QString() << true << 18;
        QTest::newRow("busy, a message of one's own") << int(purple::kUnavailable) << u"meeting"_s << false << 10;
        QTest::newRow("on the phone, typed") << int(purple::kUnavailable) << u" on the PHONE "_s << false << 50;
        QTest::newRow("extended away, brb") << int(purple::kExtendedAway) << u"Be Right Back"_s << false << 14;
        for (const int status : {2, 6, 10, 14, 34, 50, 66}) {
            const auto request = purple::purpleRequestFor(status).value();
            QTest::addRow("menu: %d", status) << request.primitive << text(request.message) << false << status;
        }
    }
    void mapsStatuses() {
        QFETCH(int, primitive);
        QFETCH(QString, message);
        QFETCH(bool, idle);
        QFETCH(int, status);
        QCOMPARE(purple::statusFromPurple(primitive, message.toStdU16String(), idle), status);
        for (const int unsettable : {1, 18, 99})
            QVERIFY(!purple::purpleRequestFor(unsettable));
    }

    // Accounts 10, 11, ... by user name; a leading '*' marks one signed in.
    void choosesAccount_data() {
        QTest::addColumn<QStringList>("accounts");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QString>("chosen");  // empty: none may be, and that is an error
        const QString alice = u"alice@example.org"_s, bob = u"bob@example.org"_s;
        QTest::newRow("named, other case, with a resource")
            << QStringList{u'*' + bob, u"Alice@Example.ORG/pc"_s} << alice << u"Alice@Example.ORG"_s;
        QTest::newRow("unnamed: the first signed in") << QStringList{alice, u'*' + bob + u"/pc"_s} << QString() << bob;
        QTest::newRow("unnamed, none signed in: the first") << QStringList{alice, bob} << QString() << alice;
        QTest::newRow("named, none matches") << QStringList{u"*alice@example.org.uk"_s} << alice << QString();
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
        set({{u"AccountsGetAllActive"_s, ints(handles)}});
        const auto settings =
            named.isEmpty() ? BindingSettings{} : BindingSettings{{u"account", named.toStdU16String()}};
        QString signedIn;
        const int error = errorOf([&] { signedIn = text(purple::binding().connect(*this, settings)->mySigninName()); });
        QCOMPARE(signedIn, chosen);
        QCOMPARE(error, chosen.isEmpty() ? errc::kNoAccount : 0);
    }

    // Only real changes become events; a conversation's members are
    // remembered, for libpurple frees it before it says it closes; a signal
    // that cannot be read is a failure. Each batch of signals ends with one
    // that is told: once it is, all before it have been handled. A status
    // is set as the client's own status box sets it, reusing the client's
    // transient status for it; one the service cannot take is refused with
    // nothing changed.
    void signalsBecomeEventsAndStatusesAreSet() {
        const auto client = attached();
        signal(u"AccountStatusChanged"_s, {99, 1, 2});       // someone else's account
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});  // unchanged
        signal(u"BuddyStatusChanged"_s, {20, 1, 2});         // a new message only
        signal(u"BlistNodeAliased"_s, {20, u"Bob"_s});       // unchanged
        signal(u"ConversationCreated"_s, {30});
        QTRY_COMPARE(events_.size(), 1);
        set({{u"StatusTypeGetPrimitive:23"_s, int(purple::kAvailable)}, {u"AccountGetAlias"_s, u"Alice L."_s}});
        set({{u"BuddyGetAlias"_s, u"Bobby"_s}, {u"ConversationGetName"_s, u"!im.pidgin.purple.InvalidHandle"_s}});
        set({{u"BuddyGetAccount:29"_s, u"!im.pidgin.purple.InvalidHandle"_s},
             {u"ConversationGetAccount:31"_s, u"10"_s}});
        signal(u"AccountStatusChanged"_s, {10, 1, 2});
        signal(u"BuddyStatusChanged"_s, {20, 1, 2});
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});  // told already
        signal(u"BlistNodeAliased"_s, {20, u"Bob"_s});
        signal(u"DeletingConversation"_s, {30});
        signal(u"BuddySignedOn"_s, {u"not a handle"_s});
        signal(u"BuddySignedOn"_s, {29});        // a buddy already gone
        signal(u"ConversationCreated"_s, {31});  // answered with the wrong type
        QTRY_COMPARE(events_, (QStringList{u"opened:bob@example.org"_s, u"my status"_s, u"status:bob@example.org:2"_s,
                                           u"my name"_s, u"name:Bobby"_s, u"closed:bob@example.org"_s,
                                           u"error:80040304"_s, u"error:80040301"_s, u"error:80040304"_s}));

        const QString changes = u"Savedstatus(New|Set|Activate)"_s;
        calls();
        client->requestMyStatus(status::kBeRightBack);
        QCOMPARE(calls(changes), (QStringList{u"SavedstatusNew(,5)"_s, u"SavedstatusSetMessage(40,Be Right Back)"_s,
                                              u"SavedstatusActivate(40)"_s}));
        set({{u"SavedstatusFindTransientByTypeAndMessage:%1"_s.arg(purple::kUnavailable), 41}});
        client->requestMyStatus(status::kBusy);
        QCOMPARE(calls(changes), QStringList{u"SavedstatusActivate(41)"_s});
        QCOMPARE(errorOf([&] { client->requestMyStatus(status::kInvisible); }), errc::kNotSupported);
        QCOMPARE(calls(changes), QStringList{});
    }

    // A list longer than one batch of requests: every buddy keeps its own
    // status, so unchanged ones stay quiet and a change is told.
    void longBuddyListIsRememberedBuddyByBuddy() {
        QList<int> buddies;
        for (int b = 100; b < 700; ++b) {
            buddies << b;
            set({{u"BuddyGetName:%1"_s.arg(b), u"b%1"_s.arg(b)}, {u"BuddyGetPresence:%1"_s.arg(b), b + 1000}});
            set({{u"PresenceGetActiveStatus:%1"_s.arg(b + 1000), b + 2000},
                 {u"StatusGetType:%1"_s.arg(b + 2000), b + 3000}});
            set({{u"StatusTypeGetPrimitive:%1"_s.arg(b + 3000), int(b % 3 ? purple::kAvailable : purple::kAway)}});
        }
        set({{u"FindBuddies"_s, ints(buddies)}});
        const auto client = attached();
        set({{u"StatusTypeGetPrimitive:3699"_s, int(purple::kAvailable)}});
        for (const int buddy : buddies)  // the changed one last
            signal(u"BuddyStatusChanged"_s, {buddy, 1, 2});
        QTRY_COMPARE(events_, QStringList{u"status:b699:2"_s});
    }

    // The client leaving the bus, even in the middle of a call, is told
    // once; while it is away there is no client to attach to. Back, it is
    // attached again once its account is there; if that never is, that is
    // told once.
    void clientLeavesAndComesBack_data() {
        QTest::addColumn<bool>("midCall");
        QTest::addColumn<QList<int>>("accounts");
        QTest::newRow("quits, back") << false << QList<int>{10};
        QTest::newRow("quits mid-call, back without an account") << true << QList<int>{};
    }
    void clientLeavesAndComesBack() {
        QFETCH(bool, midCall);
        QFETCH(QList<int>, accounts);
        const auto client = attached();
        std::jthread leaving;
        if (midCall) {
            // The connection closes with its last handle; the test's thread
            // is blocked in the call meanwhile, so another one may drop it.
            QMutexLocker lock(&fake_.mutex);
            fake_.insteadOfAnswering = [this, &leaving] { leaving = std::jthread([this] { leaveBus(); }); };
        } else {
            leaveBus();
        }
        QCOMPARE(errorOf([&] { client->myFriendlyName(); }), errc::kClientGone);
        calls();       // the fake's lock is free once the hook has run
        leaving = {};  // joins it
        QTRY_COMPARE(events_, QStringList{u"error:80040302"_s});
        QCOMPARE(errorOf([&] { purple::connect(*this, QString()); }), errc::kClassNotRegistered);
        set({{u"AccountsGetAllActive"_s, ints(accounts)}});
        QVERIFY(comeBack());
        QTRY_COMPARE(events_.size(), 2);
        QTest::qWait(int((kTries + 2) * kInterval.count()));
        QCOMPARE(events_,
                 (QStringList{u"error:80040302"_s, accounts.isEmpty() ? u"error:80040307"_s : u"my status"_s}));
        QCOMPARE(calls(u"AccountsGetAllActive"_s).size(), accounts.isEmpty() ? kTries : 1);
    }

    void cleanupTestCase() {
        serviceThread_.quit();
        serviceThread_.wait();
    }
};

QTEST_GUILESS_MAIN(TestPurple)
#include "tst_purple.moc"
