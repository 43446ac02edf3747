#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QVariantList>

#include <cstdint>

#include "messenger/error.h"

namespace messenger::purple {

inline const QString kService = QStringLiteral("im.pidgin.purple.PurpleService");
inline const QString kPath = QStringLiteral("/im/pidgin/purple/PurpleObject");
inline const QString kInterface = QStringLiteral("im.pidgin.purple.PurpleInterface");

Error toError(std::int32_t number, const QString& text);

// Calls on libpurple's D-Bus object. Every call waits for its reply (a few
// seconds at most), checks the reply's signature and turns any failure into
// messenger::Error. Handles are int32; 0 is none.
class PurpleBus {
public:
    explicit PurpleBus(QDBusConnection connection) : connection_(std::move(connection)) {}

    QDBusConnection& connection() { return connection_; }

    std::int32_t callInt(const QString& method, const QVariantList& arguments = {}) const;
    QString callString(const QString& method, const QVariantList& arguments = {}) const;
    QList<std::int32_t> callIntList(const QString& method,
                                    const QVariantList& arguments = {}) const;
    void callVoid(const QString& method, const QVariantList& arguments = {}) const;

    // One method on many argument lists. The requests go out in batches
    // before any reply is awaited, so a long buddy list costs a few round
    // trips rather than one per buddy. Replies come in the order asked.
    QList<std::int32_t> callIntEach(const QString& method,
                                    const QList<QVariantList>& argumentLists) const;
    QList<QString> callStringEach(const QString& method,
                                  const QList<QVariantList>& argumentLists) const;

private:
    QDBusMessage call(const QString& method, const QVariantList& arguments,
                      QLatin1String signature) const;
    QList<QDBusMessage> callEach(const QString& method, const QList<QVariantList>& argumentLists,
                                 QLatin1String signature) const;

    mutable QDBusConnection connection_;
};

}  // namespace messenger::purple
