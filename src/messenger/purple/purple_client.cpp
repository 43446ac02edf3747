#include "messenger/purple/purple_client.h"

#include <QEventLoop>

#include <utility>

#include "messenger/known_contacts.h"
#include "messenger/purple/reads.h"
#include "messenger/status_codes.h"

namespace messenger::purple {

namespace {

const QStringList kSignals = {
    QStringLiteral("AccountStatusChanged"), QStringLiteral("AccountAliasChanged"),
    QStringLiteral("AccountSignedOn"),      QStringLiteral("AccountSignedOff"),
    QStringLiteral("AccountDisabled"),      QStringLiteral("AccountRemoved"),
    QStringLiteral("AccountEnabled"),       QStringLiteral("BuddyStatusChanged"),
    QStringLiteral("BuddySignedOn"),        QStringLiteral("BuddySignedOff"),
    QStringLiteral("BuddyIdleChanged"),     QStringLiteral("BlistNodeAliased"),
    QStringLiteral("ConversationCreated"),  QStringLiteral("DeletingConversation"),
    QStringLiteral("ChatBuddyJoined"),      QStringLiteral("ChatBuddyLeft")};

constexpr std::int32_t kBuddyNode = 2;
constexpr std::int32_t kImConversation = 1;
constexpr std::int32_t kChatConversation = 2;

// "alice@example.org/laptop" signs in as "alice@example.org".
QString withoutResource(const QString& name) {
    return name.section(u'/', 0, 0);
}

// A contact as the client described it for one event.
class ContactSnapshot final : public Contact {
public:
    ContactSnapshot(const QString& signinName, const QString& friendlyName, std::int32_t status)
        : signinName_(signinName.toStdU16String()),
          friendlyName_(friendlyName.toStdU16String()),
          status_(status) {}
    std::u16string signinName() const override { return signinName_; }
    std::u16string friendlyName() const override { return friendlyName_; }
    std::int32_t status() const override { return status_; }

private:
    std::u16string signinName_;
    std::u16string friendlyName_;
    std::int32_t status_;
};

std::int32_t intArgument(const QDBusMessage& message, int index) {
    const QVariant value = message.arguments().value(index);
    if (value.userType() != QMetaType::Int) {
        throw toError(errc::kMalformedReply,
                      QStringLiteral("Your messenger client sent %1 with '%2', which Quavel "
                                     "Logger cannot read.")
                          .arg(message.member(), message.signature()));
    }
    return value.toInt();
}

// Keys of sign-ons still being read: buddies and accounts apart.
qint64 buddyKey(std::int32_t buddy) {
    return buddy;
}
qint64 accountKey(std::int32_t account) {
    return -qint64(account) - 1;
}

}  // namespace

// A sign-on's status being read: a status change signalled before the
// answer came began from the status the sign-on brought.
struct SignOn {
    std::int32_t laterOld = 0;
    bool answered = false;
};

struct PurpleClient::BuddyEvent {
    std::int32_t handle = 0;
    std::int32_t account = 0;
    std::int32_t presenceHandle = 0;
    QString name;
    QString alias;
    bool known = false;                   // if not, `current` was read
    Presence current;                     // what the buddy shows, for one not known yet
    std::optional<Presence> signalled;    // primitive and message the event brought
    std::optional<bool> idle;             // idleness the event brought
    std::optional<QString> aliasBefore;   // the shown name before, as the signal said
    bool nameEvent = false;
};

struct PurpleClient::AccountChoice {
    QList<std::int32_t> candidates;
    QStringList names;
    QList<std::int32_t> connected;
    std::optional<AccountFacts> chosen;
};

struct PurpleClient::Members {
    std::int32_t account = 0;
    std::int32_t type = 0;
    QString ownNick;
    QStringList names;
    QStringList aliases;
    std::vector<std::shared_ptr<Contact>> contacts() const;
};

std::vector<std::shared_ptr<Contact>> PurpleClient::Members::contacts() const {
    std::vector<std::shared_ptr<Contact>> members;
    for (qsizetype i = 0; i < names.size(); ++i) {
        // The user is in a room too, but a window's contacts are the others.
        if (type == kChatConversation && names[i] == ownNick) {
            continue;
        }
        members.push_back(
            std::make_shared<ContactSnapshot>(names[i], aliases.value(i, names[i]), status::kOnline));
    }
    return members;
}

std::int32_t PurpleClient::Presence::status() const {
    return statusFromPurple(primitive, message.toStdU16String(), idle);
}

PurpleClient::PurpleClient(OpenBus openBus, EventSink& sink, const QString& accountName,
                           Timing timing)
    : openBus_(std::move(openBus)), sink_(sink), accountName_(accountName), timing_(timing) {
    const Error notFound(
        errc::kClassNotRegistered,
        u"No messenger client was found: neither Pidgin nor Finch is on this session's bus. "
        u"Start Pidgin or Finch and sign in, then start Quavel Logger again. To try Quavel "
        u"Logger without one, start it with --demo.");
    reattach_.setInterval(timing_.reattachInterval);
    QObject::connect(&reattach_, &QTimer::timeout, this, &PurpleClient::tryAttach);
    busRetry_.setSingleShot(true);
    QObject::connect(&busRetry_, &QTimer::timeout, this, &PurpleClient::tryBus);
    if (!connectBus() || !bus_->clientIsThere()) {
        throw notFound;
    }
    // Before the window shows, the program may wait: a bounded time.
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    bool done = false;
    std::optional<Error> failure;
    auto choice = std::make_shared<AccountChoice>();
    inLine([&](Reads& reads) { readAccount(reads, 0, choice); },
           [&] {
               done = true;
               loop.quit();
           },
           [&](const Error& error) {
               failure = error;
               done = true;
               loop.quit();
           });
    if (!done) {
        timeout.start(timing_.startupTimeout);
        loop.exec();
    }
    if (!done) {
        order_.clear();
        throw toError(errc::kTimeout,
                      QStringLiteral("Your messenger client did not answer within %1 seconds. "
                                     "Wait until Pidgin or Finch answers again, then start "
                                     "Quavel Logger again.")
                          .arg(timing_.startupTimeout.count() / 1000.0));
    }
    if (failure) {
        throw failure->number() == errc::kClientGone ? notFound : *failure;
    }
    if (!choice->chosen) {
        throw noAccountError();
    }
    adopt(*choice->chosen, false);
    readBaseline();
}

PurpleClient::~PurpleClient() {
    retireBus();
}

bool PurpleClient::connectBus() {
    const QString name = QStringLiteral("quavel-purple-%1").arg(++busGeneration_);
    QDBusConnection connection = openBus_(name);
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(name);
        return false;
    }
    busName_ = connection.name();
    bus_ = new PurpleBus(connection, kSignals, timing_.patience);
    bus_->setParent(this);
    QObject::connect(bus_, &PurpleBus::signalReceived, this, &PurpleClient::onSignal);
    QObject::connect(bus_, &PurpleBus::clientLeft, this, &PurpleClient::onClientLeft);
    QObject::connect(bus_, &PurpleBus::clientArrived, this, &PurpleClient::onClientArrived);
    QObject::connect(bus_, &PurpleBus::busLost, this, &PurpleClient::onBusLost);
    QObject::connect(bus_, &PurpleBus::clientNotAnswering, this, [this] {
        sink_.clientFailed(
            toError(errc::kTimeout,
                    QStringLiteral("Your messenger client has not answered for %1 seconds. "
                                   "Quavel Logger keeps waiting, and logs what happened once "
                                   "it answers.")
                        .arg(timing_.patience.count() / 1000.0)));
    });
    return true;
}

