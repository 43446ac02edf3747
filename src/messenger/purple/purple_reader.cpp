#include "messenger/purple/purple_reader.h"

#include "messenger/purple/call_group.h"
#include "messenger/status_codes.h"

namespace messenger::purple {

namespace {

// "alice@example.org/laptop" signs in as "alice@example.org".
QString withoutResource(const QString& name) {
    return name.section(u'/', 0, 0);
}

}  // namespace

qsizetype accountToFollow(const QStringList& names, const QList<std::int32_t>& connected,
                          const QString& named) {
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (named.isEmpty()
                ? connected.value(i) != 0
                : names[i].compare(named, Qt::CaseInsensitive) == 0 ||
                      withoutResource(names[i]).compare(named, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    // Not signed in yet: its sign-on comes as a status change.
    return named.isEmpty() && !names.isEmpty() ? 0 : -1;
}

PurpleReader::PurpleReader(const QString& accountName, const QHash<std::int32_t, KnownBuddy>& known)
    : accountName_(accountName), known_(known) {}

void PurpleReader::forget() {
    statusTypes_.clear();
    typePrimitives_.clear();
}

void PurpleReader::readStatusOf(CallGroup& calls, std::int32_t statusHandle, Presence& into) {
    calls.readString(QStringLiteral("PurpleStatusGetAttrString"),
                     {statusHandle, QStringLiteral("message")},
                     [&into](const QString& message) { into.message = message; });
    auto primitiveOf = [this, r = &calls, &into](std::int32_t type) {
        if (const auto known = typePrimitives_.constFind(type); known != typePrimitives_.cend()) {
            into.primitive = *known;
            return;
        }
        r->readInt(QStringLiteral("PurpleStatusTypeGetPrimitive"), {type},
                   [this, type, &into](std::int32_t primitive) {
                       typePrimitives_.insert(type, Primitive(primitive));
                       into.primitive = Primitive(primitive);
                   });
    };
    if (const auto known = statusTypes_.constFind(statusHandle); known != statusTypes_.cend()) {
        primitiveOf(*known);
        return;
    }
    calls.readInt(QStringLiteral("PurpleStatusGetType"), {statusHandle},
                  [this, statusHandle, primitiveOf](std::int32_t type) {
                      statusTypes_.insert(statusHandle, type);
                      primitiveOf(type);
                  });
}

void PurpleReader::readPresence(CallGroup& calls, std::int32_t presence,
                                const std::shared_ptr<SignOn>& signOn, Presence& into) {
    calls.readInt(QStringLiteral("PurplePresenceIsIdle"), {presence},
                  [&into](std::int32_t idle) { into.idle = idle != 0; });
    calls.readInt(QStringLiteral("PurplePresenceGetActiveStatus"), {presence},
                  [this, r = &calls, signOn, &into](std::int32_t active) {
                      // A change signalled before this answer came began from
                      // the status the sign-on brought.
                      if (signOn) {
                          signOn->answered = true;
                      }
                      const bool changedSince = signOn && signOn->laterOld != 0;
                      readStatusOf(*r, changedSince ? signOn->laterOld : active, into);
                  });
}

void PurpleReader::readBuddy(CallGroup& calls, std::int32_t buddy, BuddyEvent& into,
                             const std::shared_ptr<SignOn>& signOn, bool afresh) {
    into.handle = buddy;
    calls.readString(QStringLiteral("PurpleBuddyGetAlias"), {buddy},
                     [&into](const QString& alias) { into.alias = alias; });
    if (const auto known = known_.constFind(buddy); !afresh && known != known_.cend()) {
        into.account = known->account;
        into.name = known->name;
        into.presenceHandle = known->presenceHandle;
        if (signOn) {
            readPresence(calls, into.presenceHandle, signOn, into.current);
        }
        return;
    }
    calls.readInt(QStringLiteral("PurpleBuddyGetAccount"), {buddy},
                  [&into](std::int32_t account) { into.account = account; });
    calls.readString(QStringLiteral("PurpleBuddyGetName"), {buddy},
                     [&into](const QString& name) { into.name = withoutResource(name); });
    calls.readInt(QStringLiteral("PurpleBuddyGetPresence"), {buddy},
                  [this, r = &calls, signOn, &into](std::int32_t presence) {
                      into.presenceHandle = presence;
                      readPresence(*r, presence, signOn, into.current);
                  });
}

void PurpleReader::readMembers(CallGroup& calls, std::int32_t conversation, std::int32_t account,
                               Members& into, const std::shared_ptr<const ChatChanges>& changes) {
    calls.readInt(QStringLiteral("PurpleConversationGetAccount"), {conversation},
                  [&into](std::int32_t account) { into.account = account; });
    calls.readInt(
        QStringLiteral("PurpleConversationGetType"), {conversation},
        [r = &calls, conversation, account, changes, &into](std::int32_t type) {
            into.type = type;
            if (type == kImConversation) {
                into.names = into.aliases = QStringList{QString()};
                r->readString(QStringLiteral("PurpleConversationGetName"), {conversation},
                              [r, account, &into](const QString& name) {
                                  into.names[0] = into.aliases[0] = withoutResource(name);
                                  // Shown as the buddy, if the other is one.
                                  r->readInt(
                                      QStringLiteral("PurpleFindBuddy"), {account, name},
                                      [r, &into](std::int32_t buddy) {
                                          if (buddy == 0) {
                                              return;
                                          }
                                          r->readString(QStringLiteral("PurpleBuddyGetName"),
                                                        {buddy}, [&into](const QString& name) {
                                                            into.names[0] = withoutResource(name);
                                                        });
                                          r->readString(QStringLiteral("PurpleBuddyGetAlias"),
                                                        {buddy}, [&into](const QString& alias) {
                                                            into.aliases[0] = alias;
                                                        });
                                      });
                              });
            } else if (type == kChatConversation) {
                r->readInt(QStringLiteral("PurpleConversationGetChatData"), {conversation},
                           [r, changes, &into](std::int32_t chat) {
                               r->readString(QStringLiteral("PurpleConvChatGetNick"), {chat},
                                             [&into](const QString& nick) { into.ownNick = nick; });
                               r->readInts(QStringLiteral("PurpleConvChatGetUsers"), {chat},
                                           [r, changes, &into](const QList<std::int32_t>& users) {
                                               if (changes) {
                                                   into.sinceOpened = *changes;
                                               }
                                               into.names = QStringList(users.size());
                                               for (qsizetype i = 0; i < users.size(); ++i) {
                                                   r->readString(
                                                       QStringLiteral("PurpleConvChatCbGetName"),
                                                       {users[i]}, [i, &into](const QString& name) {
                                                           into.names[i] = name;
                                                       });
                                               }
                                           });
                           });
            }
        });
}

void PurpleReader::readAccount(CallGroup& calls, std::int32_t excluded,
                               const std::shared_ptr<AccountChoice>& choice) {
    calls.readInts(
        QStringLiteral("PurpleAccountsGetAllActive"), {},
        [this, r = &calls, excluded, choice](QList<std::int32_t> accounts) {
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

void PurpleReader::readChosen(CallGroup& calls, const std::shared_ptr<AccountChoice>& choice) {
    const qsizetype chosen = accountToFollow(choice->names, choice->connected, accountName_);
    if (chosen < 0) {
        return;
    }
    choice->chosen = AccountFacts{choice->candidates[chosen],
                                  withoutResource(choice->names[chosen]),
                                  QString(),
                                  0,
                                  choice->connected[chosen] != 0,
                                  Presence{}};
    AccountFacts& facts = *choice->chosen;
    calls.readString(QStringLiteral("PurpleAccountGetAlias"), {facts.handle},
                     [&facts](const QString& alias) { facts.alias = alias; });
    calls.readInt(QStringLiteral("PurpleAccountGetPresence"), {facts.handle},
                  [this, r = &calls, &facts](std::int32_t presence) {
                      facts.presenceHandle = presence;
                      readPresence(*r, presence, nullptr, facts.presence);
                  });
}

}  // namespace messenger::purple
