#include "support/faulty_client.h"

#include <functional>

namespace testsupport {

namespace {

using messenger::Contact;
using messenger::ContactList;
using messenger::ConversationWindow;
using Faults = std::shared_ptr<FaultPlan>;

// Counts each call on the wrapped object and fails it as the plan says.
template <typename Interface>
class Faulty : public Interface {
public:
    Faulty(std::shared_ptr<Interface> inner, Faults faults) : inner_(std::move(inner)), faults_(std::move(faults)) {}

protected:
    template <typename Member, typename... Arguments>
    auto call(Member member, Arguments... arguments) const {
        faults_->check();
        return std::invoke(member, *inner_, arguments...);
    }

    std::shared_ptr<Interface> inner_;
    Faults faults_;
};

class FaultyContact final : public Faulty<Contact> {
public:
    using Faulty::Faulty;
    std::u16string signinName() const override { return call(&Contact::signinName); }
    std::u16string friendlyName() const override { return call(&Contact::friendlyName); }
    std::int32_t status() const override { return call(&Contact::status); }
};

class FaultyContactList final : public Faulty<ContactList> {
public:
    using Faulty::Faulty;
    std::int32_t count() const override { return call(&ContactList::count); }
    std::shared_ptr<Contact> item(std::int32_t index) const override {
        return std::make_shared<FaultyContact>(call(&ContactList::item, index), faults_);
    }
};

class FaultyWindow final : public Faulty<ConversationWindow> {
public:
    using Faulty::Faulty;
    std::shared_ptr<ContactList> contacts() const override {
        return std::make_shared<FaultyContactList>(call(&ConversationWindow::contacts), faults_);
    }
};

// Hands the client's events on, their objects wrapped; a crashed client
// sends none.
class FaultyRelay final : public messenger::EventSink {
public:
    FaultyRelay(messenger::EventSink& target, Faults faults) : target_(target), faults_(std::move(faults)) {}

    void contactNameChanged(const std::shared_ptr<Contact>& contact) override {
        if (!faults_->hasCrashed()) {
            target_.contactNameChanged(std::make_shared<FaultyContact>(contact, faults_));
        }
    }
    void contactStatusChanged(const std::shared_ptr<Contact>& contact) override {
        if (!faults_->hasCrashed()) {
            target_.contactStatusChanged(std::make_shared<FaultyContact>(contact, faults_));
        }
    }
    void conversationOpened(const std::shared_ptr<ConversationWindow>& window) override {
        if (!faults_->hasCrashed()) {
            target_.conversationOpened(std::make_shared<FaultyWindow>(window, faults_));
        }
    }
    void conversationClosed(const std::shared_ptr<ConversationWindow>& window) override {
        if (!faults_->hasCrashed()) {
            target_.conversationClosed(std::make_shared<FaultyWindow>(window, faults_));
        }
    }
    void myNameChanged() override {
        if (!faults_->hasCrashed()) {
            target_.myNameChanged();
        }
    }
    void myStatusChanged() override {
        if (!faults_->hasCrashed()) {
            target_.myStatusChanged();
        }
    }
    void clientFailed(const messenger::Error& error) override { target_.clientFailed(error); }

private:
    messenger::EventSink& target_;
    Faults faults_;
};

// A base of its own, so that the relay outlives the client's subscription.
struct RelayOwner {
    std::unique_ptr<FaultyRelay> relay;
};

class FaultyClient final : private RelayOwner, public Faulty<messenger::Client> {
public:
    FaultyClient(messenger::EventSink& sink, const shell::ClientFactory& connect, Faults faults)
        : RelayOwner{std::make_unique<FaultyRelay>(sink, faults)}, Faulty(connect(*relay), faults) {}

    std::u16string mySigninName() const override { return call(&Client::mySigninName); }
    std::u16string myFriendlyName() const override { return call(&Client::myFriendlyName); }
    std::int32_t myStatus() const override { return call(&Client::myStatus); }
    void requestMyStatus(std::int32_t status) override { call(&Client::requestMyStatus, status); }
};

}  // namespace

shell::ClientFactory withFaults(shell::ClientFactory connect, Faults faults) {
    return [connect = std::move(connect),
            faults = std::move(faults)](messenger::EventSink& sink) -> std::unique_ptr<messenger::Client> {
        faults->check();
        return std::make_unique<FaultyClient>(sink, connect, faults);
    };
}

}  // namespace testsupport
