#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
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
// Transitions overlap, so each keeps its own state: every attach owns the
// place of its reading of the buddies, changes signalled during that
// reading are told by themselves, and whatever is keyed by the client's
// handles is dropped with the client process that gave them out. The
// client quitting, the session bus going away, the account signing off,
// being disabled or removed, and a client that hangs are told; the binding
// attaches again, on a backoff, as soon as a client with an account is
// there, and after a hang reads everything afresh.
class PurpleClient final : public QObject, public Client {
    Q_OBJECT

public:
    // A connection to the session bus under the name given (a fresh name
    // each time, so that a bus that went away can be reached anew).
    using OpenBus = std::function<QDBusConnection(const QString& connectionName)>;
    struct Timing {
        // Between tries to attach while the client has no account to follow
        // yet (it takes its name on the bus before its accounts are
        // loaded): doubling from the first to the last, for as long as it
        // takes.
        std::chrono::milliseconds attachRetryFirst{1000};
        std::chrono::milliseconds attachRetryLast{8000};
        // Tries before a client without an account is told of.
        int attachTriesBeforeTelling = 4;
        std::chrono::milliseconds startupTimeout{5000};
        PurpleBus::Limits bus;
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
        std::int32_t status = kNotTold;
        QString alias;
    };
    static constexpr std::int32_t kNotTold = -1;

    // The place of what an account's buddies show, reserved right behind
    // the choice of the account: each attach owns one, and fills it with
    // that reading or with nothing. Buddies signalled while it is open have
    // changes in line behind it.
    struct Baseline {
        EventOrder::Place place = 0;
        bool filled = false;
        // After a hang: everything that changed meanwhile is told.
        bool afterHang = false;
        QSet<std::int32_t> signalled;
    };
    using BaselinePtr = std::shared_ptr<Baseline>;

    void attachAtStart();
    // Whether an event may take a place in line: not while the client
    // catches up on a backlog that was dropped.
    bool lineOpen() const { return bus_ && !bus_->isCatchingUp(); }
    // Forgets every event in line and what was being read for it.
    void dropLine();
    bool connectBus();
    void retireBus();
    Error noAccountError(bool atStart) const;

    // Places an event in line: `ask` asks its calls, and in its turn
    // `deliver` runs, or `failed` (by default: told to the sink).
    void inLine(const std::function<void(CallGroup&)>& ask, std::function<void()> deliver,
                std::function<void(const Error&)> failed = {},
                std::optional<EventOrder::Place> reserved = std::nullopt);
    // Places the choice of an account in line, and the place of what its
    // buddies show right behind it; `then` gets the account chosen, if any,
    // and that place to read into (left empty if it is not used).
    void attachInLine(
        std::int32_t excluded,
        std::function<void(const std::optional<AccountFacts>&, const BaselinePtr&)> then,
        std::function<void(const Error&)> failed = {});
    void skipBaseline(const BaselinePtr& baseline);
    void closeBaseline(const BaselinePtr& baseline);
    void readBaseline(const BaselinePtr& baseline);

    void onSignal(const QDBusMessage& message);
    void handleSignal(const QDBusMessage& message);
    void handleAccountSignal(const QString& signal, std::int32_t account,
                             const QDBusMessage& message);
    void handleBuddySignal(const QString& signal, std::int32_t buddy, const QDBusMessage& message);
    void handleConversationSignal(const QString& signal, std::int32_t conversation,
                                  const QDBusMessage& message);
    void claimSignOn(qint64 key, std::int32_t old);
    void deliverBuddy(const BuddyEvent& event);
    void tellDifferences(const KnownBuddy& buddy, const QString& alias, bool afterHang);

    void adopt(const AccountFacts& account, bool tell);
    void tellMyStatus();
    void notFollowedAnyMore(std::int32_t account, const QString& what,
                            const std::optional<AccountFacts>& chosen, const BaselinePtr& baseline);
    void forgetClient();
    void lose(const Error& error);
    void onClientLeft();
    void startAttaching(bool afresh);
    void tryAttach();
    void retryAttach(const Error& error);
    void onBacklogDropped(bool hung, int dropped);
    void onBusLost();
    void tryBus();

    OpenBus openBus_;
    EventSink& sink_;
    QString accountName_;
    Timing timing_;
    bool starting_ = true;
    int busGeneration_ = 0;
    QString busName_;
    QPointer<PurpleBus> bus_;
    EventOrder order_;
    QList<BaselinePtr> openBaselines_;

    // The user, as the last delivered event left them.
    bool clientThere_ = false;
    std::int32_t account_ = 0;
    QString mySigninName_;
    QString myAlias_;
    bool connected_ = false;
    Presence me_;
    std::int32_t toldMyStatus_ = -1;
    QHash<QString, Told> told_;

    // What the client process now on the bus has said, by its handles: all
    // dropped when it goes.
    QHash<std::int32_t, KnownBuddy> buddies_;
    PurpleReader reader_{accountName_, buddies_};
    QHash<std::int32_t, std::vector<std::shared_ptr<Contact>>> conversations_;
    QSet<std::int32_t> followed_;  // conversations open, as signalled
    QHash<std::int32_t, std::shared_ptr<ChatChanges>> opening_;
    // Sign-ons whose status is still being read, by buddy or account.
    QHash<qint64, std::weak_ptr<SignOn>> signOnsReading_;
    // Accounts disabled whose choice of the next is still in line: a
    // removal right behind makes it "removed".
    QHash<std::int32_t, std::weak_ptr<QString>> leaving_;

    QTimer attachRetry_;
    std::chrono::milliseconds attachDelay_{0};
    int attachTries_ = 0;
    bool attaching_ = false;
    bool attachAfresh_ = false;
    bool toldDropped_ = false;
    QTimer busRetry_;
    std::chrono::milliseconds busRetryDelay_{0};
};

std::unique_ptr<Client> connect(EventSink& sink, const QString& accountName);

// The client's signals the binding listens to.
const QStringList& followedSignals();

}  // namespace messenger::purple
