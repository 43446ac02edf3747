#include "messenger/purple/purple_client.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include <utility>

#include "messenger/known_contacts.h"
#include "messenger/purple/purple_status.h"
#include "messenger/status_codes.h"

namespace messenger::purple {

namespace {

// The argument lists of one call per handle.
QList<QVariantList> oneArgumentEach(const QList<std::int32_t>& handles) {
    QList<QVariantList> argumentLists;
    argumentLists.reserve(handles.size());
    for (const std::int32_t handle : handles)
        argumentLists << QVariantList{handle};
    return argumentLists;
}

// Every signal is taken as a whole message and read here: the signatures
// libpurple's introspection gives are wrong for strings and booleans.
constexpr const char* kSignals[] = {
    "AccountStatusChanged", "AccountAliasChanged", "BuddyStatusChanged", "BuddySignedOn",
    "BuddySignedOff",       "BuddyIdleChanged",    "BlistNodeAliased",   "ConversationCreated",
    "DeletingConversation", "ChatBuddyJoined",     "ChatBuddyLeft"};

constexpr std::int32_t kBuddyNode = 2;
constexpr std::int32_t kImConversation = 1;
constexpr std::int32_t kChatConversation = 2;

// "alice@example.org/laptop" signs in as "alice@example.org".
std::u16string withoutResource(const QString& name) {
    return name.section(u'/', 0, 0).toStdU16String();
}

// A conversation's member as it was when the conversation opened: by the
// time it closes, libpurple has already freed it.
class RememberedContact final : public Contact {
public:
    RememberedContact(std::u16string signinName, std::u16string friendlyName)
        : signinName_(std::move(signinName)), friendlyName_(std::move(friendlyName)) {}
    std::u16string signinName() const override { return signinName_; }
    std::u16string friendlyName() const override { return friendlyName_; }
    std::int32_t status() const override { return status::kOnline; }

private:
    std::u16string signinName_;
    std::u16string friendlyName_;
};

using Conversation = KnownConversation;

// A buddy on the user's list: its names read live from the client, its
// status the one already read for the event.
class Buddy final : public Contact {
public:
    Buddy(std::shared_ptr<PurpleBus> bus, std::int32_t handle, std::int32_t status)
        : bus_(std::move(bus)), handle_(handle), status_(status) {}
    std::u16string signinName() const override {
        return withoutResource(bus_->callString(QStringLiteral("PurpleBuddyGetName"), {handle_}));
    }
    std::u16string friendlyName() const override {
        return bus_->callString(QStringLiteral("PurpleBuddyGetAlias"), {handle_}).toStdU16String();
    }
    std::int32_t status() const override { return status_; }

private:
    std::shared_ptr<PurpleBus> bus_;
    std::int32_t handle_;
    std::int32_t status_;
};

std::int32_t intArgument(const QDBusMessage& message, int index) {
    const QVariant value = message.arguments().value(index);
    if (value.userType() != QMetaType::Int) {
        throw toError(errc::kMalformedReply, QStringLiteral("The signal %1 came with '%2'.")
                                                 .arg(message.member(), message.signature()));
    }
    return value.toInt();
}

}  // namespace

PurpleClient::PurpleClient(QDBusConnection connection, EventSink& sink, const QString& accountName,
                           std::chrono::milliseconds reattachInterval, int reattachTries)
    : bus_(std::make_shared<PurpleBus>(std::move(connection))),
      sink_(sink),
      accountName_(accountName),
      reattachTries_(reattachTries) {
    QDBusConnectionInterface* daemon = bus_->connection().interface();
    if (!bus_->connection().isConnected() || !daemon ||
        !daemon->isServiceRegistered(kService).value()) {
        throw Error(
            errc::kClassNotRegistered,
            u"No messenger client was found: neither Pidgin nor Finch is on this session's bus. "
            u"Start Pidgin or Finch and sign in, then start Quavel Logger again. To try Quavel "
            u"Logger without one, start it with --demo.");
    }
    attach();
    for (const char* signal : kSignals) {
        bus_->connection().connect(kService, kPath, kInterface, QString::fromLatin1(signal), this,
                                   SLOT(onSignal(QDBusMessage)));
    }
    watcher_ = new QDBusServiceWatcher(
        kService, bus_->connection(),
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration,
        this);
    QObject::connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
                     &PurpleClient::onClientQuit);
    QObject::connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this,
                     &PurpleClient::onClientBack);
    reattach_.setInterval(reattachInterval);
    QObject::connect(&reattach_, &QTimer::timeout, this, &PurpleClient::retryAttach);
}

