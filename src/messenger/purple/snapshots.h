#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "messenger/client.h"
#include "messenger/purple/purple_status.h"

// What an event needs from libpurple, as a snapshot: what the client said
// for that event, whatever it says by the time the event is handled.
namespace messenger::purple {

// What decides a status: libpurple's primitive, its message and idleness.
struct Presence {
    Primitive primitive = Primitive::kUnset;
    QString message;
    bool idle = false;
    std::int32_t status() const;
};

// A sign-on's status being read: a status change signalled before the
// answer came began from the status the sign-on brought.
struct SignOn {
    std::int32_t laterOld = 0;
    bool answered = false;
};

// The user's account as read when attaching to it.
struct AccountFacts {
    std::int32_t handle = 0;
    QString name;  // without its resource
    QString alias;
    std::int32_t presenceHandle = 0;
    bool connected = false;
    Presence presence;
};

// The accounts to choose from, and the one chosen if any.
struct AccountChoice {
    QList<std::int32_t> candidates;
    QStringList names;
    QList<std::int32_t> connected;
    std::optional<AccountFacts> chosen;
};

// A buddy as known since attaching: what never changes, and what it shows.
struct KnownBuddy {
    std::int32_t account = 0;
    QString name;
    std::int32_t presenceHandle = 0;
    Presence presence;
};

// One buddy event.
struct BuddyEvent {
    std::int32_t handle = 0;
    std::int32_t account = 0;
    std::int32_t presenceHandle = 0;
    QString name;
    QString alias;
    Presence current;                    // what it shows, for a buddy not known yet or signing on
    std::optional<Presence> signalled;   // primitive and message the event brought
    std::optional<Presence> before;      // what a status change began from, where needed
    std::optional<bool> idle;            // idleness the event brought
    std::optional<QString> aliasBefore;  // the shown name before, as the signal said
    bool nameEvent = false;
};

// libpurple's kinds of conversation.
inline constexpr std::int32_t kImConversation = 1;
inline constexpr std::int32_t kChatConversation = 2;

// A join or leave in a group chat, signalled after it opened.
struct ChatChange {
    QString name;
    bool joined = false;
};
using ChatChanges = std::vector<ChatChange>;

// A conversation's members when it opened (libpurple frees them before it
// says it closes).
struct Members {
    std::int32_t account = 0;
    std::int32_t type = 0;
    QString ownNick;
    QStringList names;
    QStringList aliases;
    // Signalled before the members were read, so undone to leave those in
    // the room when it opened.
    ChatChanges sinceOpened;
    std::vector<std::shared_ptr<Contact>> contacts() const;
};

std::shared_ptr<Contact> contactSnapshot(const QString& signinName, const QString& friendlyName,
                                         std::int32_t status);

}  // namespace messenger::purple
