#pragma once

#include <memory>

#include "messenger/client.h"
#include "messenger/com/com_handles.h"
#include "messenger/com/dispatch_calls.h"

// The client's contacts, contact collections and conversation windows, each
// read afresh through its IDispatch on every call.
namespace messenger::com {

class ComContact final : public Contact {
public:
    ComContact(ComPtr<IDispatch> object, std::shared_ptr<MemberIds> ids);
    std::u16string signinName() const override;
    std::u16string friendlyName() const override;
    std::int32_t status() const override;

private:
    ComPtr<IDispatch> object_;
    std::shared_ptr<MemberIds> ids_;
};

class ComContactList final : public ContactList {
public:
    ComContactList(ComPtr<IDispatch> object, std::shared_ptr<MemberIds> ids);
    std::int32_t count() const override;
    std::shared_ptr<Contact> item(std::int32_t index) const override;

private:
    ComPtr<IDispatch> object_;
    std::shared_ptr<MemberIds> ids_;
};

class ComConversationWindow final : public ConversationWindow {
public:
    ComConversationWindow(ComPtr<IDispatch> object, std::shared_ptr<MemberIds> ids);
    std::shared_ptr<ContactList> contacts() const override;

private:
    ComPtr<IDispatch> object_;
    std::shared_ptr<MemberIds> ids_;
};

}  // namespace messenger::com
