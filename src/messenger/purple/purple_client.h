#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <vector>

#include "messenger/client.h"
#include "messenger/purple/purple_bus.h"

class QDBusServiceWatcher;

namespace messenger::purple {

// A libpurple client (Pidgin, Finch) reached over D-Bus. Attaching picks the
// user's account: the one named, else the first active one that is
// connected, else the first active one. The client's signals become the six
// events; when the client quits the sink hears of it once, and when it comes
// back the binding attaches again.
class PurpleClient final : public QObject, public Client {
    Q_OBJECT

public:
    // Throws Error when no client is on the bus or it has no account. When
    // the client comes back, attaching again is tried up to reattachTries
    // times, reattachInterval apart.
    PurpleClient(QDBusConnection connection, EventSink& sink, const QString& accountName,
                 std::chrono::milliseconds reattachInterval = std::chrono::seconds(1),
                 int reattachTries = 15);
    ~PurpleClient() override;

    std::u16string mySigninName() const override;
    std::u16string myFriendlyName() const override;
    std::int32_t myStatus() const override;
    void requestMyStatus(std::int32_t status) override;

private slots:
    void onSignal(const QDBusMessage& message);
    void onClientQuit();
    void onClientBack();
    void retryAttach();

private:
    void attach();
    std::int32_t requireAccount() const;
    std::int32_t statusOfPresence(std::int32_t presence) const;
    QList<std::int32_t> statusesOfPresences(const QList<std::int32_t>& presences) const;
    std::int32_t buddyStatus(std::int32_t buddy) const;
    // A buddy on the list, read live from the client but for its status,
    // which is the one read for the event.
    std::shared_ptr<Contact> buddyWithStatus(std::int32_t handle, std::int32_t status) const;
    bool isOurs(std::int32_t buddy) const;
    std::vector<std::shared_ptr<Contact>> membersOf(std::int32_t conversation) const;
    void rememberConversation(std::int32_t conversation);

    std::shared_ptr<PurpleBus> bus_;
    EventSink& sink_;
    QString accountName_;
    std::int32_t account_ = 0;
    QString myAlias_;
    // What was last seen, so that only real changes are told.
    QHash<std::int32_t, std::int32_t> buddyStatuses_;
    QHash<std::int32_t, QString> buddyAliases_;
    QHash<std::int32_t, std::vector<std::shared_ptr<Contact>>> conversations_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer reattach_;
    int reattachTriesLeft_ = 0;
    int reattachTries_;
};

std::unique_ptr<Client> connect(EventSink& sink, const QString& accountName,
                                QDBusConnection connection = QDBusConnection::sessionBus());

}  // namespace messenger::purple
