#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "messenger/error.h"

// What the program needs of a messenger client, whichever client it is.
// Plain C++, so that a binding can be built without Qt.
//
// Every read returns the value the client reports: at that moment, or, for a
// binding that must not wait on its client, as it read it for the events
// delivered so far. A failing call throws Error. Strings are UTF-16, exactly as the client delivers
// them.
//
// Threading: a Client is created, used and destroyed on the user-interface
// thread, and every EventSink call arrives on that thread, only while the
// Client lives.
namespace messenger {

class Contact {
public:
    virtual ~Contact() = default;
    virtual std::u16string signinName() const = 0;
    virtual std::u16string friendlyName() const = 0;
    virtual std::int32_t status() const = 0;
};

// The contacts of a conversation window, in the client's own order.
class ContactList {
public:
    virtual ~ContactList() = default;
    virtual std::int32_t count() const = 0;
    // index in [0, count()); never null.
    virtual std::shared_ptr<Contact> item(std::int32_t index) const = 0;
};

class ConversationWindow {
public:
    virtual ~ConversationWindow() = default;
    // Never null.
    virtual std::shared_ptr<ContactList> contacts() const = 0;
};

// The client's events the program listens to. Objects passed are never null.
class EventSink {
public:
    virtual void contactNameChanged(const std::shared_ptr<Contact>& contact) = 0;
    virtual void contactStatusChanged(const std::shared_ptr<Contact>& contact) = 0;
    virtual void conversationOpened(const std::shared_ptr<ConversationWindow>& window) = 0;
    virtual void conversationClosed(const std::shared_ptr<ConversationWindow>& window) = 0;
    virtual void myNameChanged() = 0;
    virtual void myStatusChanged() = 0;
    // A failure outside any call the program made: the client quit, sent an
    // event that could not be read, or failed a request after it was asked.
    virtual void clientFailed(const Error& error) = 0;

protected:
    ~EventSink() = default;
};

// An attached client. Creating one attaches to the running client and
// subscribes a sink; destroying it ends the subscription.
class Client {
public:
    virtual ~Client() = default;

    virtual std::u16string mySigninName() const = 0;
    virtual std::u16string myFriendlyName() const = 0;
    virtual std::int32_t myStatus() const = 0;
    // Asks the client to change the user's status. The change, if the client
    // makes it, comes back as myStatusChanged; nothing changes here. A
    // refusal known at once throws; one that comes later is clientFailed.
    virtual void requestMyStatus(std::int32_t status) = 0;
};

}  // namespace messenger
