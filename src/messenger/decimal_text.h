#pragma once

#include <string>

namespace messenger {

// A number as text, for messages and reports: digits only, in no locale.
inline std::u16string decimalText(long long number) {
    const std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace messenger
