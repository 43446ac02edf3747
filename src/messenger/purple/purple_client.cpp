#include "messenger/purple/purple_client.h"

#include <QEventLoop>

#include <utility>

#include "messenger/purple/call_group.h"
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

}  // namespace

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
    bool found = false;
    std::optional<Error> failure;
    attachInLine(
        0,
        [&](const std::optional<AccountFacts>& chosen) {
            if (chosen) {
                adopt(*chosen, false);
                readBaseline();
            }
            found = chosen.has_value();
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
    if (!found) {
        throw noAccountError(true);
    }
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

Error PurpleClient::noAccountError(bool atStart) const {
    const QString what =
        accountName_.isEmpty()
            ? QStringLiteral("Your messenger client has no enabled account.")
            : QStringLiteral("Your messenger client has no enabled account named %1.")
                  .arg(accountName_);
    const QString todo =
        !atStart ? QStringLiteral(" Quavel Logger logs the first one you enable.")
        : accountName_.isEmpty()
            ? QStringLiteral(" Enable one and sign in, then start Quavel Logger again.")
            : QStringLiteral(" Start Quavel Logger without --account to use the first one.");
    return toError(errc::kNoAccount, what + todo);
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

void PurpleClient::attachInLine(std::int32_t excluded,
                                std::function<void(const std::optional<AccountFacts>&)> then,
                                std::function<void(const Error&)> failed) {
    auto choice = std::make_shared<AccountChoice>();
    inLine([this, excluded,
            choice](CallGroup& calls) { reader_.readAccount(calls, excluded, choice); },
           [this, choice, then = std::move(then)] {
               then(choice->chosen);
               skipBaseline();
           },
           [this, failed = std::move(failed)](const Error& error) {
               if (failed) {
                   failed(error);
               } else if (error.number() != errc::kClientGone) {
                   sink_.clientFailed(error);
               }
               skipBaseline();
           });
    // What the account's buddies show comes next in line, before any signal
    // that comes meanwhile: those are changes from it.
    baselinePlace_ = order_.reserve();
}

void PurpleClient::skipBaseline() {
    if (const auto place = std::exchange(baselinePlace_, std::nullopt)) {
        order_.fill(*place, [] {});
    }
}

void PurpleClient::inLine(const std::function<void(CallGroup&)>& ask, std::function<void()> deliver,
                          std::function<void(const Error&)> failed,
                          std::optional<EventOrder::Place> reserved) {
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
    const EventOrder::Place place = reserved ? *reserved : order_.reserve();
    auto calls =
        CallGroup::make(*bus_, [this, place, deliver = std::move(deliver),
                                failed = std::move(failed)](const std::optional<Error>& failure) {
            if (failure) {
                order_.fill(place, [failed, error = *failure] { failed(error); });
            } else {
                order_.fill(place, deliver);
            }
        });
    ask(*calls);
    calls->start();
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
        [this, baseline](CallGroup& calls) {
            calls.readInts(QStringLiteral("PurpleFindBuddies"), {account_, QString()},
                           [this, r = &calls, baseline](const QList<std::int32_t>& buddies) {
                               baseline->buddies.resize(std::size_t(buddies.size()));
                               for (qsizetype i = 0; i < buddies.size(); ++i) {
                                   reader_.readBuddy(*r, buddies[i],
                                                     baseline->buddies[std::size_t(i)], nullptr);
                               }
                           });
            calls.readInts(QStringLiteral("PurpleGetConversations"), {},
                           [this, r = &calls, baseline](const QList<std::int32_t>& conversations) {
                               baseline->conversations.resize(std::size_t(conversations.size()));
                               for (qsizetype i = 0; i < conversations.size(); ++i) {
                                   auto& [handle, members] =
                                       baseline->conversations[std::size_t(i)];
                                   handle = conversations[i];
                                   reader_.readMembers(*r, handle, account_, members);
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
        },
        {}, std::exchange(baselinePlace_, std::nullopt));
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
    reader_.forget();
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
                 QStringLiteral("Your messenger client has quit. Quavel Logger attaches again "
                                "when it comes back.")));
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
    attachInLine(
        0,
        [this](const std::optional<AccountFacts>& chosen) {
            attaching_ = false;
            if (chosen) {
                reattach_.stop();
                adopt(*chosen, true);
                readBaseline();
            } else {
                // The client takes its name on the bus a moment before its
                // accounts are loaded.
                attachFailed(noAccountError(false));
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
                                "Quavel Logger attaches again when a client is there.")));
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
                                      const std::optional<AccountFacts>& chosen) {
    if (account != account_) {
        return;
    }
    const QString next = chosen
                             ? QStringLiteral("Quavel Logger now logs %1.").arg(chosen->name)
                             : QStringLiteral(
                                   "No other account is enabled; Quavel Logger logs the next one "
                                   "you enable.");
    sink_.clientFailed(toError(errc::kNoAccount,
                               QStringLiteral("Your account %1 was %2 in your messenger client. ")
                                       .arg(mySigninName_, what) +
                                   next));
    if (chosen) {
        adopt(*chosen, true);
        readBaseline();
    } else {
        account_ = 0;
        tellMyStatus();
    }
}

// ---- Requests -------------------------------------------------------------

void PurpleClient::requestMyStatus(std::int32_t status) {
    if (!clientThere_) {
        throw toError(errc::kClientGone,
                      QStringLiteral("Your messenger client is not running, so your status cannot "
                                     "be set. Start Pidgin or Finch; Quavel Logger attaches to it "
                                     "again."));
    }
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
    auto calls = CallGroup::make(*bus_, [this](const std::optional<Error>& failure) {
        if (failure && failure->number() != errc::kClientGone) {
            sink_.clientFailed(*failure);
        }
    });
    const QString message = QString::fromStdU16String(request->message);
    const auto primitive = std::int32_t(request->primitive);
    // As the client's own status box does: a transient saved status.
    auto activate = [r = calls.get(), message, primitive] {
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
    if (request->primitive == Primitive::kInvisible) {
        // Signing off would be "offline"; appearing offline needs an
        // invisible status, which not every service has. Say so rather
        // than sign off.
        calls->readInt(QStringLiteral("PurpleAccountGetStatusTypeWithPrimitive"),
                       {account_, std::int32_t(Primitive::kInvisible)},
                       [r = calls.get(), activate](std::int32_t type) {
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
    calls->start();
}

std::unique_ptr<Client> connect(EventSink& sink, const QString& accountName) {
    return std::make_unique<PurpleClient>(
        [](const QString& name) {
            return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        },
        sink, accountName, PurpleClient::Timing{});
}

}  // namespace messenger::purple
