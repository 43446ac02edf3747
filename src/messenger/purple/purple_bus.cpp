#include "messenger/purple/purple_bus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace messenger::purple {

namespace {

// A hung client's calls end after this, each as a failure.
constexpr int kCallTimeoutMs = 60'000;
// Requests in flight at once: well under the bus daemon's limit on
// outstanding replies per connection, and enough to keep the client busy.
constexpr qsizetype kMaxInFlight = 256;
constexpr std::chrono::milliseconds kHealthInterval{250};

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
    const bool quit = name == QStringLiteral("org.freedesktop.DBus.Error.NoReply") &&
                      reply.errorMessage().contains(QStringLiteral("disconnected"));
    if (!quit && (name == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
                  name == QStringLiteral("org.freedesktop.DBus.Error.Timeout"))) {
        return toError(errc::kTimeout,
                       QStringLiteral("Your messenger client did not answer in time, so one "
                                      "change could not be read.") +
                           why);
    }
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

PurpleBus::PurpleBus(QDBusConnection connection, const QStringList& signalNames,
                     std::chrono::milliseconds patience)
    : connection_(std::move(connection)), signalNames_(signalNames), patience_(patience) {
    // Every signal is taken as a whole message and read by the caller: the
    // signatures libpurple's introspection gives are wrong for strings.
    for (const QString& name : signalNames_) {
        connection_.connect(kService, kPath, kInterface, name, this, SLOT(onSignal(QDBusMessage)));
    }
    serviceWatcher_ = new QDBusServiceWatcher(
        kService, connection_,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration,
        this);
    QObject::connect(serviceWatcher_, &QDBusServiceWatcher::serviceUnregistered, this,
                     &PurpleBus::clientLeft);
    QObject::connect(serviceWatcher_, &QDBusServiceWatcher::serviceRegistered, this,
                     &PurpleBus::clientArrived);
    // Qt says nothing when the bus goes away: look.
    health_.setInterval(kHealthInterval);
    QObject::connect(&health_, &QTimer::timeout, this, &PurpleBus::checkHealth);
    health_.start();
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
    health_.stop();
    queued_.clear();
    serviceWatcher_->disconnect(this);
}

void PurpleBus::call(const QString& method, const QVariantList& arguments, QLatin1String signature,
                     Answer answer) {
    Request request{method, arguments, signature, std::move(answer)};
    if (inFlight_.size() >= kMaxInFlight || !queued_.empty()) {
        queued_.push_back(std::move(request));
    } else {
        send(std::move(request));
    }
}

void PurpleBus::send(Request request) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, request.method);
    message.setArguments(request.arguments);
    auto* watcher =
        new QDBusPendingCallWatcher(connection_.asyncCall(message, kCallTimeoutMs), this);
    QElapsedTimer sent;
    sent.start();
    inFlight_.insert(watcher, InFlight{std::move(request), sent});
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this, watcher] { finished(watcher); });
}

void PurpleBus::finished(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    if (retired_) {
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
    }
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
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

void PurpleBus::checkHealth() {
    if (!connection_.isConnected()) {
        if (!lost_) {
            lost_ = true;
            health_.stop();
            emit busLost();
        }
        return;
    }
    if (toldNotAnswering_) {
        return;
    }
    for (const InFlight& call : std::as_const(inFlight_)) {
        if (call.sent.elapsed() > patience_.count()) {
            toldNotAnswering_ = true;
            emit clientNotAnswering();
            return;
        }
    }
}

}  // namespace messenger::purple