void PurpleClient::retireBus() {
    order_.clear();
    if (!bus_) {
        return;
    }
    bus_->retire();
    bus_->deleteLater();
    bus_ = nullptr;
    // Only a connection opened for this binding is closed by it.
    if (busName_.startsWith(QStringLiteral("quavel-purple-"))) {
        QDBusConnection::disconnectFromBus(busName_);
    }
}

Error PurpleClient::noAccountError() const {
    return toError(errc::kNoAccount,
                   accountName_.isEmpty()
                       ? QStringLiteral("Your messenger client has no enabled account. Enable "
                                        "one and sign in, then start Quavel Logger again.")
                       : QStringLiteral("Your messenger client has no enabled account named %1. "
                                        "Start Quavel Logger without --account to use the "
                                        "first one.")
                             .arg(accountName_));
}

std::u16string PurpleClient::mySigninName() const {
    return mySigninName_.toStdU16String();
}

std::u16string PurpleClient::myFriendlyName() const {
    return myAlias_.toStdU16String();
}

std::int32_t PurpleClient::myStatus() const {
    return account_ != 0 && connected_ ? me_.status() : status::kOffline;
}

// ---- Reading --------------------------------------------------------------

void PurpleClient::inLine(const std::function<void(Reads&)>& ask, std::function<void()> deliver,
                          std::function<void(const Error&)> failed) {
    if (!bus_) {
        return;
    }
    if (!failed) {
        failed = [this](const Error& error) {
            // The client leaving is told once, when it leaves.
            if (error.number() != errc::kClientGone) {
                sink_.clientFailed(error);
            }
        };
    }
    const EventOrder::Place place = order_.reserve();
    auto reads = Reads::make(*bus_, [this, place, deliver = std::move(deliver),
                                     failed = std::move(failed)](
                                        const std::optional<Error>& failure) {
        if (failure) {
            order_.fill(place, [failed, error = *failure] { failed(error); });
        } else {
            order_.fill(place, deliver);
        }
    });
    ask(*reads);
    reads->start();
}

