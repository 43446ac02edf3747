#include "messenger/purple/purple_diagnosis.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <vector>

#include "messenger/purple/purple_bus.h"
#include "messenger/purple/purple_client.h"
#include "messenger/purple/purple_reader.h"

namespace messenger::purple {

namespace {

const QString kDaemon = QStringLiteral("org.freedesktop.DBus");
constexpr qsizetype kLongest = 100;

// What one call brought: its first argument, or why there is none.
struct Answer {
    QVariant value;
    QString failure;
    bool ok() const { return failure.isEmpty(); }
    QString text() const { return ok() ? value.toString() : failure; }
    QList<std::int32_t> handles() const {
        QList<std::int32_t> handles;
        if (ok() && value.canConvert<QDBusArgument>()) {
            value.value<QDBusArgument>() >> handles;
        }
        return handles;
    }
};

class Asker {
public:
    Asker(const QDBusConnection& bus, std::chrono::milliseconds within, const ReportLine& write)
        : bus_(bus), within_(within), write_(write) {}

    Answer client(const QString& method, const QVariantList& arguments = {}) {
        if (hung_) {
            return {{}, QStringLiteral("[not asked]")};
        }
        return ask(QDBusMessage::createMethodCall(kService, kPath, kInterface, method), arguments);
    }
    Answer daemon(const QString& method, const QVariantList& arguments) {
        return ask(QDBusMessage::createMethodCall(kDaemon, QStringLiteral("/org/freedesktop/DBus"),
                                                  kDaemon, method),
                   arguments);
    }

private:
    Answer ask(QDBusMessage message, const QVariantList& arguments) {
        message.setArguments(arguments);
        const QDBusMessage reply = bus_.call(message, QDBus::Block, int(within_.count()));
        if (reply.type() == QDBusMessage::ReplyMessage) {
            return {reply.arguments().value(0), {}};
        }
        if (!timedOut(reply)) {
            return {{}, QStringLiteral("[failed: %1]").arg(reply.errorName())};
        }
        hung_ = message.service() == kService;
        write_(QStringLiteral("No answer within %1 s to %2: %3")
                   .arg(double(within_.count()) / 1000)
                   .arg(message.member(),
                        hung_ ? QStringLiteral("the client may hang. It is asked nothing more; "
                                               "what it was not asked shows as [not asked].")
                              : QStringLiteral("the bus daemon may hang."))
                   .toStdU16String());
        return {{}, QStringLiteral("[no answer]")};
    }

    QDBusConnection bus_;
    std::chrono::milliseconds within_;
    const ReportLine& write_;
    bool hung_ = false;
};

QString placeholder(Placeholders& names, const std::u16string& kind, const QString& value) {
    return QString::fromStdU16String(names.of(kind, value.toStdU16String()));
}

// " (finch)": the program behind a process id, where the system says.
QString programOf(const Answer& pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid.text()));
    return pid.ok() && comm.open(QIODevice::ReadOnly)
               ? QStringLiteral(" (%1)").arg(QString::fromUtf8(comm.readAll()).trimmed())
               : QString();
}

// Writes each signal as a line, with its time since the watch began: its
// arguments' count, signature and values (texts as placeholders unless
// names are shown), and the buddy or account it is about.
class SignalLines final : public QObject {
    Q_OBJECT

public:
    SignalLines(Asker& ask, Placeholders& names, const ReportLine& write)
        : ask_(ask), names_(names), write_(write) {
        since_.start();
    }

