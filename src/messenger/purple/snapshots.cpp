#include "messenger/purple/snapshots.h"

#include "messenger/status_codes.h"

namespace messenger::purple {

namespace {

// A contact as the client described it for one event.
class ContactSnapshot final : public Contact {
public:
    ContactSnapshot(const QString& signinName, const QString& friendlyName, std::int32_t status)
        : signinName_(signinName.toStdU16String()),
          friendlyName_(friendlyName.toStdU16String()),
          status_(status) {}
    std::u16string signinName() const override { return signinName_; }
    std::u16string friendlyName() const override { return friendlyName_; }
    std::int32_t status() const override { return status_; }

private:
    std::u16string signinName_;
    std::u16string friendlyName_;
    std::int32_t status_;
};

}  // namespace

std::shared_ptr<Contact> contactSnapshot(const QString& signinName, const QString& friendlyName,
                                         std::int32_t status) {
    return std::make_shared<ContactSnapshot>(signinName, friendlyName, status);
}

std::vector<std::shared_ptr<Contact>> Members::contacts() const {
    QStringList shownNames = names;
    QStringList shownAliases = aliases;
    for (auto change = sinceOpened.crbegin(); change != sinceOpened.crend(); ++change) {
        if (const qsizetype at = shownNames.indexOf(change->name); change->joined && at >= 0) {
            shownNames.removeAt(at);
            if (at < shownAliases.size()) {
                shownAliases.removeAt(at);
            }
        } else if (!change->joined && at < 0) {
            shownNames.append(change->name);
        }
    }
    std::vector<std::shared_ptr<Contact>> members;
    for (qsizetype i = 0; i < shownNames.size(); ++i) {
        // The user is in a room too, but a window's contacts are the others.
        if (type == kChatConversation && shownNames[i] == ownNick) {
            continue;
        }
        members.push_back(
            contactSnapshot(shownNames[i], shownAliases.value(i, shownNames[i]), status::kOnline));
    }
    return members;
}

std::int32_t Presence::status() const {
    return statusFromPurple(primitive, message.toStdU16String(), idle);
}

}  // namespace messenger::purple
