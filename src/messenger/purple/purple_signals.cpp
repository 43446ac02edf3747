#include <QDBusMessage>

#include "messenger/known_contacts.h"
#include "messenger/purple/call_group.h"
#include "messenger/purple/purple_client.h"

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
        handleConversationSignal(signal, subject);
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
    } else {  // disabled, removed or enabled: which account to follow now
        const bool gone = signal != QStringLiteral("AccountEnabled");
        attachInLine(gone ? account : 0,
                     [this, account, gone, signal](const std::optional<AccountFacts>& chosen) {
                         if (gone) {
                             notFollowedAnyMore(account,
                                                signal == QStringLiteral("AccountDisabled")
                                                    ? QStringLiteral("disabled")
                                                    : QStringLiteral("removed"),
                                                chosen);
                         } else if (account_ == 0 && chosen) {
                             adopt(*chosen, true);
                             readBaseline();
                         }
                     });
    }
}

void PurpleClient::handleBuddySignal(const QString& signal, std::int32_t buddy,
                                     const QDBusMessage& message) {
    auto event = std::make_shared<BuddyEvent>();
    std::function<void(CallGroup&)> ask;
    if (signal == QStringLiteral("BuddyStatusChanged")) {
        // The signal names the new status itself: read that, not what the
        // buddy shows by the time the reads are answered.
        claimSignOn(buddyKey(buddy), intArgument(message, 1));
        const std::int32_t now = intArgument(message, 2);
        event->signalled = Presence{};
        ask = [this, buddy, now, event](CallGroup& calls) {
            reader_.readBuddy(calls, buddy, *event, nullptr);
            reader_.readStatusOf(calls, now, *event->signalled);
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
            sink_.contactNameChanged(contactSnapshot(buddy.name, event.alias, status));
        }
        return;
    }
    if (status != told.status) {
        told.status = status;
        sink_.contactStatusChanged(contactSnapshot(buddy.name, event.alias, status));
    }
}

void PurpleClient::handleConversationSignal(const QString& signal, std::int32_t conversation) {
    if (signal == QStringLiteral("ConversationCreated")) {
        followed_.insert(conversation);
        auto members = std::make_shared<Members>();
        inLine(
            [this, conversation, members](CallGroup& calls) {
                reader_.readMembers(calls, conversation, account_, *members);
            },
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
        inLine([](CallGroup&) {},
               [this, conversation] {
                   const auto members = conversations_.take(conversation);
                   if (!members.empty()) {
                       sink_.conversationClosed(std::make_shared<KnownConversation>(members));
                   }
               });
    } else if (followed_.contains(conversation)) {  // someone joined or left a chat
        auto members = std::make_shared<Members>();
        inLine(
            [this, conversation, members](CallGroup& calls) {
                reader_.readMembers(calls, conversation, account_, *members);
            },
            [this, conversation, members] {
                if (conversations_.contains(conversation)) {
                    conversations_.insert(conversation, members->contacts());
                }
            });
    }
}

}  // namespace messenger::purple
