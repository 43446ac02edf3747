// The libpurple binding against a fake libpurple service, on a bus daemon
// the test starts (and stops, to see a bus go): what the real client rarely
// does on demand (floods, stalls, handles gone, malformed replies and
// signals, accounts and clients and buses going), the choice of account and
// the status mapping.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>

#include "messenger/binding.h"
#include "messenger/purple/purple_client.h"
#include "messenger/purple/purple_diagnosis.h"
#include "messenger/purple/purple_status.h"
#include "messenger/status_codes.h"

using namespace messenger;
using namespace Qt::StringLiterals;

namespace messenger::purple {
Binding binding();  // as the build offers it to the program
}

namespace {

using ContactPtr = std::shared_ptr<Contact>;
using WindowPtr = std::shared_ptr<ConversationWindow>;
constexpr int kTries = 3;
constexpr int kDeadlineMs = 60000;  // what a loaded machine may take for what is quick

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
// of its own, as the client is a process of its own; while holding, it
// answers nothing, as a stopped client.
class FakePurple : public QDBusVirtualObject {
public:
    QMutex mutex;
    QHash<QString, QVariant> replies;  // method (or method:first argument) -> reply
    QStringList calls;                 // method(argument,...)
    bool holding = false;
    QString holdFrom;  // holding starts with a call of this method
    QList<std::pair<QDBusMessage, QDBusConnection>> held;
    std::pair<QString, QList<QDBusMessage>> signalsAt;  // signalled just before answering that method

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        QMutexLocker lock(&mutex);
        holding = holding || message.member().mid(6) == holdFrom;
        if (holding) {
            held << std::pair{message, connection};
        } else {
            answer(message, connection);
        }
        return true;
    }
    void hold() {
        QMutexLocker lock(&mutex);
        holding = true;
    }
    void release() {
        QMutexLocker lock(&mutex);
        holding = false;
        holdFrom.clear();
        for (const auto& [message, connection] : std::exchange(held, {})) {
            answer(message, connection);
        }
    }

private:
    void answer(const QDBusMessage& message, const QDBusConnection& connection) {
        const QString method = message.member().mid(6);
        const QStringList arguments = QVariant(message.arguments()).toStringList();
        calls << method + u'(' + arguments.join(u',') + u')';
        for (const QDBusMessage& signal : method == signalsAt.first ? signalsAt.second : QList<QDBusMessage>{}) {
            connection.send(signal);
        }
        const QVariant reply = replies.value(method + u':' + arguments.value(0), replies.value(method));
        if (reply.toString().startsWith(u'!')) {
            connection.send(message.createErrorReply(reply.toString().mid(1), u"as you asked"_s));
        } else {
            connection.send(reply.isValid() ? message.createReply(reply) : message.createReply());
        }
    }
};

}  // namespace

// Also the sink: records what reaches the program, one line per event.
class TestPurple : public QObject, public EventSink {
    Q_OBJECT

    QTemporaryDir dir_;
    QString address_;
    QProcess daemon_;
    FakePurple fake_;
    QThread serviceThread_;
    QDBusConnection service_{QString()};
    int connections_ = 0;
    QStringList events_;
    QStringList errorTexts_;
    QString throwFor_;                                               // a contact whose status change the sink fails on
    std::size_t maxQueued_ = purple::PurpleBus::Limits{}.maxQueued;  // for the next attach
    // For the next attach: a client slowed by a loaded machine is no stall.
    std::chrono::milliseconds patience_{kDeadlineMs};
    Client* client_ = nullptr;