PurpleClient::~PurpleClient() {
    // Ends the subscription: no signal reaches the sink after this.
    for (const char* signal : kSignals) {
        bus_->connection().disconnect(kService, kPath, kInterface, QString::fromLatin1(signal),
                                      this, SLOT(onSignal(QDBusMessage)));
    }
}

void PurpleClient::attach() {
    const QList<std::int32_t> accounts =
        bus_->callIntList(QStringLiteral("PurpleAccountsGetAllActive"));
    std::int32_t chosen = 0;
    for (const std::int32_t account : accounts) {
        if (!accountName_.isEmpty()) {
            const QString name =
                bus_->callString(QStringLiteral("PurpleAccountGetUsername"), {account});
            if (name.compare(accountName_, Qt::CaseInsensitive) == 0 ||
                name.section(u'/', 0, 0).compare(accountName_, Qt::CaseInsensitive) == 0) {
                chosen = account;
                break;
            }
        } else if (bus_->callInt(QStringLiteral("PurpleAccountIsConnected"), {account}) != 0) {
            chosen = account;
            break;
        }
    }
    if (chosen == 0 && accountName_.isEmpty() && !accounts.isEmpty()) {
        chosen = accounts.first();  // not connected yet: its sign-on comes as a status change
    }
    if (chosen == 0) {
        throw toError(
            errc::kNoAccount,
            accountName_.isEmpty()
                ? QStringLiteral(
                      "Your messenger client has no enabled account. Enable one and sign "
                      "in, then start Quavel Logger again.")
                : QStringLiteral("Your messenger client has no enabled account named %1. Start "
                                 "Quavel Logger without --account to use the first one.")
                      .arg(accountName_));
    }
    account_ = chosen;
    myAlias_ = bus_->callString(QStringLiteral("PurpleAccountGetAlias"), {account_});
    buddyStatuses_.clear();
    buddyAliases_.clear();
    conversations_.clear();
    // What each buddy shows now, so that only later changes are told. Asked
    // for all buddies at once: a list of thousands is read in a few round trips.
    const QList<std::int32_t> buddies =
        bus_->callIntList(QStringLiteral("PurpleFindBuddies"), {account_, QString()});
    const QList<QVariantList> eachBuddy = oneArgumentEach(buddies);
    const QList<QString> aliases =
        bus_->callStringEach(QStringLiteral("PurpleBuddyGetAlias"), eachBuddy);
    const QList<std::int32_t> statuses =
        statusesOfPresences(bus_->callIntEach(QStringLiteral("PurpleBuddyGetPresence"), eachBuddy));
    for (qsizetype i = 0; i < buddies.size(); ++i) {
        buddyAliases_.insert(buddies[i], aliases[i]);
        buddyStatuses_.insert(buddies[i], statuses[i]);
    }
    for (const std::int32_t conversation :
         bus_->callIntList(QStringLiteral("PurpleGetConversations"))) {
        if (bus_->callInt(QStringLiteral("PurpleConversationGetAccount"), {conversation}) ==
            account_) {
            rememberConversation(conversation);
        }
    }
}

std::int32_t PurpleClient::requireAccount() const {
    if (account_ == 0) {
        throw toError(errc::kClientGone,
                      QStringLiteral("Your messenger client has quit; Quavel Logger attaches "
                                     "again when it comes back."));
    }
    return account_;
}

std::u16string PurpleClient::mySigninName() const {
    return withoutResource(
        bus_->callString(QStringLiteral("PurpleAccountGetUsername"), {requireAccount()}));
}

std::u16string PurpleClient::myFriendlyName() const {
    return bus_->callString(QStringLiteral("PurpleAccountGetAlias"), {requireAccount()})
        .toStdU16String();
}

QList<std::int32_t> PurpleClient::statusesOfPresences(const QList<std::int32_t>& presences) const {
    const QList<std::int32_t> statuses = bus_->callIntEach(
        QStringLiteral("PurplePresenceGetActiveStatus"), oneArgumentEach(presences));
    const QList<std::int32_t> types =
        bus_->callIntEach(QStringLiteral("PurpleStatusGetType"), oneArgumentEach(statuses));
    const QList<std::int32_t> primitives =
        bus_->callIntEach(QStringLiteral("PurpleStatusTypeGetPrimitive"), oneArgumentEach(types));
    QList<QVariantList> messageArguments = oneArgumentEach(statuses);
    for (QVariantList& arguments : messageArguments)
        arguments << QStringLiteral("message");
    const QList<QString> messages =
        bus_->callStringEach(QStringLiteral("PurpleStatusGetAttrString"), messageArguments);
    const QList<std::int32_t> idle =
        bus_->callIntEach(QStringLiteral("PurplePresenceIsIdle"), oneArgumentEach(presences));
    QList<std::int32_t> result;
    result.reserve(presences.size());
    for (qsizetype i = 0; i < presences.size(); ++i) {
        result << statusFromPurple(primitives[i], messages[i].toStdU16String(), idle[i] != 0);
    }
    return result;
}