    void start() { since_.start(); }
    int count() const { return count_; }
    void ownerChanged(const QString& owner) {
        line(owner.isEmpty() ? QStringLiteral("the client left the bus")
                             : QStringLiteral("the client came onto the bus as ") + owner);
    }

public slots:
    void onSignal(const QDBusMessage& message) {
        ++count_;
        const QVariantList arguments = message.arguments();
        QStringList values;
        for (const QVariant& argument : arguments) {
            values << valueText(argument);
        }
        QString text = message.member();
        if (followedSignals().contains(text)) {
            text += u'*';
        }
        text +=
            QStringLiteral(", %1 argument%2 (%3)")
                .arg(arguments.size())
                .arg(arguments.size() == 1 ? QString() : QStringLiteral("s"), message.signature());
        if (!values.isEmpty()) {
            text += QStringLiteral(": ") + values.join(QStringLiteral(", "));
        }
        line(text + subject(message));
    }

private:
    QString name(const std::u16string& kind, const QString& value) {
        return placeholder(names_, kind, value);
    }
    QString valueText(const QVariant& value) {
        switch (value.typeId()) {
            case QMetaType::QString: {
                // The protocol's own traffic can be long: enough to tell it.
                const QString text = name(u"text", value.toString());
                return text.size() <= kLongest
                           ? text
                           : QStringLiteral("%1... (%2 characters)")
                                 .arg(text.left(kLongest), QString::number(text.size()));
            }
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::UChar:
            case QMetaType::Double: return value.toString();
            default: return QStringLiteral("...");
        }
    }
    // "; buddy <contact 1>" for a buddy's signal, likewise an account's.
    QString subject(const QDBusMessage& message) {
        const QString signal = message.member();
        const QVariant first = message.arguments().value(0);
        const bool buddy = signal.startsWith(QStringLiteral("Buddy"));
        if (first.typeId() != QMetaType::Int ||
            (!buddy && !signal.startsWith(QStringLiteral("Account")))) {
            return {};
        }
        const std::int32_t handle = first.toInt();
        const qint64 key = buddy ? handle : -qint64(handle) - 1;
        if (!subjects_.contains(key)) {
            const Answer answer = ask_.client(buddy ? QStringLiteral("PurpleBuddyGetName")
                                                    : QStringLiteral("PurpleAccountGetUsername"),
                                              {handle});
            // Some "Buddy" signals begin with an account instead: no subject.
            subjects_.insert(key, answer.ok() ? name(buddy ? u"contact" : u"account", answer.text())
                                              : QString());
        }
        const QString known = subjects_.value(key);
        return known.isEmpty()
                   ? known
                   : (buddy ? QStringLiteral("; buddy ") : QStringLiteral("; account ")) + known;
    }
    void line(const QString& event) {
        write_(QStringLiteral("+%1 s  %2")
                   .arg(double(since_.elapsed()) / 1000, 0, 'f', 3)
                   .arg(event)
                   .toStdU16String());
    }

    Asker& ask_;
    Placeholders& names_;
    const ReportLine& write_;
    // Buddies by handle, accounts by -(handle + 1): what the report calls them.
    QHash<qint64, QString> subjects_;
    QElapsedTimer since_;
    int count_ = 0;
};

struct AccountLines {
    std::int32_t handle = 0;
    Answer user;
    bool connected = false;
    QString facts;
    QString statusTypes;
};

// Asked one after another, so that the report shows which call hung.
AccountLines readAccount(Asker& ask, std::int32_t handle, bool enabled) {
    auto text = [&ask](const QString& method, const QVariant& argument) {
        return ask.client(method, {argument}).text();
    };
    AccountLines account;
    account.handle = handle;
    account.user = ask.client(QStringLiteral("PurpleAccountGetUsername"), {handle});
    const QString protocol = text(QStringLiteral("PurpleAccountGetProtocolId"), handle);
    const Answer connected = ask.client(QStringLiteral("PurpleAccountIsConnected"), {handle});
    account.connected = connected.ok() && connected.value.toInt() != 0;
    const Answer status = ask.client(QStringLiteral("PurpleAccountGetActiveStatus"), {handle});
    const QString statusId =
        status.ok() ? text(QStringLiteral("PurpleStatusGetId"), status.value) : status.failure;
    const Answer buddies = ask.client(QStringLiteral("PurpleFindBuddies"), {handle, QString()});
    const qsizetype buddyCount = buddies.handles().size();
    account.facts =
        QStringLiteral("protocol %1; %2; %3; status %4; %5")
            .arg(protocol, enabled ? QStringLiteral("enabled") : QStringLiteral("not enabled"),
                 !connected.ok()     ? connected.failure
                 : account.connected ? QStringLiteral("connected")
                                     : QStringLiteral("not connected"),
                 statusId,
                 !buddies.ok() ? buddies.failure
                               : QStringLiteral("%1 %2")
                                     .arg(buddyCount)
                                     .arg(buddyCount == 1 ? QStringLiteral("buddy")
                                                          : QStringLiteral("buddies")));
    QStringList types;
    const Answer typeList = ask.client(QStringLiteral("PurpleAccountGetStatusTypes"), {handle});
    for (const std::int32_t type : typeList.handles()) {
        const QString id = text(QStringLiteral("PurpleStatusTypeGetId"), type);
        const QString name = text(QStringLiteral("PurpleStatusTypeGetName"), type);
        types << QStringLiteral("%1 \"%2\" %3")
                     .arg(id, name, text(QStringLiteral("PurpleStatusTypeGetPrimitive"), type));
    }
    account.statusTypes = typeList.ok() ? types.join(QStringLiteral(", ")) : typeList.failure;
    return account;
}

}  // namespace