void PurpleClient::readStatusOf(Reads& reads, std::int32_t statusHandle, Presence& into) {
    reads.readString(QStringLiteral("PurpleStatusGetAttrString"),
                     {statusHandle, QStringLiteral("message")},
                     [&into](const QString& message) { into.message = message; });
    auto primitiveOf = [this, r = &reads, &into](std::int32_t type) {
        if (const auto known = typePrimitives_.constFind(type); known != typePrimitives_.cend()) {
            into.primitive = *known;
            return;
        }
        r->readInt(QStringLiteral("PurpleStatusTypeGetPrimitive"), {type},
                   [this, type, &into](std::int32_t primitive) {
                       typePrimitives_.insert(type, primitive);
                       into.primitive = primitive;
                   });
    };
    if (const auto known = statusTypes_.constFind(statusHandle); known != statusTypes_.cend()) {
        primitiveOf(*known);
        return;
    }
    reads.readInt(QStringLiteral("PurpleStatusGetType"), {statusHandle},
                  [this, statusHandle, primitiveOf](std::int32_t type) {
                      statusTypes_.insert(statusHandle, type);
                      primitiveOf(type);
                  });
}

void PurpleClient::readPresence(Reads& reads, std::int32_t presence,
                                const std::shared_ptr<SignOn>& signOn, Presence& into) {
    reads.readInt(QStringLiteral("PurplePresenceIsIdle"), {presence},
                  [&into](std::int32_t idle) { into.idle = idle != 0; });
    reads.readInt(QStringLiteral("PurplePresenceGetActiveStatus"), {presence},
                  [this, r = &reads, signOn, &into](std::int32_t active) {
                      // A change signalled before this answer came began from
                      // the status the sign-on brought.
                      if (signOn) {
                          signOn->answered = true;
                      }
                      const bool changedSince = signOn && signOn->laterOld != 0;
                      readStatusOf(*r, changedSince ? signOn->laterOld : active, into);
                  });
}

void PurpleClient::readBuddy(Reads& reads, std::int32_t buddy, BuddyEvent& into,
                             const std::shared_ptr<SignOn>& signOn) {
    into.handle = buddy;
    reads.readString(QStringLiteral("PurpleBuddyGetAlias"), {buddy},
                     [&into](const QString& alias) { into.alias = alias; });
    if (const auto known = buddies_.constFind(buddy); known != buddies_.cend()) {
        into.known = true;
        into.account = known->account;
        into.name = known->name;
        into.presenceHandle = known->presenceHandle;
        if (signOn) {
            readPresence(reads, into.presenceHandle, signOn, into.current);
        }
        return;
    }
    reads.readInt(QStringLiteral("PurpleBuddyGetAccount"), {buddy},
                  [&into](std::int32_t account) { into.account = account; });
    reads.readString(QStringLiteral("PurpleBuddyGetName"), {buddy},
                     [&into](const QString& name) { into.name = withoutResource(name); });
    reads.readInt(QStringLiteral("PurpleBuddyGetPresence"), {buddy},
                  [this, r = &reads, signOn, &into](std::int32_t presence) {
                      into.presenceHandle = presence;
                      readPresence(*r, presence, signOn, into.current);
                  });
}

