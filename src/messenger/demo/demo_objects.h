#pragma once

#include <memory>
#include <string>
#include <vector>

#include "messenger/client.h"

namespace messenger::demo {

// A contact of the simulated client. Its values change only through the
// service (DemoService) or the simulation.
class DemoContact final : public Contact {
public:
    DemoContact(std::u16string signinName, std::u16string friendlyName, std::int32_t status)
        : signinName_(std::move(signinName)),
          friendlyName_(std::move(friendlyName)),
          status_(status) {}

    std::u16string signinName() const override { return signinName_; }
    std::u16string friendlyName() const override { return friendlyName_; }
    std::int32_t status() const override { return status_; }

    void setSigninName(std::u16string name) { signinName_ = std::move(name); }
    void setFriendlyName(std::u16string name) { friendlyName_ = std::move(name); }
    void setStatus(std::int32_t status) { status_ = status; }

private:
    std::u16string signinName_;
    std::u16string friendlyName_;
    std::int32_t status_;
};

class DemoContactList final : public ContactList {
public:
    explicit DemoContactList(std::vector<std::shared_ptr<DemoContact>> contacts)
        : contacts_(std::move(contacts)) {}

    std::int32_t count() const override;
    std::shared_ptr<Contact> item(std::int32_t index) const override;

private:
    std::vector<std::shared_ptr<DemoContact>> contacts_;
};

class DemoConversationWindow final : public ConversationWindow {
public:
    explicit DemoConversationWindow(std::vector<std::shared_ptr<DemoContact>> members)
        : members_(std::move(members)) {}

    std::shared_ptr<ContactList> contacts() const override {
        return std::make_shared<DemoContactList>(members_);
    }
    const std::vector<std::shared_ptr<DemoContact>>& members() const { return members_; }

private:
    std::vector<std::shared_ptr<DemoContact>> members_;
};

}  // namespace messenger::demo
