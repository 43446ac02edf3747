#pragma once

#include <QString>

#include <new>

#include "messenger/client.h"

namespace shell {

// What the handlers need of the window they serve.
class HandlerHost {
public:
    // The attached client; throws messenger::Error once it has been released.
    virtual messenger::Client& client() = 0;
    virtual void logEvent(const QString& signinName, const QString& eventText) = 0;
    virtual void updateTitle() = 0;
    virtual void reportError(const messenger::Error& error) = 0;

protected:
    ~HandlerHost() = default;
};

// Runs action; a failed client call stops it there and is reported, and the
// program goes on.
template <typename Action>
void runReportingFailures(HandlerHost& host, Action&& action) {
    try {
        action();
    } catch (const messenger::Error& error) {
        host.reportError(error);
    } catch (const std::bad_alloc&) {
        host.reportError(messenger::Error(messenger::errc::kOutOfMemory,
                                          u"Not enough memory to complete the request."));
    }
}

// The client's events, each turned into log lines. A handler reads what it
// shows from the contact or the client, and stops at the first failing
// call: a line is logged whole or not at all (a window's earlier contacts
// keep theirs), and the failure is reported.
class EventHandlers final : public messenger::EventSink {
public:
    explicit EventHandlers(HandlerHost& host) : host_(host) {}

    void contactNameChanged(const std::shared_ptr<messenger::Contact>& contact) override;
    void contactStatusChanged(const std::shared_ptr<messenger::Contact>& contact) override;
    void conversationOpened(const std::shared_ptr<messenger::ConversationWindow>& window) override;
    void conversationClosed(const std::shared_ptr<messenger::ConversationWindow>& window) override;
    void myNameChanged() override;
    void myStatusChanged() override;
    void clientFailed(const messenger::Error& error) override { host_.reportError(error); }

private:
    void logEachContact(const messenger::ConversationWindow& window, const QString& eventText);

    HandlerHost& host_;
};

}  // namespace shell