void PurpleClient::readMembers(Reads& reads, std::int32_t conversation, Members& into) {
    reads.readInt(QStringLiteral("PurpleConversationGetAccount"), {conversation},
                  [&into](std::int32_t account) { into.account = account; });
    reads.readInt(
        QStringLiteral("PurpleConversationGetType"), {conversation},
        [this, r = &reads, conversation, &into](std::int32_t type) {
            into.type = type;
            if (type == kImConversation) {
                into.names = into.aliases = QStringList{QString()};
                r->readString(
                    QStringLiteral("PurpleConversationGetName"), {conversation},
                    [this, r, &into](const QString& name) {
                        into.names[0] = into.aliases[0] = withoutResource(name);
                        // Shown as the buddy, if the other is one.
                        r->readInt(QStringLiteral("PurpleFindBuddy"), {account_, name},
                                   [r, &into](std::int32_t buddy) {
                                       if (buddy == 0) {
                                           return;
                                       }
                                       r->readString(QStringLiteral("PurpleBuddyGetName"),
                                                     {buddy}, [&into](const QString& name) {
                                                         into.names[0] = withoutResource(name);
                                                     });
                                       r->readString(
                                           QStringLiteral("PurpleBuddyGetAlias"), {buddy},
                                           [&into](const QString& alias) {
                                               into.aliases[0] = alias;
                                           });
                                   });
                    });
            } else if (type == kChatConversation) {
                r->readInt(
                    QStringLiteral("PurpleConversationGetChatData"), {conversation},
                    [r, &into](std::int32_t chat) {
                        r->readString(QStringLiteral("PurpleConvChatGetNick"), {chat},
                                      [&into](const QString& nick) { into.ownNick = nick; });
                        r->readInts(
                            QStringLiteral("PurpleConvChatGetUsers"), {chat},
                            [r, &into](const QList<std::int32_t>& users) {
                                into.names = QStringList(users.size());
                                for (qsizetype i = 0; i < users.size(); ++i) {
                                    r->readString(QStringLiteral("PurpleConvChatCbGetName"),
                                                  {users[i]}, [i, &into](const QString& name) {
                                                      into.names[i] = name;
                                                  });
                                }
                            });
                    });
            }
        });
}

void PurpleClient::readAccount(Reads& reads, std::int32_t excluded,
                               const std::shared_ptr<AccountChoice>& choice) {
    reads.readInts(
        QStringLiteral("PurpleAccountsGetAllActive"), {},
        [this, r = &reads, excluded, choice](QList<std::int32_t> accounts) {
            accounts.removeAll(excluded);
            choice->candidates = accounts;
            choice->names = QStringList(accounts.size());
            choice->connected = QList<std::int32_t>(accounts.size());
            auto each = r->together([this, r, choice] { readChosen(*r, choice); });
            for (qsizetype i = 0; i < accounts.size(); ++i) {
                each->readString(QStringLiteral("PurpleAccountGetUsername"), {accounts[i]},
                                 [choice, i](const QString& name) { choice->names[i] = name; });
                each->readInt(QStringLiteral("PurpleAccountIsConnected"), {accounts[i]},
                              [choice, i](std::int32_t on) { choice->connected[i] = on; });
            }
            each->start();
        });
}

void PurpleClient::readChosen(Reads& reads, const std::shared_ptr<AccountChoice>& choice) {
    qsizetype chosen = -1;
    for (qsizetype i = 0; i < choice->candidates.size() && chosen < 0; ++i) {
        const QString& name = choice->names[i];
        if (accountName_.isEmpty() ? choice->connected[i] != 0
                                   : name.compare(accountName_, Qt::CaseInsensitive) == 0 ||
                                         withoutResource(name).compare(
                                             accountName_, Qt::CaseInsensitive) == 0) {
            chosen = i;
        }
    }
    if (chosen < 0 && accountName_.isEmpty() && !choice->candidates.isEmpty()) {
        chosen = 0;  // not signed in yet: its sign-on comes as a status change
    }
    if (chosen < 0) {
        return;
    }
    choice->chosen = AccountFacts{choice->candidates[chosen], withoutResource(choice->names[chosen]),
                                  QString(), 0, choice->connected[chosen] != 0, Presence{}};
    AccountFacts& facts = *choice->chosen;
    reads.readString(QStringLiteral("PurpleAccountGetAlias"), {facts.handle},
                     [&facts](const QString& alias) { facts.alias = alias; });
    reads.readInt(QStringLiteral("PurpleAccountGetPresence"), {facts.handle},
                  [this, r = &reads, &facts](std::int32_t presence) {
                      facts.presenceHandle = presence;
                      readPresence(*r, presence, nullptr, facts.presence);
                  });
}

