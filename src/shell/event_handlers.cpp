#include "shell/event_handlers.h"

#include "shell/status_names.h"

namespace shell {

namespace {
QString fromClient(const std::u16string& text) {
    return QString::fromStdU16String(text);
}
}  // namespace

void EventHandlers::contactNameChanged(const std::shared_ptr<messenger::Contact>& contact) {
    runReportingFailures(host_, [&] {
        const QString signinName = fromClient(contact->signinName());
        const QString friendlyName = fromClient(contact->friendlyName());
        host_.logEvent(signinName, QStringLiteral("Changed name to: ") + friendlyName);
    });
}

void EventHandlers::contactStatusChanged(const std::shared_ptr<messenger::Contact>& contact) {
    runReportingFailures(host_, [&] {
        const QString signinName = fromClient(contact->signinName());
        const std::int16_t status = narrowStatus(contact->status());
        host_.logEvent(signinName, QStringLiteral("Changed status to: ") + statusText(status));
    });
}

void EventHandlers::conversationOpened(
    const std::shared_ptr<messenger::ConversationWindow>& window) {
    runReportingFailures(host_, [&] { logEachContact(*window, QStringLiteral("Opened window")); });
}

void EventHandlers::conversationClosed(
    const std::shared_ptr<messenger::ConversationWindow>& window) {
    runReportingFailures(host_, [&] { logEachContact(*window, QStringLiteral("Closed window")); });
}

void EventHandlers::logEachContact(const messenger::ConversationWindow& window,
                                   const QString& eventText) {
    const auto contacts = window.contacts();
    const std::int32_t count = contacts->count();
    for (std::int32_t i = 0; i < count; ++i) {
        host_.logEvent(fromClient(contacts->item(i)->signinName()), eventText);
    }
}

void EventHandlers::myNameChanged() {
    runReportingFailures(host_, [&] {
        messenger::Client& client = host_.client();
        const QString signinName = fromClient(client.mySigninName());
        const QString friendlyName = fromClient(client.myFriendlyName());
        host_.logEvent(signinName, QStringLiteral("Name changed to: ") + friendlyName);
        // The caption shows the user's name: keep it current.
        host_.updateTitle();
    });
}

void EventHandlers::myStatusChanged() {
    runReportingFailures(host_, [&] {
        messenger::Client& client = host_.client();
        const QString signinName = fromClient(client.mySigninName());
        const std::int16_t status = narrowStatus(client.myStatus());
        host_.logEvent(signinName, QStringLiteral("Status Changed to: ") + statusText(status));
        host_.updateTitle();
    });
}

}  // namespace shell