    static QString text(const std::u16string& string) { return QString::fromStdU16String(string); }
    static QString members(const WindowPtr& w) {
        QStringList names;
        for (int i = 0; i < w->contacts()->count(); ++i) {
            names << text(w->contacts()->item(i)->signinName());
        }
        return names.join(u'+');
    }
    static QVariant ints(const QList<int>& handles) { return QVariant::fromValue(handles); }
    void set(std::initializer_list<std::pair<QString, QVariant>> replies, bool replace = false) {
        QMutexLocker lock(&fake_.mutex);
        if (replace) {
            fake_.replies.clear();
        }
        for (const auto& [method, reply] : replies) {
            fake_.replies.insert(method, reply);
        }
    }
    // What the service was asked since it last forgot, as far as it matches.
    QStringList calls(const QString& pattern) {
        QMutexLocker lock(&fake_.mutex);
        return fake_.calls.filter(QRegularExpression(pattern));
    }
    void forgetCalls() {
        QMutexLocker lock(&fake_.mutex);
        fake_.calls.clear();
    }
    void holdFrom(const QString& method) {
        QMutexLocker lock(&fake_.mutex);
        fake_.holdFrom = method;
    }
    static QDBusMessage signalOf(const QString& name, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createSignal(purple::kPath, purple::kInterface, name);
        message.setArguments(arguments);
        return message;
    }
    void signal(const QString& name, const QVariantList& arguments) { service_.send(signalOf(name, arguments)); }
    // Ready once its socket is there.
    bool startBus() {
        daemon_.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--address="_s + address_});
        const QString socket = dir_.filePath(u"bus"_s);
        return daemon_.waitForStarted() && QTest::qWaitFor([&] { return QFile::exists(socket); }, kDeadlineMs);
    }
    QDBusConnection open(const QString& name) { return QDBusConnection::connectToBus(address_, name); }
    // As a client process does: onto the bus with a connection of its own,
    // off it by closing that connection.
    bool comeBack() {
        service_ = open(u"fake-purple-%1"_s.arg(++connections_));
        return service_.registerVirtualObject(purple::kPath, &fake_) && service_.registerService(purple::kService);
    }
    void leaveBus() { QDBusConnection::disconnectFromBus(std::exchange(service_, QDBusConnection(QString())).name()); }
    std::unique_ptr<Client> attach(const QString& account = {},
                                   std::chrono::milliseconds callTimeout = std::chrono::milliseconds(60000),
                                   std::chrono::milliseconds startupTimeout = std::chrono::milliseconds(kDeadlineMs)) {
        purple::PurpleClient::Timing timing;
        timing.bus.callTimeout = callTimeout;
        timing.bus.maxQueued = std::exchange(maxQueued_, purple::PurpleBus::Limits{}.maxQueued);
        timing.startupTimeout = startupTimeout;
        timing.attachRetryFirst = timing.attachRetryLast = std::chrono::milliseconds(20);
        timing.attachTriesBeforeTelling = kTries;
        timing.bus.patience = std::exchange(patience_, std::chrono::milliseconds(kDeadlineMs));
        timing.bus.busCheck = std::chrono::milliseconds(60000);
        timing.busRetryFirst = timing.busRetryLast = std::chrono::milliseconds(50);
        auto client = std::make_unique<purple::PurpleClient>([this](const QString& name) { return open(name); }, *this,
                                                             account, timing);
        client_ = client.get();
        return client;
    }
    // Buddies 100, 101, ... with presence +1000, status +2000, status type
    // +3000, all available.
    QList<int> buddies(int count) {
        QList<int> handles;
        for (int b = 100; b < 100 + count; ++b) {
            handles << b;
            set({{u"BuddyGetName:%1"_s.arg(b), u"b%1"_s.arg(b)}, {u"BuddyGetPresence:%1"_s.arg(b), b + 1000}});
            set({{u"PresenceGetActiveStatus:%1"_s.arg(b + 1000), b + 2000},
                 {u"StatusGetType:%1"_s.arg(b + 2000), 503}});
        }
        set({{u"FindBuddies"_s, ints(handles)}});
        return handles;
    }

public:
    void contactNameChanged(const ContactPtr& c) override { events_ << u"name:"_s + text(c->friendlyName()); }
    void contactStatusChanged(const ContactPtr& c) override {
        if (text(c->signinName()) == throwFor_) {
            throw std::runtime_error("the sink failed");
        }
        events_ << u"status:%1:%2"_s.arg(text(c->signinName())).arg(c->status());
    }
    void conversationOpened(const WindowPtr& w) override { events_ << u"opened:"_s + members(w); }
    void conversationClosed(const WindowPtr& w) override { events_ << u"closed:"_s + members(w); }
    void myNameChanged() override { events_ << u"my name:"_s + text(client_->myFriendlyName()); }
    void myStatusChanged() override { events_ << u"my status:%1"_s.arg(client_->myStatus()); }
    void clientFailed(const Error& e) override {
        events_ << u"error:%1"_s.arg(quint32(e.number()), 0, 16);
        errorTexts_ << text(e.description());
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        address_ = u"unix:path="_s + dir_.filePath(u"bus"_s);
        QVERIFY(startBus());
        serviceThread_.start();
        fake_.moveToThread(&serviceThread_);
        QVERIFY(comeBack());
    }
    // alice (account 10, presence 11) with buddy bob (20: presence 21,
    // status 22) and a conversation with him (30). Status types: 501 busy,
    // 502 extended away, 503 available.
    void init() {
        events_.clear();
        errorTexts_.clear();
        throwFor_.clear();
        set({{u"AccountsGetAllActive"_s, ints({10})}, {u"AccountIsConnected"_s, 1}}, true);  // afresh
        set({{u"AccountGetAlias"_s, u"Alice"_s}, {u"AccountGetStatusTypeWithPrimitive"_s, 0}, {u"FindBuddy"_s, 20}});
        set({{u"AccountGetUsername"_s, u"alice@example.org/pc"_s}});
        set({{u"FindBuddies"_s, ints({20})}, {u"BuddyGetAccount"_s, 10}, {u"BlistNodeGetType"_s, 2}});
        set({{u"BuddyGetName"_s, u"bob@example.org"_s}, {u"BuddyGetAlias"_s, u"Bob"_s}, {u"BuddyGetPresence"_s, 21}});
        set({{u"AccountGetPresence"_s, 11}, {u"PresenceGetActiveStatus:11"_s, 12}, {u"StatusGetType:12"_s, 503}});
        set({{u"PresenceGetActiveStatus:21"_s, 22}, {u"StatusGetType:22"_s, 502}, {u"PresenceIsIdle"_s, 0}});
        set({{u"StatusTypeGetPrimitive:501"_s, int(purple::Primitive::kUnavailable)},
             {u"StatusGetAttrString"_s, u""_s}});
        set({{u"StatusTypeGetPrimitive:502"_s, int(purple::Primitive::kExtendedAway)}});
        set({{u"StatusTypeGetPrimitive:503"_s, int(purple::Primitive::kAvailable)}});
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
        QTest::newRow("idle") << int(purple::Primitive::kAvailable) << QString() << true << 18;
        QTest::newRow("busy, a message of one's own")
            << int(purple::Primitive::kUnavailable) << u"meeting"_s << false << 10;
        QTest::newRow("on the phone, typed")
            << int(purple::Primitive::kUnavailable) << u" on the PHONE "_s << false << 50;
        QTest::newRow("extended away, brb")
            << int(purple::Primitive::kExtendedAway) << u"Be Right Back"_s << false << 14;
        for (const int status : {2, 6, 10, 14, 34, 50, 66}) {
            const auto request = purple::purpleRequestFor(status).value();
            QTest::addRow("menu: %d", status) << int(request.primitive) << text(request.message) << false << status;
        }
    }
    void mapsStatuses() {
        QFETCH(int, primitive);
        QFETCH(QString, message);
        QFETCH(bool, idle);
        QFETCH(int, status);
        QCOMPARE(purple::statusFromPurple(purple::Primitive(primitive), message.toStdU16String(), idle), status);
        for (const int unsettable : {1, 18, 99}) {
            QVERIFY(!purple::purpleRequestFor(unsettable));
        }
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
        QString signedIn;
        const int error = errorOf([&] { signedIn = text(attach(named)->mySigninName()); });
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
        const auto client = attach();
        signal(u"AccountStatusChanged"_s, {99, 12, 12});     // someone else's account
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});  // unchanged
        signal(u"BuddyStatusChanged"_s, {20, 22, 22});       // a new message only
        signal(u"BlistNodeAliased"_s, {20, u"Bob"_s});       // unchanged
        signal(u"ConversationCreated"_s, {30});
        QTRY_COMPARE(events_.size(), 1);
        set({{u"StatusGetType:13"_s, 501}, {u"AccountGetAlias"_s, u"Alice L."_s}, {u"BuddyGetAlias"_s, u"Bobby"_s}});
        set({{u"ConversationGetName"_s, u"!im.pidgin.purple.InvalidHandle"_s},
             {u"BuddyGetAccount:29"_s, u"!im.pidgin.purple.InvalidHandle"_s},
             {u"ConversationGetAccount:31"_s, u"10"_s}});
        signal(u"AccountStatusChanged"_s, {10, 12, 13});
        signal(u"BuddyStatusChanged"_s, {20, 22, 12});
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});  // told already
        signal(u"BlistNodeAliased"_s, {20, u"Bob"_s});
        signal(u"DeletingConversation"_s, {30});
        signal(u"BuddySignedOn"_s, {u"not a handle"_s});
        signal(u"BuddySignedOn"_s, {29});        // a buddy already gone: nothing to tell
        signal(u"ConversationCreated"_s, {31});  // answered with the wrong type
        QTRY_COMPARE(events_, (QStringList{u"opened:bob@example.org"_s, u"my status:10"_s,
                                           u"status:bob@example.org:2"_s, u"my name:Alice L."_s, u"name:Bobby"_s,
                                           u"closed:bob@example.org"_s, u"error:80040304"_s, u"error:80040304"_s}));

        const QString changes = u"Savedstatus(New|Set|Activate)"_s;
        forgetCalls();
        client->requestMyStatus(status::kBeRightBack);
        QTRY_COMPARE(calls(changes), (QStringList{u"SavedstatusNew(,5)"_s, u"SavedstatusSetMessage(40,Be Right Back)"_s,
                                                  u"SavedstatusActivate(40)"_s}));
        set({{u"SavedstatusFindTransientByTypeAndMessage:%1"_s.arg(int(purple::Primitive::kUnavailable)), 41}});
        forgetCalls();
        client->requestMyStatus(status::kBusy);
        QTRY_COMPARE(calls(changes), QStringList{u"SavedstatusActivate(41)"_s});
        forgetCalls();
        client->requestMyStatus(status::kInvisible);
        QTRY_COMPARE(events_.last(), u"error:80040306"_s);
        QCOMPARE(calls(changes), QStringList{});
    }

    // A burst of back-to-back changes, the client stopping in the middle of
    // it: the window's event loop keeps turning, the stall is told once, and
    // once the client answers again every change is told once, in the order
    // signalled; repeats are not. A buddy that signs on and changes before
    // its sign-on is read comes on with the status it signed on with.
    void floodIsToldInOrderWhileTheClientStalls() {
        const QList<int> handles = buddies(250);
        patience_ = purple::PurpleBus::Limits{}.patience;
        const auto client = attach();
        int ticks = 0;
        QTimer ticking;
        connect(&ticking, &QTimer::timeout, [&ticks] { ++ticks; });
        ticking.start(10);
        QStringList expected;
        const int changes[] = {501, 502, 503, 503};  // busy, away, online, online again
        for (int round = 0; round < 4; ++round) {
            if (round == 2) {
                fake_.hold();
            }
            for (const int b : handles) {
                set({{u"StatusGetType:%1"_s.arg(10000 + b * 10 + round), changes[round]}});
                signal(u"BuddyStatusChanged"_s, {b, 0, 10000 + b * 10 + round});
                if (round < 3) {
                    expected << u"status:b%1:%2"_s.arg(b).arg(QList<int>{10, 34, 2}[round]);
                }
            }
        }
        set({{u"PresenceGetActiveStatus:1100"_s, 90001}, {u"StatusGetType:90001"_s, 502}});
        set({{u"StatusGetType:90002"_s, 501}});
        signal(u"BuddySignedOn"_s, {100});                     // read once held calls are answered: away by then,
        signal(u"BuddyStatusChanged"_s, {100, 90002, 90001});  // but it came on busy
        expected << u"status:b100:10"_s << u"status:b100:34"_s;
        QTRY_VERIFY_WITH_TIMEOUT(events_.contains(u"error:80040303"_s), kDeadlineMs);
        const int ticked = ticks;
        QTRY_VERIFY(ticks > ticked + 2);  // still turning, the client still stalled
        fake_.release();
        QTRY_COMPARE_WITH_TIMEOUT(events_.size(), expected.size() + 1, kDeadlineMs);
        events_.removeOne(u"error:80040303"_s);
        QCOMPARE(events_, expected);
    }

    // The account signing off and on is the user's status; disabled or
    // removed, it is told and the next one followed, or none; a status
    // cannot be set without a signed-in account, and an account enabled
    // later is followed.
    void accountIsFollowed() {
        set({{u"AccountGetUsername:10"_s, u"alice@example.org"_s},
             {u"AccountGetUsername:12"_s, u"carol@example.org"_s}});
        set({{u"AccountGetAlias:12"_s, u"Carol"_s}});
        const auto client = attach();
        signal(u"AccountSignedOff"_s, {10});
        QTRY_COMPARE(events_, QStringList{u"my status:1"_s});
        QCOMPARE(errorOf([&] { client->requestMyStatus(status::kBusy); }), errc::kNotSignedIn);
        signal(u"AccountSignedOn"_s, {10});
        set({{u"AccountsGetAllActive"_s, ints({12})}});
        signal(u"AccountDisabled"_s, {10});
        QTRY_COMPARE(events_.size(), 4);
        set({{u"AccountsGetAllActive"_s, ints({})}});
        signal(u"AccountRemoved"_s, {12});
        QTRY_COMPARE(events_, (QStringList{u"my status:1"_s, u"my status:2"_s, u"error:80040307"_s, u"my name:Carol"_s,
                                           u"error:80040307"_s, u"my status:1"_s}));
        QCOMPARE(errorOf([&] { client->requestMyStatus(status::kBusy); }), errc::kNoAccount);
        set({{u"AccountsGetAllActive"_s, ints({10})}});
        signal(u"AccountEnabled"_s, {10});
        QTRY_COMPARE(events_.mid(6), (QStringList{u"my name:Alice"_s, u"my status:2"_s}));
        QCOMPARE(text(client->mySigninName()), u"alice@example.org"_s);
    }

    // The client leaving the bus, even in the middle of a call, is told
    // once; while it is away there is no client to attach to. Back, it is
    // attached again once its account is there, however late, and what it
    // signals meanwhile is not lost; an account that is not there after a
    // few tries is told once, and still waited for. The bus itself going
    // away is the client gone too, and a bus at the same address is
    // reached again. The restarted client's handles mean other buddies.
    void clientLeavesAndComesBack_data() {
        QTest::addColumn<QString>("leaving");
        QTest::addColumn<bool>("accountLate");
        QTest::newRow("quits, back") << u"quits"_s << false;
        QTest::newRow("quits mid-call, back, its account late") << u"mid-call"_s << true;
        QTest::newRow("the bus goes, and comes back") << u"bus"_s << false;
        QTest::newRow("the bus goes, back, the account late") << u"bus"_s << true;
    }
    void clientLeavesAndComesBack() {
        QFETCH(QString, leaving);
        QFETCH(bool, accountLate);
        buddies(2);
        const auto client = attach();
        // Once a change is told, what every buddy showed is known.
        set({{u"StatusGetType:7001"_s, 501}});
        signal(u"BuddyStatusChanged"_s, {101, 2101, 7001});
        QTRY_COMPARE(events_, QStringList{u"status:b101:10"_s});
        events_.clear();
        if (leaving == u"bus"_s) {
            daemon_.kill();
            daemon_.waitForFinished();
            QFile::remove(dir_.filePath(u"bus"_s));
        } else if (leaving == u"mid-call"_s) {
            fake_.hold();
        }
        signal(u"AccountAliasChanged"_s, {10, u"Alice"_s});
        if (leaving == u"mid-call"_s) {
            QTRY_VERIFY([&] {
                QMutexLocker lock(&fake_.mutex);
                return !fake_.held.isEmpty();
            }());
        }
        if (leaving != u"bus"_s) {
            leaveBus();
        }
        fake_.release();
        QTRY_COMPARE(events_, (QStringList{u"error:80040302"_s, u"my status:1"_s}));
        QCOMPARE(errorOf([&] { client->requestMyStatus(status::kBusy); }), errc::kClientGone);
        if (leaving == u"bus"_s) {
            QDBusConnection::disconnectFromBus(service_.name());
            QVERIFY(startBus());
            QCOMPARE(errorOf([&] { attach(); }), errc::kClassNotRegistered);
            // Signals sent before the program is back on the bus never reach it.
            const QDBusConnection look = open(u"look"_s);
            QTRY_COMPARE(look.interface()->registeredServiceNames().value().filter(u":"_s).size(), 2);
            QDBusConnection::disconnectFromBus(u"look"_s);
        }
        // Back signed off, its buddies' handles swapped, b100 away and b100
        // offline; it and b100 sign on while it is being attached to.
        set({{u"AccountsGetAllActive"_s, ints(accountLate ? QList<int>{} : QList<int>{10})},
             {u"AccountIsConnected"_s, 0}});
        set({{u"BuddyGetName:100"_s, u"b101"_s}, {u"BuddyGetName:101"_s, u"b100"_s}});
        set({{u"BuddyGetPresence:101"_s, 1200},
             {u"PresenceGetActiveStatus:1200"_s, 2102},
             {u"StatusGetType:2102"_s, 502}});
        forgetCalls();
        fake_.hold();
        QVERIFY(comeBack());
        signal(u"AccountSignedOn"_s, {10});
        signal(u"BuddySignedOn"_s, {101});
        fake_.release();
        if (accountLate) {
            QTRY_COMPARE(events_.mid(2), QStringList{u"error:80040307"_s});
            QTRY_VERIFY(calls(u"AccountsGetAllActive"_s).size() > kTries + 1);
            set({{u"AccountsGetAllActive"_s, ints({10})}, {u"AccountIsConnected"_s, 1}});
        }
        // b101, busy before, shows online now: told; b100 away, by its
        // sign-on or, when the account came too late for it, as read.
        QTRY_COMPARE(events_.mid(accountLate ? 3 : 2),
                     accountLate ? (QStringList{u"my status:2"_s, u"status:b101:2"_s, u"status:b100:34"_s})
                                 : (QStringList{u"status:b101:2"_s, u"my status:2"_s, u"status:b100:34"_s}));
        QCOMPARE(events_.count(u"error:80040307"_s), accountLate ? 1 : 0);
    }

    // Disabled and removed back to back (libpurple's delete) while the
    // client has not answered yet: told once, as a removal, the next
    // account followed, and its buddies' changes logged.
    void deletedAccountIsFollowedByTheNext() {
        set({{u"AccountsGetAllActive"_s, ints({10, 12})}, {u"AccountGetUsername:12"_s, u"carol@example.org"_s}});
        set({{u"AccountGetAlias:12"_s, u"Carol"_s}, {u"BuddyGetAccount"_s, 12}, {u"AccountIsConnected:10"_s, 1}});
        set({{u"AccountIsConnected:12"_s, 0}});
        const auto client = attach();
        QCOMPARE(text(client->mySigninName()), u"alice@example.org"_s);
        fake_.hold();
        set({{u"AccountsGetAllActive"_s, ints({12})}});
        signal(u"AccountDisabled"_s, {10});
        signal(u"AccountRemoved"_s, {10});
        signal(u"AccountEnabled"_s, {12});  // followed by then: nothing to do
        fake_.release();
        QTRY_COMPARE(events_, (QStringList{u"error:80040307"_s, u"my name:Carol"_s, u"my status:1"_s}));
        QVERIFY(errorTexts_[0].contains(u"was removed"_s));
        set({{u"StatusGetType:23"_s, 501}});
        signal(u"BuddyStatusChanged"_s, {20, 22, 23});
        QTRY_COMPARE(events_.mid(3), QStringList{u"status:bob@example.org:10"_s});
    }

    // Changes signalled while what every buddy shows is still being read
    // are changes, even when the reading comes back with what they led to;
    // a change of message only is none. A delivery that fails is told and
    // the events behind it still come.
    void changesWhileReadingBuddiesAreLogged() {
        buddies(4);
        // The client already shows what the changes led to: b100 busy, b101 offline.
        set({{u"PresenceGetActiveStatus:1100"_s, 7001}, {u"StatusGetType:7001"_s, 501}});
        set({{u"PresenceGetActiveStatus:1101"_s, 7002}, {u"StatusGetType:7002"_s, 7003}});
        set({{u"StatusTypeGetPrimitive:7003"_s, int(purple::Primitive::kOffline)}});
        set({{u"StatusGetType:7000"_s, 502}});
        throwFor_ = u"b103"_s;
        holdFrom(u"BuddyGetAlias"_s);  // the reading of each buddy
        const auto client = attach();
        signal(u"BuddyStatusChanged"_s, {100, 2100, 7000});  // away,
        signal(u"BuddyStatusChanged"_s, {100, 7000, 7001});  // then busy
        signal(u"BuddySignedOff"_s, {101});
        signal(u"BuddyStatusChanged"_s, {102, 2102, 2102});  // a new message only
        signal(u"BuddyStatusChanged"_s, {103, 2103, 7001});  // the sink fails on it
        signal(u"BuddyStatusChanged"_s, {100, 7001, 2100});  // online again
        fake_.release();
        QTRY_COMPARE(events_, (QStringList{u"status:b100:34"_s, u"status:b100:10"_s, u"status:b101:1"_s,
                                           u"error:80040305"_s, u"status:b100:2"_s}));
    }

    // A client that lets a call time out while a long list of buddies is
    // read, or that signals more changes than can wait to be read: what
    // waits is dropped and told once (not waited out batch by batch), and
    // once the client answers again its buddies are read afresh, once, and
    // changes are logged again at once.
    void backlogIsDroppedAndReadAfresh_data() {
        QTest::addColumn<int>("buddyCount");
        QTest::addColumn<int>("flood");  // status changes signalled while it holds its answers
        QTest::addColumn<int>("maxQueued");
        QTest::newRow("a call times out") << 5000 << 0 << (1 << 18);
        QTest::newRow("past the bound") << 20 << 400 << 300;
    }
    void backlogIsDroppedAndReadAfresh() {
        QFETCH(int, buddyCount);
        QFETCH(int, flood);
        QFETCH(int, maxQueued);
        buddies(buddyCount);
        const int last = 100 + buddyCount - 1;
        maxQueued_ = std::size_t(maxQueued);
        if (flood == 0) {
            holdFrom(u"BuddyGetAlias"_s);  // the reading of each buddy
        }
        const auto client = attach({}, std::chrono::milliseconds(flood == 0 ? 300 : 60000));
        set({{u"StatusGetType:7001"_s, 501}});
        if (flood > 0) {
            // Once a change is told, every buddy is known: read afresh all the same.
            set({{u"PresenceGetActiveStatus:1100"_s, 7001}});
            signal(u"BuddyStatusChanged"_s, {100, 2100, 7001});
            QTRY_COMPARE(events_, QStringList{u"status:b100:10"_s});
            events_.clear();
            holdFrom(u"BuddyGetAlias"_s);
            for (int i = 0; i < flood; ++i) {
                signal(u"BuddyStatusChanged"_s, {100 + i % buddyCount, 0, 2100 + i % buddyCount});
            }
        }
        QTRY_COMPARE(events_, QStringList{u"error:80040303"_s});
        QVERIFY(errorTexts_[0].contains(u"afresh"_s));
        QCOMPARE(errorOf([&] { client->requestMyStatus(status::kBusy); }), errc::kTimeout);
        forgetCalls();
        fake_.release();
        QTRY_VERIFY(!calls(u"^FindBuddies"_s).isEmpty());
        signal(u"BuddyStatusChanged"_s, {last, last + 2000, 7001});
        QTRY_COMPARE_WITH_TIMEOUT(events_.mid(1), QStringList{u"status:b%1:10"_s.arg(last)}, 20000);
        QCOMPARE(calls(u"^FindBuddies"_s).size(), 1);
    }

    // Start-up that gives up says so once, and leaves no connection behind.
    void startupGivesUpOnce() {
        fake_.hold();
        QCOMPARE(errorOf([&] { attach({}, std::chrono::milliseconds(60000), std::chrono::milliseconds(1500)); }),
                 errc::kTimeout);
        fake_.release();
        QCOMPARE(events_, QStringList{});
        QVERIFY(!QDBusConnection(u"quavel-purple-1"_s).isConnected());
    }

    // A group chat opens with those in the room then, whoever joins or
    // leaves before its members are read.
    void chatOpensWithThoseInTheRoom() {
        set({{u"ConversationGetType:32"_s, 2}, {u"ConversationGetChatData"_s, 33}, {u"ConvChatGetNick"_s, u"alice"_s}});
        set({{u"ConvChatGetUsers"_s, ints({1, 2, 3})}, {u"ConvChatCbGetName:1"_s, u"alice"_s}});
        set({{u"ConvChatCbGetName:2"_s, u"dave"_s}, {u"ConvChatCbGetName:3"_s, u"erin"_s}});
        const auto client = attach();
        fake_.hold();
        signal(u"ConversationCreated"_s, {32});
        signal(u"ChatBuddyJoined"_s, {32, u"erin"_s, 0, false});  // in the room already
        signal(u"ChatBuddyJoined"_s, {32, u"dave"_s, 0, true});   // came after
        signal(u"ChatBuddyJoined"_s, {32, u"frank"_s, 0, true});
        signal(u"ChatBuddyLeft"_s, {32, u"frank"_s, u""_s});
        signal(u"ChatBuddyLeft"_s, {32, u"gus"_s, u""_s});  // left after it opened
        fake_.release();
        QTRY_COMPARE(events_, QStringList{u"opened:erin+gus"_s});
    }

    // The --diagnose report: what the client shows, its signals (those while
    // it is read too) with the buddy they are about, no name or text unless
    // asked; a hung client delays it once; no client is said plainly.
    void diagnosis_data() {
        QTest::addColumn<QString>("client");
        QTest::addColumn<bool>("namesShown");
        QTest::addColumn<QStringList>("expected");
        const QStringList read{u"libpurple 2.14.12, user interface gnt-purple"_s, u"Accounts: 1"_s,
                               u"; protocol prpl-jabber; enabled; connected; status available; 1 buddy; the one"_s,
                               u"status types (id \"name\" primitive): available \"Available\" 2\n"_s,
                               u" s  BuddyStatusChanged*, 3 arguments (iii): 20, 22, 23; buddy "_s};
        QTest::newRow("names hidden") << u"there"_s << false
                                      << read + QStringList{u"Account 10: <account 1>;"_s, u"buddy <contact 1>\n"_s,
                                                            u"BlistNodeAliased*, 2 arguments (is): 20, <text 1>\n"_s};
        QTest::newRow("names shown") << u"there"_s << true
                                     << read + QStringList{u"Account 10: alice@example.org/pc;"_s,
                                                           u"buddy bob@example.org\n"_s, u"(is): 20, Bobby\n"_s};
        QTest::newRow("hangs") << u"hangs"_s << false
                               << QStringList{
                                      u"No answer within 0.5 s to PurpleCoreGetVersion"_s,
                                      u"libpurple [no answer], user interface [not asked]\nAccounts: [not asked]\n"_s};
        QTest::newRow("not there") << u"gone"_s << false << QStringList{u"Pidgin or Finch: not on this bus"_s};
    }
    void diagnosis() {
        QFETCH(QString, client);
        QFETCH(bool, namesShown);
        QFETCH(QStringList, expected);
        set({{u"AccountsGetAll"_s, ints({10})},
             {u"AccountGetProtocolId"_s, u"prpl-jabber"_s},
             {u"StatusGetId"_s, u"available"_s}});
        set({{u"AccountGetActiveStatus"_s, 12},
             {u"AccountGetStatusTypes"_s, ints({503})},
             {u"CoreGetUi"_s, u"gnt-purple"_s}});
        set({{u"StatusTypeGetId"_s, u"available"_s},
             {u"StatusTypeGetName"_s, u"Available"_s},
             {u"CoreGetVersion"_s, u"2.14.12"_s}});
        fake_.signalsAt = {
            u"AccountGetStatusTypes"_s,
            {signalOf(u"BuddyStatusChanged"_s, {20, 22, 23}), signalOf(u"BlistNodeAliased"_s, {20, u"Bobby"_s})}};
        if (client == u"hangs"_s) {
            fake_.hold();
        } else if (client == u"gone"_s) {
            leaveBus();
        }
        QString report;
        purple::diagnose(
            open(u"diagnosis"_s), u"the test's bus"_s, {}, {std::chrono::seconds(1), namesShown},
            [&report](const std::u16string& line) { report += text(line) + u'\n'; },
            std::chrono::milliseconds(client == u"hangs"_s ? 500 : kDeadlineMs));
        QDBusConnection::disconnectFromBus(u"diagnosis"_s);
        fake_.release();
        QVERIFY(client != u"gone"_s || comeBack());
        for (const QString& part : expected) {
            QVERIFY2(report.contains(part), qPrintable(part + u"\nnot in:\n"_s + report));
        }
        QVERIFY2(namesShown ||
                     !report.contains(QRegularExpression(u"alice|bob"_s, QRegularExpression::CaseInsensitiveOption)),
                 qPrintable(report));
    }

    void cleanupTestCase() {
        serviceThread_.quit();
        serviceThread_.wait();
        daemon_.kill();
        daemon_.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestPurple)
#include "tst_purple.moc"