// What every buddy and open conversation shows now, so that only later
// changes are told. Read after the window shows: a long list takes a while.
void PurpleClient::readBaseline() {
    struct Baseline {
        std::vector<BuddyEvent> buddies;
        std::vector<std::pair<std::int32_t, Members>> conversations;
    };
    auto baseline = std::make_shared<Baseline>();
    inLine(
        [this, baseline](Reads& reads) {
            reads.readInts(QStringLiteral("PurpleFindBuddies"), {account_, QString()},
                           [this, r = &reads, baseline](const QList<std::int32_t>& buddies) {
                               baseline->buddies.resize(std::size_t(buddies.size()));
                               for (qsizetype i = 0; i < buddies.size(); ++i) {
                                   readBuddy(*r, buddies[i], baseline->buddies[std::size_t(i)],
                                             nullptr);
                               }
                           });
            reads.readInts(QStringLiteral("PurpleGetConversations"), {},
                           [this, r = &reads, baseline](const QList<std::int32_t>& conversations) {
                               baseline->conversations.resize(std::size_t(conversations.size()));
                               for (qsizetype i = 0; i < conversations.size(); ++i) {
                                   auto& [handle, members] = baseline->conversations[std::size_t(i)];
                                   handle = conversations[i];
                                   readMembers(*r, handle, members);
                               }
                           });
        },
        [this, baseline] {
            for (const BuddyEvent& buddy : baseline->buddies) {
                if (buddy.account == account_) {
                    buddies_.insert(buddy.handle, KnownBuddy{buddy.account, buddy.name,
                                                             buddy.presenceHandle, buddy.current});
                    // What the client shows now counts as told, unless
                    // something was told of the contact before.
                    if (!told_.contains(buddy.name)) {
                        told_.insert(buddy.name, Told{buddy.current.status(), buddy.alias});
                    }
                }
            }
            for (const auto& [handle, members] : baseline->conversations) {
                if (members.account == account_) {
                    conversations_.insert(handle, members.contacts());
                }
            }
        });
}

// ---- The user's account ---------------------------------------------------

void PurpleClient::adopt(const AccountFacts& account, bool tell) {
    const bool renamed = account.alias != myAlias_;
    if (account.name != mySigninName_) {
        told_.clear();  // another account: other contacts
    }
    account_ = account.handle;
    mySigninName_ = account.name;
    myAlias_ = account.alias;
    connected_ = account.connected;
    me_ = account.presence;
    clientThere_ = true;
    buddies_.clear();
    conversations_.clear();
    if (!tell) {
        toldMyStatus_ = myStatus();
        return;
    }
    if (renamed) {
        sink_.myNameChanged();
    }
    tellMyStatus();
}

void PurpleClient::tellMyStatus() {
    const std::int32_t status = myStatus();
    if (status != toldMyStatus_) {
        toldMyStatus_ = status;
        sink_.myStatusChanged();
    }
}

void PurpleClient::lose(const Error& error) {
    order_.clear();
    reattach_.stop();
    attaching_ = false;
    statusTypes_.clear();
    typePrimitives_.clear();
    signOnsReading_.clear();
    if (!clientThere_) {
        return;
    }
    clientThere_ = false;
    account_ = 0;
    sink_.clientFailed(error);
    tellMyStatus();
}

void PurpleClient::onClientLeft() {
    lose(toError(errc::kClientGone,
                 QStringLiteral("Your messenger client has quit. The log is kept; Quavel Logger "
                                "attaches again when it comes back.")));
}

void PurpleClient::onClientArrived() {
    reattachTriesLeft_ = timing_.reattachTries;
    reattach_.start();
    tryAttach();
}

void PurpleClient::tryAttach() {
    if (attaching_ || !bus_) {
        return;
    }
    attaching_ = true;
    auto choice = std::make_shared<AccountChoice>();
    inLine([this, choice](Reads& reads) { readAccount(reads, 0, choice); },
           [this, choice] {
               attaching_ = false;
               if (choice->chosen) {
                   reattach_.stop();
                   adopt(*choice->chosen, true);
                   readBaseline();
               } else {
                   // The client takes its name on the bus a moment before its
                   // accounts are loaded.
                   attachFailed(noAccountError());
               }
           },
           [this](const Error& error) {
               attaching_ = false;
               if (error.number() == errc::kClientGone) {
                   reattach_.stop();  // not there (yet): it is waited for
               } else {
                   attachFailed(error);
               }
           });
}

void PurpleClient::attachFailed(const Error& error) {
    if (--reattachTriesLeft_ <= 0) {
        reattach_.stop();
        clientThere_ = true;  // there, without an account to log
        sink_.clientFailed(error);
    }
}

