#include "messenger/purple/purple_bus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>

namespace messenger::purple {

namespace {

constexpr int kCallTimeoutMs = 3000;
// Requests in flight at once: well under the bus daemon's limit on
// outstanding replies per connection.
constexpr qsizetype kBatchSize = 256;

QDBusMessage methodCall(const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    return message;
}

// The reply, or the error it carries.
QDBusMessage checked(const QDBusConnection& connection, const QString& method,
                     const QDBusMessage& reply, QLatin1String signature) {
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        const QString text = name + QStringLiteral(": ") + reply.errorMessage();
        if (name == QStringLiteral("im.pidgin.purple.InvalidHandle")) {
            throw toError(errc::kInvalidHandle, text);
        }
        if (name == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
            name == QStringLiteral("org.freedesktop.DBus.Error.Timeout")) {
            // No answer because the client left the bus while answering.
            const bool gone = !connection.interface()->isServiceRegistered(kService).value();
            throw toError(gone ? errc::kClientGone : errc::kTimeout, text);
        }
        if (name == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
            name == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") ||
            name == QStringLiteral("org.freedesktop.DBus.Error.Disconnected")) {
            throw toError(errc::kClientGone, text);
        }
        throw toError(errc::kBusFailure, text);
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != signature) {
        throw toError(errc::kMalformedReply,
                      QStringLiteral("%1 answered '%2' where '%3' was expected.")
                          .arg(method, reply.signature(), signature));
    }
    return reply;
}

}  // namespace

Error toError(std::int32_t number, const QString& text) {
    return Error(number, text.toStdU16String());
}

QDBusMessage PurpleBus::call(const QString& method, const QVariantList& arguments,
                             QLatin1String signature) const {
    return checked(connection_, method,
                   connection_.call(methodCall(method, arguments), QDBus::Block, kCallTimeoutMs),
                   signature);
}

QList<QDBusMessage> PurpleBus::callEach(const QString& method,
                                        const QList<QVariantList>& argumentLists,
                                        QLatin1String signature) const {
    QList<QDBusMessage> replies;
    replies.reserve(argumentLists.size());
    for (qsizetype first = 0; first < argumentLists.size(); first += kBatchSize) {
        QList<QDBusPendingCall> pending;
        for (const QVariantList& arguments : argumentLists.mid(first, kBatchSize)) {
            pending << connection_.asyncCall(methodCall(method, arguments), kCallTimeoutMs);
        }
        for (QDBusPendingCall& call : pending) {
            call.waitForFinished();
            replies << checked(connection_, method, call.reply(), signature);
        }
    }
    return replies;
}

QList<std::int32_t> PurpleBus::callIntEach(const QString& method,
                                           const QList<QVariantList>& argumentLists) const {
    QList<std::int32_t> values;
    for (const QDBusMessage& reply : callEach(method, argumentLists, QLatin1String("i"))) {
        values << reply.arguments().constFirst().toInt();
    }
    return values;
}

QList<QString> PurpleBus::callStringEach(const QString& method,
                                         const QList<QVariantList>& argumentLists) const {
    QList<QString> values;
    for (const QDBusMessage& reply : callEach(method, argumentLists, QLatin1String("s"))) {
        values << reply.arguments().constFirst().toString();
    }
    return values;
}

std::int32_t PurpleBus::callInt(const QString& method, const QVariantList& arguments) const {
    return call(method, arguments, QLatin1String("i")).arguments().constFirst().toInt();
}

QString PurpleBus::callString(const QString& method, const QVariantList& arguments) const {
    return call(method, arguments, QLatin1String("s")).arguments().constFirst().toString();
}

QList<std::int32_t> PurpleBus::callIntList(const QString& method,
                                           const QVariantList& arguments) const {
    const QVariant value = call(method, arguments, QLatin1String("ai")).arguments().constFirst();
    QList<std::int32_t> list;
    if (value.canConvert<QDBusArgument>()) {
        value.value<QDBusArgument>() >> list;
    } else {
        list = value.value<QList<std::int32_t>>();
    }
    return list;
}

void PurpleBus::callVoid(const QString& method, const QVariantList& arguments) const {
    call(method, arguments, QLatin1String(""));
}

}  // namespace messenger::purple
