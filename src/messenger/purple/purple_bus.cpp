#include "messenger/purple/purple_bus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace messenger::purple {

namespace {

// Requests in flight at once: well under the bus daemon's limit on
// outstanding replies per connection, and enough to keep the client busy.
constexpr qsizetype kMaxInFlight = 256;

// In the program's voice; the D-Bus error's name stays in parentheses for
// whoever has to look further.
Error failure(const QString& method, const QDBusMessage& reply) {
    const QString name = reply.errorName();
    const QString why = QStringLiteral(" (%1)").arg(name);
    if (name == QStringLiteral("im.pidgin.purple.InvalidHandle")) {
        return toError(errc::kInvalidHandle,
                       QStringLiteral("Your messenger client no longer knows what it just "
                                      "told about; it was removed meanwhile.") +
                           why);
    }
    // The bus daemon's answer for a client that quit before answering.
    const bool quit = name == QStringLiteral("org.freedesktop.DBus.Error.NoReply");
    if (quit || name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name == QStringLiteral("org.freedesktop.DBus.Error.Disconnected")) {
        return toError(errc::kClientGone,
                       QStringLiteral("Your messenger client is no longer there.") + why);
    }
    return toError(errc::kBusFailure,
                   QStringLiteral("Your messenger client could not answer %1: %2")
                           .arg(method, reply.errorMessage()) +
                       why);
}

}  // namespace

Error toError(std::int32_t number, const QString& text) {
    return Error(number, text.toStdU16String());
}

bool timedOut(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    return name == QStringLiteral("org.freedesktop.DBus.Error.Timeout") ||
           (name == QStringLiteral("org.freedesktop.DBus.Error.NoReply") &&
            !reply.errorMessage().contains(QStringLiteral("disconnected")));
}

PurpleBus::PurpleBus(QDBusConnection connection, const QStringList& signalNames, Limits limits)
    : connection_(std::move(connection)), signalNames_(signalNames), limits_(limits) {
    // Every signal is taken as a whole message and read by the caller: the
    // signatures libpurple's introspection gives are wrong for strings.
    for (const QString& name : signalNames_) {
        connection_.connect(kService, kPath, kInterface, name, this, SLOT(onSignal(QDBusMessage)));
    }
    serviceWatcher_ = new QDBusServiceWatcher(
        kService, connection_,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration,
        this);
    QObject::connect(serviceWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        catchingUp_ = false;  // a client that left has nothing to catch up on
        emit clientLeft();
    });
    QObject::connect(serviceWatcher_, &QDBusServiceWatcher::serviceRegistered, this,
                     &PurpleBus::clientArrived);
    patienceTimer_.setSingleShot(true);
    QObject::connect(&patienceTimer_, &QTimer::timeout, this, &PurpleBus::checkPatience);
    // Qt says nothing when the bus goes away unless a call is waiting: look
    // now and then, seldom enough that an idle program sleeps.
    connection_.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                        QStringLiteral("org.freedesktop.DBus.Local"),
                        QStringLiteral("Disconnected"), this, SLOT(checkBus()));
    busCheck_.setInterval(limits_.busCheck);
    QObject::connect(&busCheck_, &QTimer::timeout, this, &PurpleBus::checkBus);
    busCheck_.start();
}

PurpleBus::~PurpleBus() {
    for (const QString& name : signalNames_) {
        connection_.disconnect(kService, kPath, kInterface, name, this,
                               SLOT(onSignal(QDBusMessage)));
    }
}

bool PurpleBus::clientIsThere() const {
    const QDBusConnectionInterface* daemon = connection_.interface();
    return connection_.isConnected() && daemon && daemon->isServiceRegistered(kService).value();
}

void PurpleBus::onSignal(const QDBusMessage& message) {
    if (!retired_) {
        emit signalReceived(message);
    }
}

void PurpleBus::retire() {
    retired_ = true;
    patienceTimer_.stop();
    busCheck_.stop();
    queued_.clear();
    serviceWatcher_->disconnect(this);
}

