#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "messenger/client.h"
#include "messenger/purple/purple_status.h"

// What an event needs from libpurple, read into a snapshot of it: what the
// client said for that event, whatever it says by the time it is handled.
namespace messenger::purple {

class Reads;

// What decides a status: libpurple's primitive, its message and idleness.
struct Presence {
    std::int32_t primitive = kUnset;
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
    std::optional<bool> idle;            // idleness the event brought
    std::optional<QString> aliasBefore;  // the shown name before, as the signal said
    bool nameEvent = false;
};

// A conversation's members when it opened (libpurple frees them before it
// says it closes).
struct Members {
    std::int32_t account = 0;
    std::int32_t type = 0;
    QString ownNick;
    QStringList names;
    QStringList aliases;
    std::vector<std::shared_ptr<Contact>> contacts() const;
};

std::shared_ptr<Contact> contactSnapshot(const QString& signinName, const QString& friendlyName,
                                         std::int32_t status);

// The reads. What never changes for a handle is read once.
class PurpleReader {
public:
    // accountName: the account asked for by name, if any; known: the
    // buddies known so far, whose names need no reading again.
    PurpleReader(const QString& accountName, const QHash<std::int32_t, KnownBuddy>& known);

    // A client started anew: its handles mean something else.
    void forget();

    void readStatusOf(Reads& reads, std::int32_t statusHandle, Presence& into);
    void readPresence(Reads& reads, std::int32_t presence, const std::shared_ptr<SignOn>& signOn,
                      Presence& into);
    // The buddy's names, and for one not known yet (or signing on) what it shows.
    void readBuddy(Reads& reads, std::int32_t buddy, BuddyEvent& into,
                   const std::shared_ptr<SignOn>& signOn);
    void readMembers(Reads& reads, std::int32_t conversation, std::int32_t account, Members& into);
    // The account to follow: the one named, else the first active one that
    // is connected, else the first active one; never `excluded`.
    void readAccount(Reads& reads, std::int32_t excluded,
                     const std::shared_ptr<AccountChoice>& choice);

private:
    void readChosen(Reads& reads, const std::shared_ptr<AccountChoice>& choice);

    QString accountName_;
    const QHash<std::int32_t, KnownBuddy>& known_;
    // A status handle's type and a type's primitive never change.
    QHash<std::int32_t, std::int32_t> statusTypes_;
    QHash<std::int32_t, std::int32_t> typePrimitives_;
};

}  // namespace messenger::purple
