#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "messenger/client.h"
#include "messenger/demo/demo_objects.h"

namespace messenger::demo {

// The simulated messenger client program: a signed-in user, a contact list,
// and the programs attached to it. Tests drive it directly; with --demo,
// DemoLife drives it.
class DemoService {
public:
    // Runs a task on a later turn of the caller's event loop.
    using Post = std::function<void(std::function<void()>)>;

    // A signed-in user, Online, with a contact list of eight.
    explicit DemoService(Post post);
    ~DemoService();
    DemoService(const DemoService&) = delete;
    DemoService& operator=(const DemoService&) = delete;

    // The user. The setters change a value without telling anyone.
    const std::u16string& mySigninName() const { return mySigninName_; }
    const std::u16string& myFriendlyName() const { return myFriendlyName_; }
    std::int32_t myStatus() const { return myStatus_; }
    void setMySigninName(std::u16string name) { mySigninName_ = std::move(name); }
    void setMyFriendlyName(std::u16string name) { myFriendlyName_ = std::move(name); }
    void setMyStatus(std::int32_t status) { myStatus_ = status; }

    // The contact list.
    const std::vector<std::shared_ptr<DemoContact>>& contacts() const { return contacts_; }
    std::shared_ptr<ConversationWindow> makeWindow(
        std::vector<std::shared_ptr<DemoContact>> members);

    // Events, delivered now to every attached program.
    void raiseContactNameChanged(const std::shared_ptr<Contact>& contact);
    void raiseContactStatusChanged(const std::shared_ptr<Contact>& contact);
    void raiseConversationOpened(const std::shared_ptr<ConversationWindow>& window);
    void raiseConversationClosed(const std::shared_ptr<ConversationWindow>& window);
    void raiseMyNameChanged();
    void raiseMyStatusChanged();

    // Changes as the client makes them: the value, then the event.
    void changeContactStatus(const std::shared_ptr<DemoContact>& contact, std::int32_t status);
    void changeContactName(const std::shared_ptr<DemoContact>& contact, std::u16string name);
    void changeMyFriendlyName(std::u16string name);
    void changeMyStatus(std::int32_t status);

    // What an attached program asks of the client.
    int subscribe(EventSink& sink);
    void unsubscribe(int subscription);
    std::size_t subscriberCount() const { return sinks_.size(); }
    // Takes the user's status at once and tells it with myStatusChanged on a
    // later turn of the event loop, as the real client does; refuses the
    // statuses a user cannot choose.
    void requestMyStatus(std::int32_t status);

private:
    void deliver(const std::function<void(EventSink&)>& event);

    Post post_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::u16string mySigninName_;
    std::u16string myFriendlyName_;
    std::int32_t myStatus_;
    std::vector<std::shared_ptr<DemoContact>> contacts_;
    std::map<int, EventSink*> sinks_;
    int nextSubscription_ = 1;
};

// Attaches to the simulated client, as creating the real client object does.
std::unique_ptr<Client> connect(const std::shared_ptr<DemoService>& service, EventSink& sink);

}  // namespace messenger::demo