void PurpleBus::call(const QString& method, const QVariantList& arguments, QLatin1String signature,
                     Answer answer) {
    if (catchingUp_ || retired_) {
        return;
    }
    Request request{method, arguments, signature, std::move(answer)};
    if (inFlight_.size() < kMaxInFlight && queued_.empty()) {
        send(std::move(request));
        return;
    }
    if (queued_.size() >= limits_.maxQueued) {
        dropBacklog(false);
        return;
    }
    queued_.push_back(std::move(request));
}

void PurpleBus::send(Request request) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, request.method);
    message.setArguments(request.arguments);
    auto* watcher = new QDBusPendingCallWatcher(
        connection_.asyncCall(message, int(limits_.callTimeout.count())), this);
    QElapsedTimer sent;
    sent.start();
    inFlight_.insert(watcher, InFlight{std::move(request), sent});
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this, watcher] { finished(watcher); });
    if (!patienceTimer_.isActive() && !toldNotAnswering_) {
        patienceTimer_.start(limits_.patience);
    }
}

void PurpleBus::finished(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    if (retired_) {
        return;
    }
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ErrorMessage && timedOut(reply)) {
        inFlight_.remove(watcher);
        dropBacklog(true);
        return;
    }
    const Request request = inFlight_.take(watcher).request;
    while (!queued_.empty() && inFlight_.size() < kMaxInFlight) {
        Request next = std::move(queued_.front());
        queued_.pop_front();
        send(std::move(next));
    }
    if (waiting() == 0) {
        toldNotAnswering_ = false;
        patienceTimer_.stop();
    }
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (!connection_.isConnected()) {
            checkBus();
        }
        request.answer({}, failure(request.method, reply));
        return;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != request.signature) {
        request.answer(
            {}, toError(errc::kMalformedReply,
                        QStringLiteral("Your messenger client answered %1 with '%2' "
                                       "where '%3' was expected.")
                            .arg(request.method, reply.signature(), QString(request.signature))));
        return;
    }
    QVariant value = reply.arguments().value(0);
    if (value.canConvert<QDBusArgument>()) {  // an array of handles
        QList<std::int32_t> handles;
        value.value<QDBusArgument>() >> handles;
        value = QVariant::fromValue(handles);
    }
    request.answer(value, std::nullopt);
}

void PurpleBus::dropBacklog(bool hung) {
    const int dropped = waiting() + 1;  // the call that timed out or did not fit
    for (auto it = inFlight_.cbegin(); it != inFlight_.cend(); ++it) {
        it.key()->disconnect(this);
        it.key()->deleteLater();
    }
    inFlight_.clear();
    queued_.clear();
    patienceTimer_.stop();
    toldNotAnswering_ = false;
    catchingUp_ = true;
    emit backlogDropped(hung, dropped);
    probe();
}

// One call at a time, behind everything sent before: its answer means the
// client has worked through the backlog.
void PurpleBus::probe() {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, kPath, kInterface, QStringLiteral("PurpleAccountsGetAllActive"));
    auto* watcher = new QDBusPendingCallWatcher(
        connection_.asyncCall(message, int(limits_.callTimeout.count())), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (retired_ || !catchingUp_) {
            return;
        }
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ErrorMessage && timedOut(reply)) {
            probe();
            return;
        }
        if (reply.type() == QDBusMessage::ReplyMessage) {
            catchingUp_ = false;
            emit answersAgain();
        }
        // Otherwise the client or the bus is gone, and that is told apart.
    });
}

void PurpleBus::checkPatience() {
    qint64 oldest = 0;
    for (const InFlight& call : std::as_const(inFlight_)) {
        oldest = std::max(oldest, call.sent.elapsed());
    }
    if (inFlight_.isEmpty() || toldNotAnswering_) {
        return;
    }
    if (oldest > limits_.patience.count()) {
        toldNotAnswering_ = true;
        emit clientNotAnswering();
        return;
    }
    patienceTimer_.start(std::chrono::milliseconds(limits_.patience.count() - oldest + 1));
}

void PurpleBus::checkBus() {
    if (!connection_.isConnected() && !lost_ && !retired_) {
        lost_ = true;
        busCheck_.stop();
        patienceTimer_.stop();
        emit busLost();
    }
}

}  // namespace messenger::purple