std::int32_t PurpleClient::statusOfPresence(std::int32_t presence) const {
    return statusesOfPresences({presence}).constFirst();
}

std::int32_t PurpleClient::myStatus() const {
    return statusOfPresence(
        bus_->callInt(QStringLiteral("PurpleAccountGetPresence"), {requireAccount()}));
}

std::int32_t PurpleClient::buddyStatus(std::int32_t buddy) const {
    return statusOfPresence(bus_->callInt(QStringLiteral("PurpleBuddyGetPresence"), {buddy}));
}

void PurpleClient::requestMyStatus(std::int32_t status) {
    const std::int32_t account = requireAccount();
    const auto request = purpleRequestFor(status);
    if (!request) {
        throw Error(errc::kInvalidArgument, u"Your messenger client cannot be set to that status.");
    }
    // Signing off would be "offline"; appearing offline needs an invisible
    // status, which not every service has. Say so rather than sign off.
    if (request->primitive == kInvisible &&
        bus_->callInt(QStringLiteral("PurpleAccountGetStatusTypeWithPrimitive"),
                      {account, kInvisible}) == 0) {
        throw toError(errc::kNotSupported,
                      QStringLiteral("This account's service has no way to appear offline "
                                     "while signed in; your status is unchanged."));
    }
    // As the client's own status box does: a transient saved status.
    const QString message = QString::fromStdU16String(request->message);
    std::int32_t saved =
        bus_->callInt(QStringLiteral("PurpleSavedstatusFindTransientByTypeAndMessage"),
                      {request->primitive, message});
    if (saved == 0) {
        saved =
            bus_->callInt(QStringLiteral("PurpleSavedstatusNew"), {QString(), request->primitive});
        if (!message.isEmpty()) {
            bus_->callVoid(QStringLiteral("PurpleSavedstatusSetMessage"), {saved, message});
        }
    }
    bus_->callVoid(QStringLiteral("PurpleSavedstatusActivate"), {saved});
}

std::shared_ptr<Contact> PurpleClient::buddyWithStatus(std::int32_t handle,
                                                       std::int32_t status) const {
    return std::make_shared<Buddy>(bus_, handle, status);
}

bool PurpleClient::isOurs(std::int32_t buddy) const {
    return bus_->callInt(QStringLiteral("PurpleBuddyGetAccount"), {buddy}) == account_;
}

std::vector<std::shared_ptr<Contact>> PurpleClient::membersOf(std::int32_t conversation) const {
    std::vector<std::shared_ptr<Contact>> members;
    const std::int32_t type =
        bus_->callInt(QStringLiteral("PurpleConversationGetType"), {conversation});
    if (type == kImConversation) {
        const QString name =
            bus_->callString(QStringLiteral("PurpleConversationGetName"), {conversation});
        const std::int32_t buddy =
            bus_->callInt(QStringLiteral("PurpleFindBuddy"), {account_, name});
        if (buddy != 0) {
            const Buddy live(bus_, buddy, status::kOnline);
            members.push_back(
                std::make_shared<RememberedContact>(live.signinName(), live.friendlyName()));
        } else {
            members.push_back(
                std::make_shared<RememberedContact>(withoutResource(name), withoutResource(name)));
        }
    } else if (type == kChatConversation) {
        const std::int32_t chat =
            bus_->callInt(QStringLiteral("PurpleConversationGetChatData"), {conversation});
        // The user is in the room too, but a window's contacts are the others.
        const QString ownNick = bus_->callString(QStringLiteral("PurpleConvChatGetNick"), {chat});
        for (const std::int32_t user :
             bus_->callIntList(QStringLiteral("PurpleConvChatGetUsers"), {chat})) {
            const QString name =
                bus_->callString(QStringLiteral("PurpleConvChatCbGetName"), {user});
            if (name == ownNick)
                continue;
            members.push_back(
                std::make_shared<RememberedContact>(name.toStdU16String(), name.toStdU16String()));
        }
    }
    return members;
}

void PurpleClient::rememberConversation(std::int32_t conversation) {
    conversations_.insert(conversation, membersOf(conversation));
}

