#include "messenger/com/com_objects.h"

namespace messenger::com {

namespace {

Variant read(IDispatch* object, MemberIds& ids, const Member& member) {
    return getProperty(object, ids.idOf(object, member), u"Reading " + nameOf(member));
}

}  // namespace

ComContact::ComContact(ComPtr<IDispatch> object, std::shared_ptr<MemberIds> ids)
    : object_(std::move(object)), ids_(std::move(ids)) {}

std::u16string ComContact::signinName() const {
    return toText(read(object_.get(), *ids_, member::kSigninName).get(), u"Reading SigninName");
}

std::u16string ComContact::friendlyName() const {
    return toText(read(object_.get(), *ids_, member::kFriendlyName).get(), u"Reading FriendlyName");
}

std::int32_t ComContact::status() const {
    return toInt32(read(object_.get(), *ids_, member::kStatus).get(), u"Reading Status");
}

ComContactList::ComContactList(ComPtr<IDispatch> object, std::shared_ptr<MemberIds> ids)
    : object_(std::move(object)), ids_(std::move(ids)) {}

std::int32_t ComContactList::count() const {
    return toInt32(read(object_.get(), *ids_, member::kCount).get(), u"Reading Count");
}

std::shared_ptr<Contact> ComContactList::item(std::int32_t index) const {
    const std::u16string context = u"Reading Item";
    const Variant item =
        callWithIndex(object_.get(), ids_->idOf(object_.get(), member::kItem), index, context);
    auto contact = toObject(item.get(), context);
    if (!contact) {
        throw Error(errc::kNullObject, context + u": the messenger client gave no contact.");
    }
    return std::make_shared<ComContact>(std::move(contact), ids_);
}

ComConversationWindow::ComConversationWindow(ComPtr<IDispatch> object,
                                             std::shared_ptr<MemberIds> ids)
    : object_(std::move(object)), ids_(std::move(ids)) {}

std::shared_ptr<ContactList> ComConversationWindow::contacts() const {
    const std::u16string context = u"Reading Contacts";
    auto list = toObject(read(object_.get(), *ids_, member::kContacts).get(), context);
    if (!list) {
        throw Error(errc::kNullObject, context + u": the messenger client gave no contacts.");
    }
    return std::make_shared<ComContactList>(std::move(list), ids_);
}

}  // namespace messenger::com