void diagnose(QDBusConnection bus, const QString& address, const QString& accountName,
              const DiagnosisRequest& request, const ReportLine& write,
              std::chrono::milliseconds answerWithin) {
    auto say = [&write](const QString& line) { write(line.toStdU16String()); };
    say(QStringLiteral("Client: Pidgin or Finch, through libpurple's D-Bus interface (%1) on the "
                       "session bus.")
            .arg(kService));
    if (!bus.isConnected()) {
        say(QStringLiteral("Session bus: not reached at %1: %2")
                .arg(address, bus.lastError().message()));
        say(
            QStringLiteral("Pidgin and Finch offer their interface on the session bus of the "
                           "desktop session they run in: run the report there, as the same user, "
                           "or with DBUS_SESSION_BUS_ADDRESS set to that bus."));
        return;
    }
    say(QStringLiteral("Session bus: connected, at ") + address);
    Asker ask(bus, answerWithin, write);
    const Answer owner = ask.daemon(QStringLiteral("GetNameOwner"), {kService});
    if (!owner.ok()) {
        say(QStringLiteral("Pidgin or Finch: not on this bus (%1 has no owner). Start Pidgin or "
                           "Finch and sign in, then run the report again. If one is running, it "
                           "is on another session's bus, or was built without D-Bus.")
                .arg(kService));
        return;
    }
    const Answer pid = ask.daemon(QStringLiteral("GetConnectionUnixProcessID"), {kService});
    say(QStringLiteral("Owner of %1: %2, process %3%4")
            .arg(kService, owner.text(), pid.text(), programOf(pid)));

    // Listening from here on: what the client signals while it is read is
    // told too, at the start of the watch.
    Placeholders names(request.showNames);
    SignalLines signalLines(ask, names, write);
    bus.connect(kService, kPath, kInterface, QString(), &signalLines, SLOT(onSignal(QDBusMessage)));
    QDBusServiceWatcher watcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceOwnerChanged, &signalLines,
                     [&signalLines](const QString&, const QString&, const QString& owner) {
                         signalLines.ownerChanged(owner);
                     });

    const QString version = ask.client(QStringLiteral("PurpleCoreGetVersion")).text();
    say(QStringLiteral("libpurple %1, user interface %2")
            .arg(version, ask.client(QStringLiteral("PurpleCoreGetUi")).text()));
    const Answer all = ask.client(QStringLiteral("PurpleAccountsGetAll"));
    const QList<std::int32_t> active =
        ask.client(QStringLiteral("PurpleAccountsGetAllActive")).handles();
    std::vector<AccountLines> accounts;
    for (const std::int32_t handle : all.handles()) {
        accounts.push_back(readAccount(ask, handle, active.contains(handle)));
    }
    // Which one the program would log, by its own rule.
    QStringList activeNames;
    QList<std::int32_t> activeConnected;
    for (const std::int32_t handle : active) {
        const auto it =
            std::find_if(accounts.begin(), accounts.end(),
                         [handle](const AccountLines& a) { return a.handle == handle; });
        activeNames << (it == accounts.end() ? QString() : it->user.text());
        activeConnected << (it != accounts.end() && it->connected);
    }
    const qsizetype followed = accountToFollow(activeNames, activeConnected, accountName);
    say(all.ok() ? QStringLiteral("Accounts: %1").arg(accounts.size())
                 : QStringLiteral("Accounts: ") + all.failure);
    for (const AccountLines& account : accounts) {
        const QString user = account.user.ok() ? placeholder(names, u"account", account.user.text())
                                               : account.user.failure;
        say(QStringLiteral("Account %1: %2; %3%4")
                .arg(account.handle)
                .arg(user, account.facts,
                     followed >= 0 && active[followed] == account.handle
                         ? QStringLiteral("; the one Quavel Logger would log")
                         : QString()));
        say(QStringLiteral("  status types (id \"name\" primitive): ") + account.statusTypes);
    }

    if (followed < 0 && !accounts.empty()) {
        say(accountName.isEmpty()
                ? QStringLiteral("None is enabled: Quavel Logger would log none of them.")
                : QStringLiteral("None enabled is named %1 (--account): Quavel Logger would log "
                                 "none of them.")
                      .arg(placeholder(names, u"account", accountName)));
    }

    say(QStringLiteral("Signals for %1 s (* those Quavel Logger follows):")
            .arg(request.watchFor.count()));
    QEventLoop loop;
    QTimer::singleShot(request.watchFor, &loop, &QEventLoop::quit);
    signalLines.start();
    loop.exec();
    bus.disconnect(kService, kPath, kInterface, QString(), &signalLines,
                   SLOT(onSignal(QDBusMessage)));
    say(QStringLiteral("%1 signals in %2 s.")
            .arg(signalLines.count())
            .arg(request.watchFor.count()));
}

}  // namespace messenger::purple

#include "purple_diagnosis.moc"
