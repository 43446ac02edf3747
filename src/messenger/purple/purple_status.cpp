#include "purple_status.h"

#include "../mistatus.h"

namespace messenger::purple {

namespace {

char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

std::u16string_view trimmed(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Messages are typed by people as well as set by us: any letter case counts.
bool sameMessage(std::u16string_view message, std::u16string_view wanted) {
    message = trimmed(message);
    if (message.size() != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (asciiLower(message[i]) != asciiLower(wanted[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::int32_t statusFromPurple(std::int32_t primitive, std::u16string_view message, bool idle) {
    switch (primitive) {
        case kAvailable:
        case kMobile: return idle ? MISTATUS_IDLE : MISTATUS_ONLINE;
        case kUnavailable:
            return sameMessage(message, kOnThePhone) ? MISTATUS_ON_THE_PHONE : MISTATUS_BUSY;
        case kAway:
        case kExtendedAway:
            if (sameMessage(message, kBeRightBack)) {
                return MISTATUS_BE_RIGHT_BACK;
            }
            if (sameMessage(message, kOutToLunch)) {
                return MISTATUS_OUT_TO_LUNCH;
            }
            return MISTATUS_AWAY;
        case kInvisible: return MISTATUS_INVISIBLE;
        default: return MISTATUS_OFFLINE;
    }
}

std::optional<PurpleStatusRequest> purpleRequestFor(std::int32_t status) {
    switch (status) {
        case MISTATUS_ONLINE: return PurpleStatusRequest{kAvailable, {}};
        case MISTATUS_BUSY: return PurpleStatusRequest{kUnavailable, {}};
        case MISTATUS_ON_THE_PHONE:
            return PurpleStatusRequest{kUnavailable, std::u16string(kOnThePhone)};
        case MISTATUS_AWAY: return PurpleStatusRequest{kAway, {}};
        case MISTATUS_BE_RIGHT_BACK:
            return PurpleStatusRequest{kAway, std::u16string(kBeRightBack)};
        case MISTATUS_OUT_TO_LUNCH: return PurpleStatusRequest{kAway, std::u16string(kOutToLunch)};
        case MISTATUS_INVISIBLE: return PurpleStatusRequest{kInvisible, {}};
        default: return std::nullopt;
    }
}

}  // namespace messenger::purple