void PurpleClient::onBusLost() {
    retireBus();
    lose(toError(errc::kClientGone,
                 QStringLiteral("The session bus went away, and your messenger client with it. "
                                "The log is kept; Quavel Logger attaches again when a client is "
                                "there.")));
    busRetryDelay_ = timing_.busRetryFirst;
    busRetry_.start(busRetryDelay_);
}

void PurpleClient::tryBus() {
    if (connectBus()) {
        reattachTriesLeft_ = timing_.reattachTries;
        tryAttach();
        return;
    }
    busRetryDelay_ = std::min(busRetryDelay_ * 2, timing_.busRetryLast);
    busRetry_.start(busRetryDelay_);
}

void PurpleClient::notFollowedAnyMore(std::int32_t account, const QString& what,
                                      const std::shared_ptr<AccountChoice>& choice) {
    if (account != account_) {
        return;
    }
    const QString next =
        choice->chosen
            ? QStringLiteral("Quavel Logger now logs %1.").arg(choice->chosen->name)
            : QStringLiteral("No other account is enabled; Quavel Logger logs the next one "
                             "you enable.");
    sink_.clientFailed(toError(
        errc::kNoAccount,
        QStringLiteral("Your account %1 was %2 in your messenger client. ").arg(mySigninName_, what) +
            next));
    if (choice->chosen) {
        adopt(*choice->chosen, true);
        readBaseline();
    } else {
        account_ = 0;
        tellMyStatus();
    }
}

// ---- Requests -------------------------------------------------------------

void PurpleClient::requestMyStatus(std::int32_t status) {
    if (account_ == 0 || !bus_) {
        throw toError(errc::kNoAccount,
                      QStringLiteral("No account of your messenger client is being logged, so "
                                     "there is no status to set. Enable an account in Pidgin "
                                     "or Finch first."));
    }
    if (!connected_) {
        throw toError(errc::kNotSignedIn,
                      QStringLiteral("Your account %1 is not signed in, so its status cannot be "
                                     "set. Sign in in your messenger client first.")
                          .arg(mySigninName_));
    }
    const auto request = purpleRequestFor(status);
    if (!request) {
        throw Error(errc::kInvalidArgument, u"Your messenger client cannot be set to that status.");
    }
    // The answer comes as a status change; a failure is told when it comes.
    auto reads = Reads::make(*bus_, [this](const std::optional<Error>& failure) {
        if (failure && failure->number() != errc::kClientGone) {
            sink_.clientFailed(*failure);
        }
    });
    const QString message = QString::fromStdU16String(request->message);
    const std::int32_t primitive = request->primitive;
    // As the client's own status box does: a transient saved status.
    auto activate = [r = reads.get(), message, primitive] {
        r->readInt(QStringLiteral("PurpleSavedstatusFindTransientByTypeAndMessage"),
                   {primitive, message}, [r, message, primitive](std::int32_t saved) {
                       if (saved != 0) {
                           r->call(QStringLiteral("PurpleSavedstatusActivate"), {saved});
                           return;
                       }
                       r->readInt(QStringLiteral("PurpleSavedstatusNew"), {QString(), primitive},
                                  [r, message](std::int32_t created) {
                                      if (!message.isEmpty()) {
                                          r->call(QStringLiteral("PurpleSavedstatusSetMessage"),
                                                  {created, message});
                                      }
                                      r->call(QStringLiteral("PurpleSavedstatusActivate"),
                                              {created});
                                  });
                   });
    };
    if (primitive == kInvisible) {
        // Signing off would be "offline"; appearing offline needs an
        // invisible status, which not every service has. Say so rather
        // than sign off.
        reads->readInt(QStringLiteral("PurpleAccountGetStatusTypeWithPrimitive"),
                       {account_, kInvisible}, [r = reads.get(), activate](std::int32_t type) {
                           if (type == 0) {
                               r->fail(toError(errc::kNotSupported,
                                               QStringLiteral("This account's service has no way "
                                                              "to appear offline while signed "
                                                              "in; your status is unchanged.")));
                               return;
                           }
                           activate();
                       });
    } else {
        activate();
    }
    reads->start();
}

// ---- Signals --------------------------------------------------------------

void PurpleClient::onSignal(const QDBusMessage& message) {
    try {
        handleSignal(message);
    } catch (const Error& error) {
        // A signal that cannot be read is a failure, told in its turn.
        order_.fill(order_.reserve(), [this, error] { sink_.clientFailed(error); });
    }
}

void PurpleClient::claimSignOn(qint64 key, std::int32_t old) {
    if (const auto signOn = signOnsReading_.take(key).lock(); signOn && !signOn->answered) {
        signOn->laterOld = old;
    }
}

