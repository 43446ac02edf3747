#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace messenger {

// Result codes we raise ourselves. They follow the client's own convention
// (COM HRESULTs), so a report reads the same whichever side failed.
namespace errc {
inline constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005);
inline constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002);
inline constexpr std::int32_t kNullObject = static_cast<std::int32_t>(0x80004003);
inline constexpr std::int32_t kOutOfMemory = static_cast<std::int32_t>(0x8007000E);
inline constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057);
inline constexpr std::int32_t kOverflow = static_cast<std::int32_t>(0x8002000A);
inline constexpr std::int32_t kBadIndex = static_cast<std::int32_t>(0x8002000B);
inline constexpr std::int32_t kClassNotRegistered = static_cast<std::int32_t>(0x80040154);
inline constexpr std::int32_t kDisconnected = static_cast<std::int32_t>(0x80010108);
}  // namespace errc

// The one error every failing client call raises: the client's 32-bit result
// code and its description, as the client delivers them.
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
