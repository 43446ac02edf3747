#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How libpurple's statuses and the messenger status codes map onto each
// other, so that every status the menu sets reads back as itself.
namespace messenger::purple {

// libpurple's status primitives, as its PurpleStatusPrimitive numbers them
// (not the messenger status codes).
enum class Primitive : std::int32_t {
    kUnset = 0,
    kOffline = 1,
    kAvailable = 2,
    kUnavailable = 3,
    kInvisible = 4,
    kAway = 5,
    kExtendedAway = 6,
    kMobile = 7,
};

// The messages that tell the finer statuses apart.
inline constexpr std::u16string_view kBeRightBack = u"Be Right Back";
inline constexpr std::u16string_view kOnThePhone = u"On The Phone";
inline constexpr std::u16string_view kOutToLunch = u"Out To Lunch";

std::int32_t statusFromPurple(Primitive primitive, std::u16string_view message, bool idle);

struct PurpleStatusRequest {
    Primitive primitive;
    std::u16string message;
};
// What to ask libpurple for to set a status; nothing for codes that cannot
// be set (offline, idle, unknown codes).
std::optional<PurpleStatusRequest> purpleRequestFor(std::int32_t status);

}  // namespace messenger::purple
