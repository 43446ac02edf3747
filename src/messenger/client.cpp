#include "client.h"

namespace messenger {

namespace {
template <typename Wanted>
std::shared_ptr<Wanted> queryInterface(const std::shared_ptr<Object>& object,
                                       const char16_t* what) {
    if (!object) {
        throw Error(errc::kNullObject, std::u16string(u"The client passed no object where ") +
                                           what + u" was expected.");
    }
    auto wanted = std::dynamic_pointer_cast<Wanted>(object);
    if (!wanted) {
        throw Error(errc::kNoInterface,
                    std::u16string(u"The object the client passed is not ") + what + u".");
    }
    return wanted;
}
}  // namespace

std::shared_ptr<Contact> asContact(const std::shared_ptr<Object>& object) {
    return queryInterface<Contact>(object, u"a contact");
}

std::shared_ptr<ConversationWindow> asConversationWindow(const std::shared_ptr<Object>& object) {
    return queryInterface<ConversationWindow>(object, u"a conversation window");
}

}  // namespace messenger
