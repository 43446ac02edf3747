#include "messenger/demo/demo_diagnosis.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "messenger/demo/demo_life.h"

namespace messenger::demo {

namespace {

QString text(const std::u16string& value) {
    return QString::fromStdU16String(value);
}

// Writes each event as a line, with its time since the watch began.
class EventLines final : public EventSink {
public:
    EventLines(Placeholders& names, const ReportLine& write) : names_(names), write_(write) {}

    void watch(const Client& client) {
        client_ = &client;
        since_.start();
    }
    int count() const { return count_; }

    void contactNameChanged(const std::shared_ptr<Contact>& contact) override {
        line(QStringLiteral("contact name changed: %1, now %2")
                 .arg(name(u"contact", contact->signinName()),
                      name(u"name", contact->friendlyName())));
    }
    void contactStatusChanged(const std::shared_ptr<Contact>& contact) override {
        line(QStringLiteral("contact status changed: %1, now %2")
                 .arg(name(u"contact", contact->signinName()), QString::number(contact->status())));
    }
    void conversationOpened(const std::shared_ptr<ConversationWindow>& window) override {
        line(QStringLiteral("conversation opened with ") + members(*window));
    }
    void conversationClosed(const std::shared_ptr<ConversationWindow>& window) override {
        line(QStringLiteral("conversation closed with ") + members(*window));
    }
    void myNameChanged() override {
        line(QStringLiteral("my name changed: ") + name(u"name", client_->myFriendlyName()));
    }
    void myStatusChanged() override {
        line(QStringLiteral("my status changed: %1").arg(client_->myStatus()));
    }
    void clientFailed(const Error& error) override {
        line(QStringLiteral("failed: 0x%1 %2")
                 .arg(quint32(error.number()), 8, 16, QChar(u'0'))
                 .arg(text(error.description())));
    }

private:
    QString name(const std::u16string& kind, const std::u16string& value) {
        return text(names_.of(kind, value));
    }
    QString members(const ConversationWindow& window) {
        QStringList names;
        const auto contacts = window.contacts();
        for (std::int32_t i = 0; i < contacts->count(); ++i) {
            names << name(u"contact", contacts->item(i)->signinName());
        }
        return names.join(QStringLiteral(", "));
    }
    void line(const QString& event) {
        ++count_;
        write_(QStringLiteral("+%1 s  %2")
                   .arg(double(since_.elapsed()) / 1000, 0, 'f', 3)
                   .arg(event)
                   .toStdU16String());
    }

    Placeholders& names_;
    const ReportLine& write_;
    const Client* client_ = nullptr;
    QElapsedTimer since_;
    int count_ = 0;
};

}  // namespace

void diagnose(std::uint32_t seed, int meanIntervalMs, const DiagnosisRequest& request,
              const ReportLine& write) {
    auto say = [&write](const QString& line) { write(line.toStdU16String()); };
    Placeholders names(request.showNames);
    auto service = std::make_shared<DemoService>(
        [](std::function<void()> task) { QTimer::singleShot(0, std::move(task)); });
    EventLines events(names, write);
    const auto client = connect(service, events);
    say(QStringLiteral("Client: the simulated client built into Quavel Logger (no real one)."));
    say(QStringLiteral("Story: seed %1 (--seed), an event every %2 ms on average "
                       "(--demo-interval).")
            .arg(seed)
            .arg(meanIntervalMs));
    say(QStringLiteral("Signed in as %1 (%2), status %3, with %4 contacts.")
            .arg(text(names.of(u"account", client->mySigninName())),
                 text(names.of(u"name", client->myFriendlyName())))
            .arg(client->myStatus())
            .arg(service->contacts().size()));
    say(QStringLiteral("Its events for %1 s:").arg(request.watchFor.count()));
    DemoLife life(service, seed, meanIntervalMs);
    QEventLoop loop;
    QTimer::singleShot(request.watchFor, &loop, &QEventLoop::quit);
    events.watch(*client);
    life.start();
    loop.exec();
    say(QStringLiteral("%1 events in %2 s.").arg(events.count()).arg(request.watchFor.count()));
}

}  // namespace messenger::demo
