#include "messenger/purple/purple_reader.h"

#include "messenger/purple/reads.h"
#include "messenger/status_codes.h"

namespace messenger::purple {

namespace {

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

}  // namespace

std::shared_ptr<Contact> contactSnapshot(const QString& signinName, const QString& friendlyName,
                                         std::int32_t status) {
    return std::make_shared<ContactSnapshot>(signinName, friendlyName, status);
}

std::vector<std::shared_ptr<Contact>> Members::contacts() const {
    std::vector<std::shared_ptr<Contact>> members;
    for (qsizetype i = 0; i < names.size(); ++i) {
        // The user is in a room too, but a window's contacts are the others.
        if (type == kChatConversation && names[i] == ownNick) {
            continue;
        }
        members.push_back(contactSnapshot(names[i], aliases.value(i, names[i]), status::kOnline));
    }
    return members;
}

std::int32_t Presence::status() const {
    return statusFromPurple(primitive, message.toStdU16String(), idle);
}

PurpleReader::PurpleReader(const QString& accountName, const QHash<std::int32_t, KnownBuddy>& known)
    : accountName_(accountName), known_(known) {}

void PurpleReader::forget() {
    statusTypes_.clear();
    typePrimitives_.clear();
}

void PurpleReader::readStatusOf(Reads& reads, std::int32_t statusHandle, Presence& into) {
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

void PurpleReader::readPresence(Reads& reads, std::int32_t presence,
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

void PurpleReader::readBuddy(Reads& reads, std::int32_t buddy, BuddyEvent& into,
                             const std::shared_ptr<SignOn>& signOn) {
    into.handle = buddy;
    reads.readString(QStringLiteral("PurpleBuddyGetAlias"), {buddy},
                     [&into](const QString& alias) { into.alias = alias; });
    if (const auto known = known_.constFind(buddy); known != known_.cend()) {
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

void PurpleReader::readMembers(Reads& reads, std::int32_t conversation, std::int32_t account,
                               Members& into) {
    reads.readInt(QStringLiteral("PurpleConversationGetAccount"), {conversation},
                  [&into](std::int32_t account) { into.account = account; });
    reads.readInt(
        QStringLiteral("PurpleConversationGetType"), {conversation},
        [r = &reads, conversation, account, &into](std::int32_t type) {
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
                           [r, &into](std::int32_t chat) {
                               r->readString(QStringLiteral("PurpleConvChatGetNick"), {chat},
                                             [&into](const QString& nick) { into.ownNick = nick; });
                               r->readInts(QStringLiteral("PurpleConvChatGetUsers"), {chat},
                                           [r, &into](const QList<std::int32_t>& users) {
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

void PurpleReader::readAccount(Reads& reads, std::int32_t excluded,
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

void PurpleReader::readChosen(Reads& reads, const std::shared_ptr<AccountChoice>& choice) {
    qsizetype chosen = -1;
    for (qsizetype i = 0; i < choice->candidates.size() && chosen < 0; ++i) {
        const QString& name = choice->names[i];
        if (accountName_.isEmpty()
                ? choice->connected[i] != 0
                : name.compare(accountName_, Qt::CaseInsensitive) == 0 ||
                      withoutResource(name).compare(accountName_, Qt::CaseInsensitive) == 0) {
            chosen = i;
        }
    }
    if (chosen < 0 && accountName_.isEmpty() && !choice->candidates.isEmpty()) {
        chosen = 0;  // not signed in yet: its sign-on comes as a status change
    }
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
    reads.readString(QStringLiteral("PurpleAccountGetAlias"), {facts.handle},
                     [&facts](const QString& alias) { facts.alias = alias; });
    reads.readInt(QStringLiteral("PurpleAccountGetPresence"), {facts.handle},
                  [this, r = &reads, &facts](std::int32_t presence) {
                      facts.presenceHandle = presence;
                      readPresence(*r, presence, nullptr, facts.presence);
                  });
}

}  // namespace messenger::purple