void PurpleClient::handleSignal(const QDBusMessage& message) {
    if (!clientThere_) {
        return;  // attaching again: what it reads is the state from then on
    }
    const QString signal = message.member();
    const std::int32_t subject = intArgument(message, 0);
    if (signal.startsWith(QStringLiteral("Account"))) {
        // Which account is the user's is known in its turn: whether a
        // signal is about it is decided on delivery.
        handleAccountSignal(signal, subject, message);
    } else if (signal.startsWith(QStringLiteral("Buddy")) ||
               signal == QStringLiteral("BlistNodeAliased")) {
        handleBuddySignal(signal, subject, message);
    } else {
        handleConversationSignal(signal, subject);
    }
}

void PurpleClient::handleAccountSignal(const QString& signal, std::int32_t account,
                                       const QDBusMessage& message) {
    auto presence = std::make_shared<Presence>();
    if (signal == QStringLiteral("AccountStatusChanged")) {
        claimSignOn(accountKey(account), intArgument(message, 1));
        const std::int32_t now = intArgument(message, 2);
        inLine([this, now, presence](Reads& reads) { readStatusOf(reads, now, *presence); },
               [this, account, presence] {
                   if (account == account_) {
                       me_.primitive = presence->primitive;
                       me_.message = presence->message;
                       tellMyStatus();
                   }
               });
    } else if (signal == QStringLiteral("AccountSignedOn")) {
        auto signOn = std::make_shared<SignOn>();
        signOnsReading_.insert(accountKey(account), signOn);
        inLine(
            [this, account, signOn, presence](Reads& reads) {
                reads.readInt(QStringLiteral("PurpleAccountGetPresence"), {account},
                              [this, r = &reads, signOn, presence](std::int32_t handle) {
                                  readPresence(*r, handle, signOn, *presence);
                              });
            },
            [this, account, presence] {
                if (account == account_) {
                    connected_ = true;
                    me_ = *presence;
                    tellMyStatus();
                }
            });
    } else if (signal == QStringLiteral("AccountSignedOff")) {
        inLine([](Reads&) {},
               [this, account] {
                   if (account == account_) {
                       connected_ = false;
                       tellMyStatus();
                   }
               });
    } else if (signal == QStringLiteral("AccountAliasChanged")) {
        // libpurple repeats the alias unchanged while it loads: only a real
        // change is one.
        auto alias = std::make_shared<QString>();
        inLine(
            [account, alias](Reads& reads) {
                reads.readString(QStringLiteral("PurpleAccountGetAlias"), {account},
                                 [alias](const QString& value) { *alias = value; });
            },
            [this, account, alias] {
                if (account == account_ && *alias != myAlias_) {
                    myAlias_ = *alias;
                    sink_.myNameChanged();
                }
            });
    } else {  // disabled, removed or enabled: which account to follow now
        const bool gone = signal != QStringLiteral("AccountEnabled");
        auto choice = std::make_shared<AccountChoice>();
        inLine([this, account, gone, choice](
                   Reads& reads) { readAccount(reads, gone ? account : 0, choice); },
               [this, account, gone, signal, choice] {
                   if (gone) {
                       notFollowedAnyMore(account,
                                          signal == QStringLiteral("AccountDisabled")
                                              ? QStringLiteral("disabled")
                                              : QStringLiteral("removed"),
                                          choice);
                   } else if (account_ == 0 && choice->chosen) {
                       adopt(*choice->chosen, true);
                       readBaseline();
                   }
               });
    }
}

