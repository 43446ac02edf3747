#pragma once

#include <memory>
#include <vector>

#include "messenger/client.h"

// For bindings that know a conversation's contacts all at once.
namespace messenger {

class KnownContacts final : public ContactList {
public:
    explicit KnownContacts(std::vector<std::shared_ptr<Contact>> contacts)
        : contacts_(std::move(contacts)) {}

    std::int32_t count() const override { return static_cast<std::int32_t>(contacts_.size()); }
    std::shared_ptr<Contact> item(std::int32_t index) const override {
        if (index < 0 || index >= count()) {
            throw Error(errc::kBadIndex, u"Invalid index.");
        }
        return contacts_[static_cast<std::size_t>(index)];
    }

private:
    std::vector<std::shared_ptr<Contact>> contacts_;
};

class KnownConversation final : public ConversationWindow {
public:
    explicit KnownConversation(std::vector<std::shared_ptr<Contact>> members)
        : members_(std::move(members)) {}

    std::shared_ptr<ContactList> contacts() const override {
        return std::make_shared<KnownContacts>(members_);
    }

private:
    std::vector<std::shared_ptr<Contact>> members_;
};

}  // namespace messenger
