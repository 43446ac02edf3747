#pragma once

#include <memory>
#include <string>
#include <vector>

#include "../client.h"
#include "fault_plan.h"

namespace messenger::demo {

// A contact of the simulated client. Its values change only through the
// service; a released contact fails every call, as a client object whose
// server has let go of it does.
class DemoContact final : public Contact {
public:
    DemoContact(std::shared_ptr<FaultPlan> faults, std::u16string signinName,
                std::u16string friendlyName, std::int32_t status);

    std::u16string SigninName() const override;
    std::u16string FriendlyName() const override;
    std::int32_t Status() const override;

    void setFriendlyName(std::u16string name) { friendlyName_ = std::move(name); }
    void setStatus(std::int32_t status) { status_ = status; }
    void setSigninName(std::u16string name) { signinName_ = std::move(name); }
    void release() { released_ = true; }

    // The values as they stand, without a client call (for the simulation).
    const std::u16string& signinName() const { return signinName_; }
    const std::u16string& friendlyName() const { return friendlyName_; }
    std::int32_t status() const { return status_; }

private:
    void check(Call call) const;

    std::shared_ptr<FaultPlan> faults_;
    std::u16string signinName_;
    std::u16string friendlyName_;
    std::int32_t status_;
    bool released_ = false;
};

class DemoContactList final : public ContactList {
public:
    DemoContactList(std::shared_ptr<FaultPlan> faults,
                    std::vector<std::shared_ptr<DemoContact>> contacts);

    std::int32_t Count() const override;
    std::shared_ptr<Contact> Item(std::int32_t index) const override;

private:
    std::shared_ptr<FaultPlan> faults_;
    std::vector<std::shared_ptr<DemoContact>> contacts_;
};

class DemoConversationWindow final : public ConversationWindow {
public:
    DemoConversationWindow(std::shared_ptr<FaultPlan> faults,
                           std::vector<std::shared_ptr<DemoContact>> contacts);

    std::shared_ptr<ContactList> Contacts() const override;
    const std::vector<std::shared_ptr<DemoContact>>& members() const { return members_; }

private:
    std::shared_ptr<FaultPlan> faults_;
    std::vector<std::shared_ptr<DemoContact>> members_;
};

// An object that is neither a contact nor a window, as a client may pass one.
class DemoForeignObject final : public Object {};

}  // namespace messenger::demo
