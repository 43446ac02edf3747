#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QHash>
#include <QLatin1String>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "messenger/error.h"

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

namespace messenger::purple {

inline const QString kService = QStringLiteral("im.pidgin.purple.PurpleService");
inline const QString kPath = QStringLiteral("/im/pidgin/purple/PurpleObject");
inline const QString kInterface = QStringLiteral("im.pidgin.purple.PurpleInterface");

Error toError(std::int32_t number, const QString& text);

// Whether a failed call timed out, as against the client quitting before
// it answered (the bus daemon says NoReply for both).
bool timedOut(const QDBusMessage& reply);

// libpurple's D-Bus object on one bus connection. Calls never wait: each
// answer, or the failure in its place, comes back through the event loop in
// the order the answers come. The client's signals, its coming and going, the bus
// itself going away and a client that stops answering are told as Qt
// signals. Destroying it drops every answer still to come.
//
// A client that lets a call time out is taken for hung: every call still
// waiting is dropped unanswered (answering each with its timeout would take
// a timeout per batch), and once the client answers again that is told, so
// that what it shows can be read afresh. A backlog past its bound is
// dropped the same way.
class PurpleBus final : public QObject {
    Q_OBJECT

public:
    struct Limits {
        // The oldest call waiting longer than this is told, once.
        std::chrono::milliseconds patience{3000};
        // A call not answered by then has timed out: the client hangs.
        std::chrono::milliseconds callTimeout{60'000};
        // How often to look whether the bus is still there, where Qt
        // does not say so itself.
        std::chrono::milliseconds busCheck{5000};
        // Calls that may wait for their turn to be sent.
        std::size_t maxQueued = std::size_t{1} << 18;
    };
    // value is the reply's one argument (none for a void method); error is
    // set instead when the call failed.
    using Answer = std::function<void(const QVariant& value, const std::optional<Error>& error)>;

    PurpleBus(QDBusConnection connection, const QStringList& signalNames, Limits limits);
    ~PurpleBus() override;

    bool isConnected() const { return connection_.isConnected(); }
    // Asks the bus daemon, and waits for it (not for the client): for start-up only.
    bool clientIsThere() const;

    // signature: what the reply must carry ("i", "s", "ai" or "" for none).
    // Dropped unanswered while the client catches up.
    void call(const QString& method, const QVariantList& arguments, QLatin1String signature,
              Answer answer);
    // Answers nothing more and tells nothing more, from now on.
    void retire();
    // Calls asked and not yet answered.
    int waiting() const {
        return static_cast<int>(inFlight_.size()) + static_cast<int>(queued_.size());
    }
    // Between a dropped backlog and the client answering again.
    bool isCatchingUp() const { return catchingUp_; }

signals:
    void signalReceived(const QDBusMessage& message);
    void clientLeft();
    void clientArrived();
    void busLost();
    // The oldest call has waited longer than the patience given; told once
    // until every call has been answered.
    void clientNotAnswering();
    // Every waiting call was dropped: a call timed out (hung) or the
    // backlog reached its bound (not hung). answersAgain() follows once the
    // client has answered everything sent before.
    void backlogDropped(bool hung, int dropped);
    void answersAgain();

private slots:
    void onSignal(const QDBusMessage& message);
    void checkBus();

private:
    struct Request {
        QString method;
        QVariantList arguments;
        QLatin1String signature;
        Answer answer;
    };
    void send(Request request);
    void finished(QDBusPendingCallWatcher* watcher);
    void dropBacklog(bool hung);
    void probe();
    void checkPatience();

    QDBusConnection connection_;
    QStringList signalNames_;
    Limits limits_;
    QDBusServiceWatcher* serviceWatcher_ = nullptr;
    // Calls beyond the bus daemon's comfort wait here, in order.
    std::deque<Request> queued_;
    struct InFlight {
        Request request;
        QElapsedTimer sent;
    };
    QHash<QDBusPendingCallWatcher*, InFlight> inFlight_;
    // Runs only while calls wait, so that an idle program stays asleep.
    QTimer patienceTimer_;
    QTimer busCheck_;
    bool toldNotAnswering_ = false;
    bool catchingUp_ = false;
    bool lost_ = false;
    bool retired_ = false;
};

}  // namespace messenger::purple
