#include "messenger/purple/purple_status.h"

#include "messenger/status_codes.h"

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

std::int32_t statusFromPurple(Primitive primitive, std::u16string_view message, bool idle) {
    switch (primitive) {
        case Primitive::kAvailable:
        case Primitive::kMobile: return idle ? status::kIdle : status::kOnline;
        case Primitive::kUnavailable:
            return sameMessage(message, kOnThePhone) ? status::kOnThePhone : status::kBusy;
        case Primitive::kAway:
        case Primitive::kExtendedAway:
            if (sameMessage(message, kBeRightBack)) {
                return status::kBeRightBack;
            }
            if (sameMessage(message, kOutToLunch)) {
                return status::kOutToLunch;
            }
            return status::kAway;
        case Primitive::kInvisible: return status::kInvisible;
        default: return status::kOffline;
    }
}

std::optional<PurpleStatusRequest> purpleRequestFor(std::int32_t code) {
    switch (code) {
        case status::kOnline: return PurpleStatusRequest{Primitive::kAvailable, {}};
        case status::kBusy: return PurpleStatusRequest{Primitive::kUnavailable, {}};
        case status::kOnThePhone:
            return PurpleStatusRequest{Primitive::kUnavailable, std::u16string(kOnThePhone)};
        case status::kAway: return PurpleStatusRequest{Primitive::kAway, {}};
        case status::kBeRightBack:
            return PurpleStatusRequest{Primitive::kAway, std::u16string(kBeRightBack)};
        case status::kOutToLunch:
            return PurpleStatusRequest{Primitive::kAway, std::u16string(kOutToLunch)};
        case status::kInvisible: return PurpleStatusRequest{Primitive::kInvisible, {}};
        default: return std::nullopt;
    }
}

}  // namespace messenger::purple