void PurpleClient::onSignal(const QDBusMessage& message) {
    if (account_ == 0) {
        return;
    }
    const QString signal = message.member();
    try {
        if (signal == QStringLiteral("AccountStatusChanged")) {
            if (intArgument(message, 0) == account_) {
                sink_.myStatusChanged();
            }
        } else if (signal == QStringLiteral("AccountAliasChanged")) {
            // libpurple repeats the alias unchanged while it loads: only a
            // real change is one.
            if (intArgument(message, 0) == account_) {
                const QString alias =
                    bus_->callString(QStringLiteral("PurpleAccountGetAlias"), {account_});
                if (alias != myAlias_) {
                    myAlias_ = alias;
                    sink_.myNameChanged();
                }
            }
        } else if (signal == QStringLiteral("BuddyStatusChanged") ||
                   signal == QStringLiteral("BuddySignedOn") ||
                   signal == QStringLiteral("BuddySignedOff") ||
                   signal == QStringLiteral("BuddyIdleChanged")) {
            const std::int32_t buddy = intArgument(message, 0);
            if (isOurs(buddy)) {
                // A new status message alone is no change of status.
                const std::int32_t status = buddyStatus(buddy);
                const auto known = buddyStatuses_.constFind(buddy);
                if (known == buddyStatuses_.cend() || *known != status) {
                    buddyStatuses_.insert(buddy, status);
                    sink_.contactStatusChanged(buddyWithStatus(buddy, status));
                }
            }
        } else if (signal == QStringLiteral("BlistNodeAliased")) {
            const std::int32_t node = intArgument(message, 0);
            if (bus_->callInt(QStringLiteral("PurpleBlistNodeGetType"), {node}) == kBuddyNode &&
                isOurs(node)) {
                // The shown name may stay what it was (a local alias wins
                // over a new nickname): only a change of it is one.
                const QString alias =
                    bus_->callString(QStringLiteral("PurpleBuddyGetAlias"), {node});
                const QString previous =
                    buddyAliases_.value(node, message.arguments().value(1).toString());
                if (alias != previous) {
                    buddyAliases_.insert(node, alias);
                    sink_.contactNameChanged(
                        buddyWithStatus(node, buddyStatuses_.value(node, status::kOffline)));
                }
            }
        } else if (signal == QStringLiteral("ConversationCreated")) {
            const std::int32_t conversation = intArgument(message, 0);
            if (bus_->callInt(QStringLiteral("PurpleConversationGetAccount"), {conversation}) ==
                account_) {
                rememberConversation(conversation);
                sink_.conversationOpened(
                    std::make_shared<Conversation>(conversations_.value(conversation)));
            }
        } else if (signal == QStringLiteral("DeletingConversation")) {
            const auto members = conversations_.take(intArgument(message, 0));
            if (!members.empty()) {
                sink_.conversationClosed(std::make_shared<Conversation>(members));
            }
        } else if (signal == QStringLiteral("ChatBuddyJoined") ||
                   signal == QStringLiteral("ChatBuddyLeft")) {
            const std::int32_t conversation = intArgument(message, 0);
            if (conversations_.contains(conversation)) {
                rememberConversation(conversation);
            }
        }
    } catch (const Error& error) {
        // A signal about an object already gone, or a malformed one: the
        // program hears of it like any failed call.
        sink_.clientFailed(error);
    }
}

void PurpleClient::onClientQuit() {
    if (account_ == 0) {
        return;
    }
    account_ = 0;
    reattach_.stop();
    sink_.clientFailed(
        toError(errc::kClientGone, QStringLiteral("Your messenger client has quit. The log is "
                                                  "kept; Quavel Logger attaches again when it "
                                                  "comes back.")));
}

void PurpleClient::onClientBack() {
    // The client takes its name on the bus a moment before its account is
    // ready: try for a while.
    reattachTriesLeft_ = reattachTries_;
    reattach_.start();
}

void PurpleClient::retryAttach() {
    try {
        attach();
        if (bus_->callInt(QStringLiteral("PurpleAccountIsConnected"), {account_}) == 0 &&
            --reattachTriesLeft_ > 0) {
            account_ = 0;
            return;
        }
        reattach_.stop();
        sink_.myStatusChanged();
    } catch (const Error& error) {
        account_ = 0;
        if (--reattachTriesLeft_ <= 0) {
            reattach_.stop();
            sink_.clientFailed(error);
        }
    }
}

std::unique_ptr<Client> connect(EventSink& sink, const QString& accountName,
                                QDBusConnection connection) {
    return std::make_unique<PurpleClient>(std::move(connection), sink, accountName);
}

}  // namespace messenger::purple
