#include "messenger/binding.h"
#include "messenger/purple/purple_client.h"
#include "messenger/purple/purple_diagnosis.h"

namespace messenger::purple {

namespace {

QString accountIn(const BindingSettings& settings) {
    const auto chosen = settings.find(u"account");
    return chosen == settings.end() ? QString() : QString::fromStdU16String(chosen->second);
}

}  // namespace

Binding binding() {
    // Only a libpurple client has several accounts to choose from.
    BindingOption account{u"account", u"name",
                          u"Log the client account <name> (as in alice@example.org) rather than "
                          u"the first one signed in.",
                          u"an account name"};
    return {.options = {std::move(account)},
            .connect =
                [](EventSink& sink, const BindingSettings& settings) {
                    return connect(sink, accountIn(settings));
                },
            .diagnose =
                [](const BindingSettings& settings, const DiagnosisRequest& request,
                   const ReportLine& write) {
                    const QString name = QStringLiteral("quavel-diagnosis");
                    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
                    diagnose(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name),
                             address.isEmpty()
                                 ? QStringLiteral("the default address "
                                                  "(DBUS_SESSION_BUS_ADDRESS is not set)")
                                 : address,
                             accountIn(settings), request, write, std::chrono::seconds(5));
                    QDBusConnection::disconnectFromBus(name);
                }};
}

}  // namespace messenger::purple
