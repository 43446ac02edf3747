#include "event_handlers.h"

#include "status_text.h"

namespace messenger {

namespace {
QString fromClient(const std::u16string& text) {
    return QString::fromStdU16String(text);
}
}  // namespace

void EventHandlers::OnContactFriendlyNameChange(std::int32_t,
                                                const std::shared_ptr<Object>& pMContact,
                                                const std::u16string&) {
    runReportingFailures(host_, [&] { MSN_OnContactFriendlyNameChange(pMContact); });
}

void EventHandlers::OnContactStatusChange(const std::shared_ptr<Object>& pMContact, std::int32_t) {
    runReportingFailures(host_, [&] { MSN_OnContactStatusChange(pMContact); });
}

void EventHandlers::OnIMWindowCreated(const std::shared_ptr<Object>& pIMWindow) {
    runReportingFailures(host_, [&] { MSN_OnIMWindowCreated(pIMWindow); });
}

void EventHandlers::OnIMWindowDestroyed(const std::shared_ptr<Object>& pIMWindow) {
    runReportingFailures(host_, [&] { MSN_OnIMWindowDestroyed(pIMWindow); });
}

void EventHandlers::OnMyFriendlyNameChange(std::int32_t, const std::u16string&) {
    runReportingFailures(host_, [&] { MSN_OnMyFriendlyNameChange(); });
}

void EventHandlers::OnMyStatusChange(std::int32_t, std::int32_t) {
    runReportingFailures(host_, [&] { MSN_OnMyStatusChange(); });
}

void EventHandlers::MSN_OnContactFriendlyNameChange(const std::shared_ptr<Object>& pMContact) {
    const auto contact = asContact(pMContact);
    const QString signinName = fromClient(contact->SigninName());
    const QString friendlyName = fromClient(contact->FriendlyName());
    host_.LogEvent(signinName, QStringLiteral("Changed name to: ") + friendlyName);
}

void EventHandlers::MSN_OnContactStatusChange(const std::shared_ptr<Object>& pMContact) {
    const auto contact = asContact(pMContact);
    const QString signinName = fromClient(contact->SigninName());
    const std::int16_t status = narrowStatus(contact->Status());
    host_.LogEvent(signinName,
                   QStringLiteral("Changed status to: ") + eventlog::GetStatusText(status));
}

void EventHandlers::MSN_OnIMWindowCreated(const std::shared_ptr<Object>& pIMWindow) {
    logForEachContact(pIMWindow, QStringLiteral("Opened window"));
}

void EventHandlers::MSN_OnIMWindowDestroyed(const std::shared_ptr<Object>& pIMWindow) {
    logForEachContact(pIMWindow, QStringLiteral("Closed window"));
}

void EventHandlers::logForEachContact(const std::shared_ptr<Object>& pIMWindow,
                                      const QString& eventText) {
    const auto window = asConversationWindow(pIMWindow);
    const auto contacts = window->Contacts();
    if (!contacts) {
        throw Error(errc::kNullObject, u"The conversation window has no contact list.");
    }
    const std::int32_t count = contacts->Count();
    for (std::int32_t i = 0; i < count; ++i) {
        const auto contact = contacts->Item(i);
        if (!contact) {
            throw Error(errc::kNullObject, u"The conversation window listed an empty contact.");
        }
        host_.LogEvent(fromClient(contact->SigninName()), eventText);
    }
}

void EventHandlers::MSN_OnMyFriendlyNameChange() {
    Client& msn = host_.client();
    const QString signinName = fromClient(msn.MySigninName());
    const QString friendlyName = fromClient(msn.MyFriendlyName());
    host_.LogEvent(signinName, QStringLiteral("Name changed to: ") + friendlyName);
    // The caption shows the user's name: keep it current.
    host_.applyCaptionRule();
}

void EventHandlers::MSN_OnMyStatusChange() {
    Client& msn = host_.client();
    const QString signinName = fromClient(msn.MySigninName());
    const std::int16_t status = narrowStatus(msn.MyStatus());
    host_.LogEvent(signinName,
                   QStringLiteral("Status Changed to: ") + eventlog::GetStatusText(status));
    host_.applyCaptionRule();
}

}  // namespace messenger
