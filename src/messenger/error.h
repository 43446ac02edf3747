#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace messenger {

// The program's own result codes, for every binding. They follow the
// client's convention (COM HRESULTs), so a report reads the same whichever
// side failed.
namespace errc {
inline constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005);
inline constexpr std::int32_t kNullObject = static_cast<std::int32_t>(0x80004003);
inline constexpr std::int32_t kOutOfMemory = static_cast<std::int32_t>(0x8007000E);
inline constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057);
inline constexpr std::int32_t kOverflow = static_cast<std::int32_t>(0x8002000A);
inline constexpr std::int32_t kBadIndex = static_cast<std::int32_t>(0x8002000B);
inline constexpr std::int32_t kClassNotRegistered = static_cast<std::int32_t>(0x80040154);
// A client reached over a message bus.
inline constexpr std::int32_t kInvalidHandle = static_cast<std::int32_t>(0x80040301);
inline constexpr std::int32_t kClientGone = static_cast<std::int32_t>(0x80040302);
inline constexpr std::int32_t kTimeout = static_cast<std::int32_t>(0x80040303);
inline constexpr std::int32_t kMalformedReply = static_cast<std::int32_t>(0x80040304);
inline constexpr std::int32_t kBusFailure = static_cast<std::int32_t>(0x80040305);
inline constexpr std::int32_t kNotSupported = static_cast<std::int32_t>(0x80040306);
inline constexpr std::int32_t kNoAccount = static_cast<std::int32_t>(0x80040307);
inline constexpr std::int32_t kNotSignedIn = static_cast<std::int32_t>(0x80040308);
}  // namespace errc

// The one error every failing client call raises: a 32-bit result code and
// its description, as the client delivers them.
class Error : public std::exception {
public:
    Error(std::int32_t number, std::u16string description)
        : number_(number), description_(std::move(description)) {}

    std::int32_t number() const noexcept { return number_; }
    const std::u16string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return "messenger client call failed"; }

private:
    std::int32_t number_;
    std::u16string description_;
};

}  // namespace messenger
