#include "purple_bus.h"

#include <QDBusArgument>

namespace messenger::purple {

namespace {
constexpr int kCallTimeoutMs = 3000;
}

Error toError(std::int32_t number, const QString& text) {
    return Error(number, text.toStdU16String());
}

QDBusMessage PurpleBus::call(const QString& method, const QVariantList& arguments,
                             QLatin1String signature) const {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = connection_.call(message, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        const QString text = name + QStringLiteral(": ") + reply.errorMessage();
        if (name == QStringLiteral("im.pidgin.purple.InvalidHandle")) {
            throw toError(errc::kInvalidHandle, text);
        }
        if (name == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
            name == QStringLiteral("org.freedesktop.DBus.Error.Timeout")) {
            throw toError(errc::kTimeout, text);
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