void PurpleClient::handleBuddySignal(const QString& signal, std::int32_t buddy,
                                     const QDBusMessage& message) {
    auto event = std::make_shared<BuddyEvent>();
    std::function<void(Reads&)> ask;
    if (signal == QStringLiteral("BuddyStatusChanged")) {
        // The signal names the new status itself: read that, not what the
        // buddy shows by the time the reads are answered.
        claimSignOn(buddyKey(buddy), intArgument(message, 1));
        const std::int32_t now = intArgument(message, 2);
        event->signalled = Presence{};
        ask = [this, buddy, now, event](Reads& reads) {
            readBuddy(reads, buddy, *event, nullptr);
            readStatusOf(reads, now, *event->signalled);
        };
    } else if (signal == QStringLiteral("BuddySignedOn")) {
        auto signOn = std::make_shared<SignOn>();
        signOnsReading_.insert(buddyKey(buddy), signOn);
        ask = [this, buddy, event, signOn](Reads& reads) {
            readBuddy(reads, buddy, *event, signOn);
        };
    } else if (signal == QStringLiteral("BuddySignedOff")) {
        event->signalled = Presence{kOffline, QString(), false};
        ask = [this, buddy, event](Reads& reads) { readBuddy(reads, buddy, *event, nullptr); };
    } else if (signal == QStringLiteral("BuddyIdleChanged")) {
        event->idle = intArgument(message, 2) != 0;
        ask = [this, buddy, event](Reads& reads) { readBuddy(reads, buddy, *event, nullptr); };
    } else if (signal == QStringLiteral("BlistNodeAliased")) {
        event->nameEvent = true;
        if (const QVariant before = message.arguments().value(1);
            before.userType() == QMetaType::QString) {
            event->aliasBefore = before.toString();
        }
        ask = [this, buddy, event](Reads& reads) {
            reads.readInt(QStringLiteral("PurpleBlistNodeGetType"), {buddy},
                          [this, r = &reads, buddy, event](std::int32_t type) {
                              if (type == kBuddyNode) {
                                  readBuddy(*r, buddy, *event, nullptr);
                              }
                          });
        };
    } else {
        return;
    }
    inLine(ask, [this, event] {
        if (event->handle != 0) {
            deliverBuddy(*event);
        }
    });
}

void PurpleClient::deliverBuddy(const BuddyEvent& event) {
    if (event.account != account_) {
        return;
    }
    auto known = buddies_.find(event.handle);
    if (known == buddies_.end()) {
        // Added since attaching: its first status is told.
        known = buddies_.insert(event.handle, KnownBuddy{event.account, event.name,
                                                         event.presenceHandle, event.current});
        if (!told_.contains(event.name)) {
            told_.insert(event.name, Told{-1, event.aliasBefore.value_or(event.alias)});
        }
    } else if (!event.signalled && !event.idle && !event.nameEvent) {
        known->presence = event.current;  // a sign-on
    }
    KnownBuddy& buddy = *known;
    if (event.signalled) {
        buddy.presence.primitive = event.signalled->primitive;
        buddy.presence.message = event.signalled->message;
    }
    if (event.idle) {
        buddy.presence.idle = *event.idle;
    }
    const std::int32_t status = buddy.presence.status();
    Told& told = told_[buddy.name];
    if (event.nameEvent) {
        // The shown name may stay what it was (a local alias wins over a
        // new nickname): only a change of it is one.
        if (event.alias != told.alias) {
            told.alias = event.alias;
            sink_.contactNameChanged(
                std::make_shared<ContactSnapshot>(buddy.name, event.alias, status));
        }
        return;
    }
    if (status != told.status) {
        told.status = status;
        sink_.contactStatusChanged(
            std::make_shared<ContactSnapshot>(buddy.name, event.alias, status));
    }
}

void PurpleClient::handleConversationSignal(const QString& signal, std::int32_t conversation) {
    if (signal == QStringLiteral("ConversationCreated")) {
        followed_.insert(conversation);
        auto members = std::make_shared<Members>();
        inLine([this, conversation, members](
                   Reads& reads) { readMembers(reads, conversation, *members); },
               [this, conversation, members] {
                   if (members->account != account_) {
                       return;
                   }
                   conversations_.insert(conversation, members->contacts());
                   sink_.conversationOpened(
                       std::make_shared<KnownConversation>(conversations_.value(conversation)));
               });
    } else if (signal == QStringLiteral("DeletingConversation")) {
        followed_.remove(conversation);
        // libpurple frees the conversation before it says so: its members
        // are the ones remembered.
        inLine([](Reads&) {},
               [this, conversation] {
                   const auto members = conversations_.take(conversation);
                   if (!members.empty()) {
                       sink_.conversationClosed(std::make_shared<KnownConversation>(members));
                   }
               });
    } else if (followed_.contains(conversation)) {  // someone joined or left a chat
        auto members = std::make_shared<Members>();
        inLine([this, conversation, members](
                   Reads& reads) { readMembers(reads, conversation, *members); },
               [this, conversation, members] {
                   if (conversations_.contains(conversation)) {
                       conversations_.insert(conversation, members->contacts());
                   }
               });
    }
}

std::unique_ptr<Client> connect(EventSink& sink, const QString& accountName) {
    return std::make_unique<PurpleClient>(
        [](const QString& name) {
            return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        },
        sink, accountName, PurpleClient::Timing{});
}

}  // namespace messenger::purple
