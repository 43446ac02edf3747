#include "demo_objects.h"

#include <string>

namespace messenger::demo {

DemoContact::DemoContact(std::shared_ptr<FaultPlan> faults, std::u16string signinName,
                         std::u16string friendlyName, std::int32_t status)
    : faults_(std::move(faults)),
      signinName_(std::move(signinName)),
      friendlyName_(std::move(friendlyName)),
      status_(status) {}

void DemoContact::check(Call call) const {
    if (released_) {
        throw Error(errc::kDisconnected, u"The object invoked has disconnected from its clients.");
    }
    faults_->check(call);
}

std::u16string DemoContact::SigninName() const {
    check(Call::ContactSigninName);
    return signinName_;
}

std::u16string DemoContact::FriendlyName() const {
    check(Call::ContactFriendlyName);
    return friendlyName_;
}

std::int32_t DemoContact::Status() const {
    check(Call::ContactStatus);
    return status_;
}

DemoContactList::DemoContactList(std::shared_ptr<FaultPlan> faults,
                                 std::vector<std::shared_ptr<DemoContact>> contacts)
    : faults_(std::move(faults)), contacts_(std::move(contacts)) {}

std::int32_t DemoContactList::Count() const {
    faults_->check(Call::ContactsCount);
    return static_cast<std::int32_t>(contacts_.size());
}

std::shared_ptr<Contact> DemoContactList::Item(std::int32_t index) const {
    faults_->check(Call::ContactsItem);
    if (index < 0 || static_cast<std::size_t>(index) >= contacts_.size()) {
        throw Error(errc::kBadIndex, u"Invalid index.");
    }
    return contacts_[static_cast<std::size_t>(index)];
}

DemoConversationWindow::DemoConversationWindow(std::shared_ptr<FaultPlan> faults,
                                               std::vector<std::shared_ptr<DemoContact>> contacts)
    : faults_(std::move(faults)), members_(std::move(contacts)) {}

std::shared_ptr<ContactList> DemoConversationWindow::Contacts() const {
    faults_->check(Call::WindowContacts);
    return std::make_shared<DemoContactList>(faults_, members_);
}

}  // namespace messenger::demo
