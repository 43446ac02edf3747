#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "messenger/client.h"
#include "messenger/purple/event_order.h"
#include "messenger/purple/purple_bus.h"
#include "messenger/purple/purple_reader.h"

namespace messenger::purple {

class CallGroup;

// A libpurple client (Pidgin, Finch) reached over D-Bus. Attaching picks the
// user's account: the one named, else the first active one that is
// connected, else the first active one.
//
// Only attaching waits for the client. After that every call is
// asynchronous: each signal takes its place in line, what its event needs
// is read into a snapshot, and the events go to the sink in the order the
// client signalled them; the reads here return what the last delivered
// event said. A change equal to the last one told is not told again.
//
// The client quitting, the session bus going away, the account signing
// off, being disabled or removed are told; the binding attaches again when
// a client (or another account) is there.
class PurpleClient final : public QObject, public Client {
    Q_OBJECT

public:
    // A connection to the session bus under the name given (a fresh name
    // each time, so that a bus that went away can be reached anew).
    using OpenBus = std::function<QDBusConnection(const QString& connectionName)>;
    struct Timing {
        // A client back on the bus may not have its account ready yet.
        std::chrono::milliseconds reattachInterval{1000};
        int reattachTries = 15;
        // How long a call may wait before the client is said not to answer.
        std::chrono::milliseconds patience{3000};
        std::chrono::milliseconds startupTimeout{5000};
        // Between tries to reach a session bus that went away: doubling
        // from the first to the last.
        std::chrono::milliseconds busRetryFirst{250};
        std::chrono::milliseconds busRetryLast{8000};
    };

    // Throws Error when no client is on the bus, it has no account, or it
    // does not answer in time.
    PurpleClient(OpenBus openBus, EventSink& sink, const QString& accountName, Timing timing);
    ~PurpleClient() override;

    std::u16string mySigninName() const override;
    std::u16string myFriendlyName() const override;
    std::int32_t myStatus() const override;
    void requestMyStatus(std::int32_t status) override;

private:
    // What was last told of a contact, by sign-in name: it outlasts the
    // client's handles, which are new each time it starts.
    struct Told {
        std::int32_t status = -1;
        QString alias;
    };

    bool connectBus();
    void retireBus();
    Error noAccountError(bool atStart) const;

    // Places an event in line: `ask` asks its reads, and in its turn
    // `deliver` runs, or `failed` (by default: told to the sink).
    void inLine(const std::function<void(CallGroup&)>& ask, std::function<void()> deliver,
                std::function<void(const Error&)> failed = {},
                std::optional<EventOrder::Place> reserved = std::nullopt);
    // Places the choice of an account in line, and the place of what its
    // buddies show right behind it; `then` gets the account chosen, if any.
    void attachInLine(std::int32_t excluded,
                      std::function<void(const std::optional<AccountFacts>&)> then,
                      std::function<void(const Error&)> failed = {});
    void skipBaseline();
    void readBaseline();

    void onSignal(const QDBusMessage& message);
    void handleSignal(const QDBusMessage& message);
    void handleAccountSignal(const QString& signal, std::int32_t account,
                             const QDBusMessage& message);
    void handleBuddySignal(const QString& signal, std::int32_t buddy, const QDBusMessage& message);
    void handleConversationSignal(const QString& signal, std::int32_t conversation);
    void claimSignOn(qint64 key, std::int32_t old);
    void deliverBuddy(const BuddyEvent& event);

    void adopt(const AccountFacts& account, bool tell);
    void tellMyStatus();
    void notFollowedAnyMore(std::int32_t account, const QString& what,
                            const std::optional<AccountFacts>& chosen);
    void lose(const Error& error);
    void onClientLeft();
    void onClientArrived();
    void tryAttach();
    void attachFailed(const Error& error);
    void onBusLost();
    void tryBus();

    OpenBus openBus_;
    EventSink& sink_;
    QString accountName_;
    Timing timing_;
    int busGeneration_ = 0;
    QString busName_;
    QPointer<PurpleBus> bus_;
    EventOrder order_;
    std::optional<EventOrder::Place> baselinePlace_;

    // The user, as the last delivered event left them.
    bool clientThere_ = false;
    std::int32_t account_ = 0;
    QString mySigninName_;
    QString myAlias_;
    bool connected_ = false;
    Presence me_;
    std::int32_t toldMyStatus_ = -1;

    QHash<std::int32_t, KnownBuddy> buddies_;
    PurpleReader reader_{accountName_, buddies_};
    QHash<QString, Told> told_;
    QHash<std::int32_t, std::vector<std::shared_ptr<Contact>>> conversations_;
    QSet<std::int32_t> followed_;  // conversations open, as signalled
    // Sign-ons whose status is still being read, by buddy or account.
    QHash<qint64, std::weak_ptr<SignOn>> signOnsReading_;

    QTimer reattach_;
    int reattachTriesLeft_ = 0;
    bool attaching_ = false;
    QTimer busRetry_;
    std::chrono::milliseconds busRetryDelay_{0};
};

std::unique_ptr<Client> connect(EventSink& sink, const QString& accountName);

}  // namespace messenger::purple
