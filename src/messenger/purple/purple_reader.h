#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

#include "messenger/purple/snapshots.h"

namespace messenger::purple {

class CallGroup;

// Of the active accounts' user names (and whether each is connected), the
// one to follow: the one named, else the first connected, else the first;
// -1 for none.
qsizetype accountToFollow(const QStringList& names, const QList<std::int32_t>& connected,
                          const QString& named);

// Reads what an event needs into its snapshot. What never changes for a
// handle is read once.
class PurpleReader {
public:
    // accountName: the account asked for by name, if any; known: the
    // buddies known so far, whose names need no reading again.
    PurpleReader(const QString& accountName, const QHash<std::int32_t, KnownBuddy>& known);

    // A client started anew: its handles mean something else.
    void forget();

    void readStatusOf(CallGroup& calls, std::int32_t statusHandle, Presence& into);
    void readPresence(CallGroup& calls, std::int32_t presence,
                      const std::shared_ptr<SignOn>& signOn, Presence& into);
    // The buddy's names, and for one not known yet (or signing on) what it
    // shows; `afresh`: as if it were not known.
    void readBuddy(CallGroup& calls, std::int32_t buddy, BuddyEvent& into,
                   const std::shared_ptr<SignOn>& signOn, bool afresh = false);
    // changes: joins and leaves recorded since the conversation opened;
    // those in by the time its members are read are undone.
    void readMembers(CallGroup& calls, std::int32_t conversation, std::int32_t account,
                     Members& into, const std::shared_ptr<const ChatChanges>& changes);
    // The account to follow: the one named, else the first active one that
    // is connected, else the first active one; never `excluded`.
    void readAccount(CallGroup& calls, std::int32_t excluded,
                     const std::shared_ptr<AccountChoice>& choice);

private:
    void readChosen(CallGroup& calls, const std::shared_ptr<AccountChoice>& choice);

    QString accountName_;
    const QHash<std::int32_t, KnownBuddy>& known_;
    // A status handle's type and a type's primitive never change.
    QHash<std::int32_t, std::int32_t> statusTypes_;
    QHash<std::int32_t, Primitive> typePrimitives_;
};

}  // namespace messenger::purple
