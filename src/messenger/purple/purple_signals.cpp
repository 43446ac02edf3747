#include <QDBusMessage>

#include "messenger/known_contacts.h"
#include "messenger/purple/call_group.h"
#include "messenger/purple/purple_client.h"
#include "messenger/status_codes.h"

// What each of the client's signals becomes: its place in line, the reads
// it needs, and the event it is once delivered.
namespace messenger::purple {

namespace {

constexpr std::int32_t kBuddyNode = 2;

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

void PurpleClient::onSignal(const QDBusMessage& message) {
    if (!lineOpen()) {
        return;  // what it changes is read afresh once the client answers
    }
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
        handleConversationSignal(signal, subject, message);
    }
}

void PurpleClient::handleAccountSignal(const QString& signal, std::int32_t account,
                                       const QDBusMessage& message) {
    auto presence = std::make_shared<Presence>();
    if (signal == QStringLiteral("AccountStatusChanged")) {
        claimSignOn(accountKey(account), intArgument(message, 1));
        const std::int32_t now = intArgument(message, 2);
        inLine([this, now,
                presence](CallGroup& calls) { reader_.readStatusOf(calls, now, *presence); },
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
            [this, account, signOn, presence](CallGroup& calls) {
                calls.readInt(QStringLiteral("PurpleAccountGetPresence"), {account},
                              [this, r = &calls, signOn, presence](std::int32_t handle) {
                                  reader_.readPresence(*r, handle, signOn, *presence);
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
        inLine([](CallGroup&) {},
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
            [account, alias](CallGroup& calls) {
                calls.readString(QStringLiteral("PurpleAccountGetAlias"), {account},
                                 [alias](const QString& value) { *alias = value; });
            },
            [this, account, alias] {
                if (account == account_ && *alias != myAlias_) {
                    myAlias_ = *alias;
                    sink_.myNameChanged();
                }
            });
    } else if (signal == QStringLiteral("AccountEnabled")) {
        attachInLine(
            0, [this](const std::optional<AccountFacts>& chosen, const BaselinePtr& baseline) {
                if (account_ == 0 && chosen) {
                    adopt(*chosen, true);
                    readBaseline(baseline);
                }
            });
    } else {  // disabled or removed: which account to follow now
        const bool removed = signal == QStringLiteral("AccountRemoved");
        // libpurple disables an account it deletes, then removes it, back to
        // back: one choice of the next account, told as a removal.
        if (const auto leaving = leaving_.value(account).lock()) {
            if (removed) {
                *leaving = QStringLiteral("removed");
            }
            return;
        }
        auto what = std::make_shared<QString>(removed ? QStringLiteral("removed")
                                                      : QStringLiteral("disabled"));
        leaving_.insert(account, what);
        attachInLine(account, [this, account, what](const std::optional<AccountFacts>& chosen,
                                                    const BaselinePtr& baseline) {
            leaving_.remove(account);
            notFollowedAnyMore(account, *what, chosen, baseline);
        });
    }
}

void PurpleClient::handleBuddySignal(const QString& signal, std::int32_t buddy,
                                     const QDBusMessage& message) {
    auto event = std::make_shared<BuddyEvent>();
    // A change in line behind a reading of every buddy is told by itself,
    // whatever that reading comes back with.
    for (const BaselinePtr& baseline : std::as_const(openBaselines_)) {
        baseline->signalled.insert(buddy);
    }
    std::function<void(CallGroup&)> ask;
    if (signal == QStringLiteral("BuddyStatusChanged")) {
        // The signal names the new status itself: read that, not what the
        // buddy shows by the time the calls are answered.
        const std::int32_t old = intArgument(message, 1);
        claimSignOn(buddyKey(buddy), old);
        const std::int32_t now = intArgument(message, 2);
        event->signalled = Presence{};
        if (!openBaselines_.isEmpty() && old != 0) {
            event->before = Presence{};  // what the change began from
        }
        ask = [this, buddy, old, now, event](CallGroup& calls) {
            reader_.readBuddy(calls, buddy, *event, nullptr);
            reader_.readStatusOf(calls, now, *event->signalled);
            if (event->before) {
                reader_.readStatusOf(calls, old, *event->before);
            }
        };
    } else if (signal == QStringLiteral("BuddySignedOn")) {
        auto signOn = std::make_shared<SignOn>();
        signOnsReading_.insert(buddyKey(buddy), signOn);
        ask = [this, buddy, event, signOn](CallGroup& calls) {
            reader_.readBuddy(calls, buddy, *event, signOn);
        };
    } else if (signal == QStringLiteral("BuddySignedOff")) {
        event->signalled = Presence{Primitive::kOffline, QString(), false};
        ask = [this, buddy, event](CallGroup& calls) {
            reader_.readBuddy(calls, buddy, *event, nullptr);
        };
    } else if (signal == QStringLiteral("BuddyIdleChanged")) {
        event->idle = intArgument(message, 2) != 0;
        ask = [this, buddy, event](CallGroup& calls) {
            reader_.readBuddy(calls, buddy, *event, nullptr);
        };
    } else if (signal == QStringLiteral("BlistNodeAliased")) {
        event->nameEvent = true;
        if (const QVariant before = message.arguments().value(1);
            before.userType() == QMetaType::QString) {
            event->aliasBefore = before.toString();
        }
        ask = [this, buddy, event](CallGroup& calls) {
            calls.readInt(QStringLiteral("PurpleBlistNodeGetType"), {buddy},
                          [this, r = &calls, buddy, event](std::int32_t type) {
                              if (type == kBuddyNode) {
                                  reader_.readBuddy(*r, buddy, *event, nullptr);
                              }
                          });
        };
    } else {
        return;
    }
    inLine(
        ask,
        [this, event] {
            if (event->handle != 0) {
                deliverBuddy(*event);
            }
        },
        [this](const Error& error) {
            // A buddy removed before it could be read has nothing to tell.
            if (error.number() != errc::kClientGone && error.number() != errc::kInvalidHandle) {
                sink_.clientFailed(error);
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
    Told& told = told_[buddy.name];
    if (told.status == kNotTold && event.before && event.before->primitive != Primitive::kUnset) {
        Presence before = *event.before;
        before.idle = buddy.presence.idle;
        told.status = before.status();
    }
    const std::int32_t status = buddy.presence.status();
    if (event.nameEvent) {
        // The shown name may stay what it was (a local alias wins over a
        // new nickname): only a change of it is one.
        if (event.alias != told.alias) {
            told.alias = event.alias;
            sink_.contactNameChanged(contactSnapshot(buddy.name, event.alias, status));
        }
        return;
    }
    if (status != told.status) {
        told.status = status;
        sink_.contactStatusChanged(contactSnapshot(buddy.name, event.alias, status));
    }
}

// What a contact shows when the client is attached to again, against what
// was last told of it. After a hang the client is the same: every
// difference is a change it made meanwhile. After the client or the bus
// came back, a contact still offline may yet sign on, and a name may not
// be loaded yet: going offline is only noted (so that the sign-on is
// told), names are left to their own signals, and any other status that
// differs is told.
void PurpleClient::tellDifferences(const KnownBuddy& buddy, const QString& alias, bool afterHang) {
    Told& told = told_[buddy.name];
    const std::int32_t status = buddy.presence.status();
    if (afterHang && alias != told.alias) {
        told.alias = alias;
        sink_.contactNameChanged(contactSnapshot(buddy.name, alias, status));
    }
    if (status == told.status) {
        return;
    }
    told.status = status;
    if (afterHang || status != status::kOffline) {
        sink_.contactStatusChanged(contactSnapshot(buddy.name, alias, status));
    }
}

void PurpleClient::handleConversationSignal(const QString& signal, std::int32_t conversation,
                                            const QDBusMessage& message) {
    if (signal == QStringLiteral("ConversationCreated")) {
        followed_.insert(conversation);
        auto members = std::make_shared<Members>();
        // Who joins or leaves before the members are read is undone: the
        // window opened with those in the room then.
        auto changes = std::make_shared<ChatChanges>();
        opening_.insert(conversation, changes);
        inLine(
            [this, conversation, members, changes](CallGroup& calls) {
                reader_.readMembers(calls, conversation, account_, *members, changes);
            },
            [this, conversation, members, changes] {
                if (opening_.value(conversation) == changes) {
                    opening_.remove(conversation);
                }
                if (members->account != account_) {
                    return;
                }
                conversations_.insert(conversation, members->contacts());
                sink_.conversationOpened(
                    std::make_shared<KnownConversation>(conversations_.value(conversation)));
            });
    } else if (signal == QStringLiteral("DeletingConversation")) {
        followed_.remove(conversation);
        opening_.remove(conversation);
        // libpurple frees the conversation before it says so: its members
        // are the ones remembered.
        inLine([](CallGroup&) {},
               [this, conversation] {
                   const auto members = conversations_.take(conversation);
                   if (!members.empty()) {
                       sink_.conversationClosed(std::make_shared<KnownConversation>(members));
                   }
               });
    } else if (followed_.contains(conversation)) {  // someone joined or left a chat
        if (const auto changes = opening_.value(conversation)) {
            const QString name = message.arguments().value(1).toString();
            const bool joined = signal == QStringLiteral("ChatBuddyJoined");
            // A join that is no new arrival is someone already in the room.
            if (!joined || message.arguments().value(3).toBool()) {
                changes->push_back(ChatChange{name, joined});
            }
        }
        auto members = std::make_shared<Members>();
        inLine(
            [this, conversation, members](CallGroup& calls) {
                reader_.readMembers(calls, conversation, account_, *members, nullptr);
            },
            [this, conversation, members] {
                if (conversations_.contains(conversation)) {
                    conversations_.insert(conversation, members->contacts());
                }
            });
    }
}

}  // namespace messenger::purple
