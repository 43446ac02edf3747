#include "faulty_client.h"

namespace testing {

namespace {

using Faults = std::shared_ptr<FaultPlan>;

class FaultyContact final : public messenger::Contact {
public:
    FaultyContact(std::shared_ptr<messenger::Contact> inner, Faults faults)
        : inner_(std::move(inner)), faults_(std::move(faults)) {}
    std::u16string signinName() const override {
        faults_->check(Call::ContactSigninName, inner_.get());
        return inner_->signinName();
    }
    std::u16string friendlyName() const override {
        faults_->check(Call::ContactFriendlyName, inner_.get());
        return inner_->friendlyName();
    }
    std::int32_t status() const override {
        faults_->check(Call::ContactStatus, inner_.get());
        return inner_->status();
    }

private:
    std::shared_ptr<messenger::Contact> inner_;
    Faults faults_;
};

class FaultyContactList final : public messenger::ContactList {
public:
    FaultyContactList(std::shared_ptr<messenger::ContactList> inner, Faults faults)
        : inner_(std::move(inner)), faults_(std::move(faults)) {}
    std::int32_t count() const override {
        faults_->check(Call::ContactsCount);
        return inner_->count();
    }
    std::shared_ptr<messenger::Contact> item(std::int32_t index) const override {
        faults_->check(Call::ContactsItem);
        return std::make_shared<FaultyContact>(inner_->item(index), faults_);
    }

private:
    std::shared_ptr<messenger::ContactList> inner_;
    Faults faults_;
};

class FaultyWindow final : public messenger::ConversationWindow {
public:
    FaultyWindow(std::shared_ptr<messenger::ConversationWindow> inner, Faults faults)
        : inner_(std::move(inner)), faults_(std::move(faults)) {}
    std::shared_ptr<messenger::ContactList> contacts() const override {
        faults_->check(Call::WindowContacts);
        return std::make_shared<FaultyContactList>(inner_->contacts(), faults_);
    }

private:
    std::shared_ptr<messenger::ConversationWindow> inner_;
    Faults faults_;
};

// Hands the client's events on, their objects wrapped; a crashed client
// sends none.
class FaultyRelay final : public messenger::EventSink {
public:
    FaultyRelay(messenger::EventSink& target, Faults faults)
        : target_(target), faults_(std::move(faults)) {}

    void contactNameChanged(const std::shared_ptr<messenger::Contact>& contact) override {
        if (!faults_->hasCrashed())
            target_.contactNameChanged(std::make_shared<FaultyContact>(contact, faults_));
    }
    void contactStatusChanged(const std::shared_ptr<messenger::Contact>& contact) override {
        if (!faults_->hasCrashed())
            target_.contactStatusChanged(std::make_shared<FaultyContact>(contact, faults_));
    }
    void conversationOpened(const std::shared_ptr<messenger::ConversationWindow>& window) override {
        if (!faults_->hasCrashed())
            target_.conversationOpened(std::make_shared<FaultyWindow>(window, faults_));
    }
    void conversationClosed(const std::shared_ptr<messenger::ConversationWindow>& window) override {
        if (!faults_->hasCrashed())
            target_.conversationClosed(std::make_shared<FaultyWindow>(window, faults_));
    }
    void myNameChanged() override {
        if (!faults_->hasCrashed())
            target_.myNameChanged();
    }
    void myStatusChanged() override {
        if (!faults_->hasCrashed())
            target_.myStatusChanged();
    }
    void clientFailed(const messenger::Error& error) override { target_.clientFailed(error); }

private:
    messenger::EventSink& target_;
    Faults faults_;
};

class FaultyClient final : public messenger::Client {
public:
    FaultyClient(messenger::EventSink& sink, const shell::ClientFactory& connect, Faults faults)
        : faults_(std::move(faults)),
          relay_(std::make_unique<FaultyRelay>(sink, faults_)),
          inner_(connect(*relay_)) {}

    std::u16string mySigninName() const override {
        faults_->check(Call::MySigninName);
        return inner_->mySigninName();
    }
    std::u16string myFriendlyName() const override {
        faults_->check(Call::MyFriendlyName);
        return inner_->myFriendlyName();
    }
    std::int32_t myStatus() const override {
        faults_->check(Call::MyStatus);
        return inner_->myStatus();
    }
    void requestMyStatus(std::int32_t status) override {
        faults_->check(Call::RequestMyStatus);
        inner_->requestMyStatus(status);
    }

private:
    Faults faults_;
    // Declared before the client: the subscription ends before the relay goes.
    std::unique_ptr<FaultyRelay> relay_;
    std::unique_ptr<messenger::Client> inner_;
};

}  // namespace

shell::ClientFactory withFaults(shell::ClientFactory connect, Faults faults) {
    return [connect = std::move(connect), faults = std::move(faults)](messenger::EventSink& sink)
               -> std::unique_ptr<messenger::Client> {
        faults->check(Call::Attach);
        return std::make_unique<FaultyClient>(sink, connect, faults);
    };
}

}  // namespace testing
