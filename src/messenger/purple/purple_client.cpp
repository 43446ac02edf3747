#include "messenger/purple/purple_client.h"

#include <QEventLoop>

#include <exception>
#include <utility>

#include "messenger/known_contacts.h"
#include "messenger/purple/call_group.h"
#include "messenger/status_codes.h"

namespace messenger::purple {

namespace {

const QStringList kSignals{
    QStringLiteral("AccountStatusChanged"), QStringLiteral("AccountAliasChanged"),
    QStringLiteral("AccountSignedOn"),      QStringLiteral("AccountSignedOff"),
    QStringLiteral("AccountDisabled"),      QStringLiteral("AccountRemoved"),
    QStringLiteral("AccountEnabled"),       QStringLiteral("BuddyStatusChanged"),
    QStringLiteral("BuddySignedOn"),        QStringLiteral("BuddySignedOff"),
    QStringLiteral("BuddyIdleChanged"),     QStringLiteral("BlistNodeAliased"),
    QStringLiteral("ConversationCreated"),  QStringLiteral("DeletingConversation"),
    QStringLiteral("ChatBuddyJoined"),      QStringLiteral("ChatBuddyLeft")};

}  // namespace

const QStringList& followedSignals() {
    return kSignals;
}

PurpleClient::PurpleClient(OpenBus openBus, EventSink& sink, const QString& accountName,
                           Timing timing)
    : openBus_(std::move(openBus)),
      sink_(sink),
      accountName_(accountName),
      timing_(timing),
      order_([this](std::exception_ptr thrown) {
          // A delivery that threw lost its own event only; say so.
          try {
              std::rethrow_exception(thrown);
          } catch (const Error& error) {
              sink_.clientFailed(error);
          } catch (const std::exception& error) {
              sink_.clientFailed(
                  toError(errc::kBusFailure, QStringLiteral("One change could not be logged: %1")
                                                 .arg(QString::fromLocal8Bit(error.what()))));
          } catch (...) {
              sink_.clientFailed(
                  toError(errc::kBusFailure, QStringLiteral("One change could not be logged.")));
          }
      }) {
    attachRetry_.setSingleShot(true);
    QObject::connect(&attachRetry_, &QTimer::timeout, this, &PurpleClient::tryAttach);
    busRetry_.setSingleShot(true);
    QObject::connect(&busRetry_, &QTimer::timeout, this, &PurpleClient::tryBus);
    try {
        attachAtStart();
    } catch (...) {
        retireBus();  // a client that never was leaves no connection behind
        throw;
    }
    starting_ = false;
}

void PurpleClient::attachAtStart() {
    const Error notFound(
        errc::kClassNotRegistered,
        u"No messenger client was found: neither Pidgin nor Finch is on this session's bus. "
        u"Start Pidgin or Finch and sign in, then start Quavel Logger again. To try Quavel "
        u"Logger without one, start it with --demo.");
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
        [&](const std::optional<AccountFacts>& chosen, const BaselinePtr& baseline) {
            if (chosen) {
                adopt(*chosen, false);
                readBaseline(baseline);
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
    bus_ = new PurpleBus(connection, kSignals, timing_.bus);
    bus_->setParent(this);
    QObject::connect(bus_, &PurpleBus::signalReceived, this, &PurpleClient::onSignal);
    QObject::connect(bus_, &PurpleBus::clientLeft, this, &PurpleClient::onClientLeft);
    QObject::connect(bus_, &PurpleBus::clientArrived, this, [this] { startAttaching(false); });
    QObject::connect(bus_, &PurpleBus::busLost, this, &PurpleClient::onBusLost);
    QObject::connect(bus_, &PurpleBus::backlogDropped, this, &PurpleClient::onBacklogDropped);
    QObject::connect(bus_, &PurpleBus::answersAgain, this, [this] { startAttaching(true); });
    QObject::connect(bus_, &PurpleBus::clientNotAnswering, this, [this] {
        if (starting_) {
            return;  // start-up says so itself, once it gives up
        }
        sink_.clientFailed(
            toError(errc::kTimeout,
                    QStringLiteral("Your messenger client has not answered for %1 seconds. "
                                   "Quavel Logger keeps waiting, and logs what happened once "
                                   "it answers.")
                        .arg(timing_.bus.patience.count() / 1000.0)));
    });
    return true;
}

void PurpleClient::retireBus() {
    dropLine();
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

void PurpleClient::attachInLine(
    std::int32_t excluded,
    std::function<void(const std::optional<AccountFacts>&, const BaselinePtr&)> then,
    std::function<void(const Error&)> failed) {
    if (!lineOpen()) {
        return;
    }
    auto choice = std::make_shared<AccountChoice>();
    const EventOrder::Place choicePlace = order_.reserve();
    // What the account's buddies show comes next in line, before any signal
    // that comes meanwhile: those are changes from it.
    auto baseline = std::make_shared<Baseline>();
    baseline->place = order_.reserve();
    openBaselines_.append(baseline);
    inLine([this, excluded,
            choice](CallGroup& calls) { reader_.readAccount(calls, excluded, choice); },
           [this, choice, baseline, then = std::move(then)] {
               then(choice->chosen, baseline);
               skipBaseline(baseline);
           },
           [this, baseline, failed = std::move(failed)](const Error& error) {
               skipBaseline(baseline);
               if (failed) {
                   failed(error);
               } else if (error.number() != errc::kClientGone) {
                   sink_.clientFailed(error);
               }
           },
           choicePlace);
}

void PurpleClient::skipBaseline(const BaselinePtr& baseline) {
    if (!baseline->filled) {
        baseline->filled = true;
        closeBaseline(baseline);
        order_.fill(baseline->place, [] {});
    }
}

void PurpleClient::closeBaseline(const BaselinePtr& baseline) {
    openBaselines_.removeOne(baseline);
}

void PurpleClient::inLine(const std::function<void(CallGroup&)>& ask, std::function<void()> deliver,
                          std::function<void(const Error&)> failed,
                          std::optional<EventOrder::Place> reserved) {
    if (!lineOpen()) {
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
void PurpleClient::readBaseline(const BaselinePtr& baseline) {
    struct Shown {
        std::vector<BuddyEvent> buddies;
        std::vector<std::pair<std::int32_t, Members>> conversations;
    };
    baseline->filled = true;
    auto shown = std::make_shared<Shown>();
    inLine(
        [this, shown](CallGroup& calls) {
            calls.readInts(QStringLiteral("PurpleFindBuddies"), {account_, QString()},
                           [this, r = &calls, shown](const QList<std::int32_t>& buddies) {
                               shown->buddies.resize(std::size_t(buddies.size()));
                               for (qsizetype i = 0; i < buddies.size(); ++i) {
                                   // All of it: a buddy known from before
                                   // may show something else by now.
                                   reader_.readBuddy(*r, buddies[i], shown->buddies[std::size_t(i)],
                                                     nullptr, true);
                               }
                           });
            calls.readInts(QStringLiteral("PurpleGetConversations"), {},
                           [this, r = &calls, shown](const QList<std::int32_t>& conversations) {
                               shown->conversations.resize(std::size_t(conversations.size()));
                               for (qsizetype i = 0; i < conversations.size(); ++i) {
                                   auto& [handle, members] = shown->conversations[std::size_t(i)];
                                   handle = conversations[i];
                                   reader_.readMembers(*r, handle, account_, members, nullptr);
                               }
                           });
        },
        [this, shown, baseline] {
            closeBaseline(baseline);
            toldDropped_ = false;
            for (const BuddyEvent& buddy : shown->buddies) {
                if (buddy.account != account_) {
                    continue;
                }
                const KnownBuddy known{buddy.account, buddy.name, buddy.presenceHandle,
                                       buddy.current};
                buddies_.insert(buddy.handle, known);
                // A buddy with a change in line behind this reading is told
                // by that change: what the reading saw may already be after it.
                const bool signalled = baseline->signalled.contains(buddy.handle);
                if (!told_.contains(buddy.name)) {
                    told_.insert(buddy.name,
                                 Told{signalled ? kNotTold : buddy.current.status(), buddy.alias});
                } else if (!signalled) {
                    tellDifferences(known, buddy.alias, baseline->afterHang);
                }
            }
            auto before = std::exchange(conversations_, {});
            for (const auto& [handle, members] : shown->conversations) {
                if (members.account != account_) {
                    continue;
                }
                conversations_.insert(handle, members.contacts());
                followed_.insert(handle);
                if (baseline->afterHang && !before.remove(handle)) {
                    sink_.conversationOpened(
                        std::make_shared<KnownConversation>(conversations_.value(handle)));
                }
            }
            if (baseline->afterHang) {
                for (const auto& members : std::as_const(before)) {
                    sink_.conversationClosed(std::make_shared<KnownConversation>(members));
                }
            }
        },
        [this, baseline](const Error& error) {
            closeBaseline(baseline);
            if (error.number() != errc::kClientGone) {
                sink_.clientFailed(error);
            }
        },
        baseline->place);
}

// ---- The user's account ---------------------------------------------------

void PurpleClient::adopt(const AccountFacts& account, bool tell) {
    const bool renamed = account.alias != myAlias_;
    if (account.name != mySigninName_) {
        told_.clear();  // another account: other contacts
    }
    if (account.handle != account_) {
        buddies_.clear();
        conversations_.clear();
    }
    attachRetry_.stop();
    account_ = account.handle;
    mySigninName_ = account.name;
    myAlias_ = account.alias;
    connected_ = account.connected;
    me_ = account.presence;
    clientThere_ = true;
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

// Everything keyed by the client's handles belongs to the process that
// gave them out: a client started anew reuses them for other things.
void PurpleClient::forgetClient() {
    dropLine();
    attachRetry_.stop();
    reader_.forget();
    buddies_.clear();
    conversations_.clear();
    followed_.clear();
}

void PurpleClient::dropLine() {
    order_.clear();
    openBaselines_.clear();
    opening_.clear();
    signOnsReading_.clear();
    leaving_.clear();
    attaching_ = false;
}

void PurpleClient::lose(const Error& error) {
    forgetClient();
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

// Tries now, and again on the backoff until an account can be followed:
// a client takes its name on the bus before its accounts are loaded.
// `afresh`: the client is the same, but what it shows is read anew.
void PurpleClient::startAttaching(bool afresh) {
    attachDelay_ = timing_.attachRetryFirst;
    attachTries_ = 0;
    attachAfresh_ = afresh;
    tryAttach();
}

void PurpleClient::tryAttach() {
    if (attaching_ || !lineOpen()) {
        return;
    }
    attaching_ = true;
    attachInLine(
        0,
        [this](const std::optional<AccountFacts>& chosen, const BaselinePtr& baseline) {
            attaching_ = false;
            if (!chosen) {
                retryAttach(noAccountError(false));
                return;
            }
            baseline->afterHang = std::exchange(attachAfresh_, false);
            adopt(*chosen, true);
            readBaseline(baseline);
        },
        [this](const Error& error) {
            attaching_ = false;
            if (error.number() != errc::kClientGone) {  // not there (yet): it is waited for
                retryAttach(error);
            }
        });
}

void PurpleClient::retryAttach(const Error& error) {
    if (++attachTries_ == timing_.attachTriesBeforeTelling) {
        clientThere_ = true;  // there, without an account to log
        sink_.clientFailed(error);
    }
    attachRetry_.start(attachDelay_);
    attachDelay_ = std::min(attachDelay_ * 2, timing_.attachRetryLast);
}

void PurpleClient::onBacklogDropped(bool hung, int dropped) {
    dropLine();
    // Start-up says so itself, once it gives up; and a reading afresh that
    // is dropped again is the same trouble, told once until one completes.
    if (starting_ || std::exchange(toldDropped_, true)) {
        return;
    }
    sink_.clientFailed(toError(
        errc::kTimeout,
        (hung ? QStringLiteral("Your messenger client has not answered for %1 seconds, so "
                               "Quavel Logger stopped waiting for the %2 answers it had asked "
                               "for.")
                    .arg(timing_.bus.callTimeout.count() / 1000.0)
                    .arg(dropped)
              : QStringLiteral("Your messenger client told of more changes than Quavel Logger "
                               "could read (%1 reads waiting), so it stopped reading them.")
                    .arg(dropped)) +
            QStringLiteral(" Once the client answers again, Quavel Logger reads your contacts "
                           "afresh and logs what changed meanwhile.")));
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
        startAttaching(false);
        return;
    }
    busRetryDelay_ = std::min(busRetryDelay_ * 2, timing_.busRetryLast);
    busRetry_.start(busRetryDelay_);
}

void PurpleClient::notFollowedAnyMore(std::int32_t account, const QString& what,
                                      const std::optional<AccountFacts>& chosen,
                                      const BaselinePtr& baseline) {
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
        readBaseline(baseline);
    } else {
        account_ = 0;
        buddies_.clear();
        conversations_.clear();
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
    if (bus_ && bus_->isCatchingUp()) {
        throw toError(errc::kTimeout,
                      QStringLiteral("Your messenger client is not answering, so your status "
                                     "cannot be set now. Try again once it answers."));
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
