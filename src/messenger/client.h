#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "mistatus.h"

// What the program needs of a messenger client, whichever client it is.
// Every call either returns the value current at that moment or throws
// messenger::Error. Strings are UTF-16, exactly as the client delivers them.
namespace messenger {

// Anything the client hands over in an event. Handlers ask it for the
// interface they need (asContact, asConversationWindow); the client may hand
// over objects that offer neither.
class Object {
public:
    virtual ~Object() = default;
};

class Contact : public virtual Object {
public:
    virtual std::u16string SigninName() const = 0;
    virtual std::u16string FriendlyName() const = 0;
    virtual std::int32_t Status() const = 0;
};

// The contacts of a conversation, in the client's own order.
class ContactList : public virtual Object {
public:
    virtual std::int32_t Count() const = 0;
    // index in [0, Count()).
    virtual std::shared_ptr<Contact> Item(std::int32_t index) const = 0;
};

class ConversationWindow : public virtual Object {
public:
    virtual std::shared_ptr<ContactList> Contacts() const = 0;
};

// The six client events the program listens to. hr is the client's result
// code, previous names and statuses are what the client passes along.
class EventSink {
public:
    virtual void OnContactFriendlyNameChange(std::int32_t hr,
                                             const std::shared_ptr<Object>& pMContact,
                                             const std::u16string& bstrPrevFriendlyName) = 0;
    virtual void OnContactStatusChange(const std::shared_ptr<Object>& pMContact,
                                       std::int32_t mStatus) = 0;
    virtual void OnIMWindowCreated(const std::shared_ptr<Object>& pIMWindow) = 0;
    virtual void OnIMWindowDestroyed(const std::shared_ptr<Object>& pIMWindow) = 0;
    virtual void OnMyFriendlyNameChange(std::int32_t hr,
                                        const std::u16string& bstrPrevFriendlyName) = 0;
    virtual void OnMyStatusChange(std::int32_t hr, std::int32_t mMyStatus) = 0;
    // A failure outside any call the program made: the client quit, or sent
    // an event that could not be read.
    virtual void OnClientError(const Error& error) = 0;

protected:
    ~EventSink() = default;
};

// An attached client. Creating one (see each binding's connect function)
// attaches to the running client and subscribes the sink given; destroying it
// ends the subscription, so no event arrives afterwards.
class Client {
public:
    virtual ~Client() = default;

    virtual std::u16string MySigninName() const = 0;
    virtual std::u16string MyFriendlyName() const = 0;
    virtual std::int32_t MyStatus() const = 0;
    // Asks the client to change the user's status; the client answers with
    // OnMyStatusChange.
    virtual void SetMyStatus(std::int32_t status) = 0;
};

// Creates an attached client that delivers its events to sink; throws Error
// when no client can be attached.
using ClientFactory = std::function<std::unique_ptr<Client>(EventSink& sink)>;

std::shared_ptr<Contact> asContact(const std::shared_ptr<Object>& object);
std::shared_ptr<ConversationWindow> asConversationWindow(const std::shared_ptr<Object>& object);

}  // namespace messenger
