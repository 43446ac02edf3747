#include "messenger/demo/demo_objects.h"

namespace messenger::demo {

std::int32_t DemoContactList::count() const {
    return static_cast<std::int32_t>(contacts_.size());
}

std::shared_ptr<Contact> DemoContactList::item(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= contacts_.size()) {
        throw Error(errc::kBadIndex, u"Invalid index.");
    }
    return contacts_[static_cast<std::size_t>(index)];
}

}  // namespace messenger::demo
