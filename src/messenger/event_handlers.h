#pragma once

#include <QString>

#include "client.h"

namespace messenger {

// What the handlers need of the window they serve.
class HandlerHost {
public:
    // The attached client; throws Error once it has been released.
    virtual Client& client() = 0;
    virtual void LogEvent(const QString& sEmail, const QString& sEventText) = 0;
    virtual void applyCaptionRule() = 0;
    virtual void reportError(const Error& error) = 0;

protected:
    ~HandlerHost() = default;
};

// Runs action; a failed client call stops it there and is reported, and the
// program goes on.
template <typename Action>
void runReportingFailures(HandlerHost& host, Action&& action);

// The client's six events, each turned into log lines. Every handler reads
// what it shows afresh from the contact or the client, never from the
// event's own arguments, which may be stale.
class EventHandlers final : public EventSink {
public:
    explicit EventHandlers(HandlerHost& host) : host_(host) {}

    // EventSink: each runs its handler below with failures reported.
    void OnContactFriendlyNameChange(std::int32_t hr, const std::shared_ptr<Object>& pMContact,
                                     const std::u16string& bstrPrevFriendlyName) override;
    void OnContactStatusChange(const std::shared_ptr<Object>& pMContact,
                               std::int32_t mStatus) override;
    void OnIMWindowCreated(const std::shared_ptr<Object>& pIMWindow) override;
    void OnIMWindowDestroyed(const std::shared_ptr<Object>& pIMWindow) override;
    void OnMyFriendlyNameChange(std::int32_t hr,
                                const std::u16string& bstrPrevFriendlyName) override;
    void OnMyStatusChange(std::int32_t hr, std::int32_t mMyStatus) override;
    void OnClientError(const Error& error) override { host_.reportError(error); }

    // The handlers; each throws Error at the first failing call, before
    // anything is logged.
    void MSN_OnContactFriendlyNameChange(const std::shared_ptr<Object>& pMContact);
    void MSN_OnContactStatusChange(const std::shared_ptr<Object>& pMContact);
    void MSN_OnIMWindowCreated(const std::shared_ptr<Object>& pIMWindow);
    void MSN_OnIMWindowDestroyed(const std::shared_ptr<Object>& pIMWindow);
    void MSN_OnMyFriendlyNameChange();
    void MSN_OnMyStatusChange();

private:
    void logForEachContact(const std::shared_ptr<Object>& pIMWindow, const QString& eventText);

    HandlerHost& host_;
};

template <typename Action>
void runReportingFailures(HandlerHost& host, Action&& action) {
    try {
        action();
    } catch (const Error& error) {
        host.reportError(error);
    } catch (const std::bad_alloc&) {
        host.reportError(Error(errc::kOutOfMemory, u"Not enough memory to complete the request."));
    }
}

}  // namespace messenger
