#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A small test harness for the cross-built tests, which have no Qt: checks
// that report file, line and both values, and a count of failures.
namespace check {

inline int failures = 0;
inline std::string currentCase;

inline std::string utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
inline std::string show(const std::u16string& value) {
    return "\"" + utf8(value) + "\"";
}
inline std::string show(const std::string& value) {
    return "\"" + value + "\"";
}
inline std::string show(long long value) {
    return std::to_string(value);
}
inline std::string show(const std::vector<std::u16string>& lines) {
    std::string out = "[";
    for (const auto& line : lines)
        out += "\n    " + show(line);
    return out + "]";
}

inline bool report(bool passed, const std::string& what, const char* file, int line) {
    if (!passed) {
        ++failures;
        std::printf("FAIL %s\n  %s:%d: %s\n", currentCase.c_str(), file, line, what.c_str());
        std::fflush(stdout);
    }
    return passed;
}

template <typename A, typename B>
bool equal(const A& actual, const B& expected, const char* expression, const char* file, int line) {
    return report(actual == expected,
                  std::string(expression) + "\n    actual:   " + show(actual) + "\n    expected: " + show(expected),
                  file, line);
}

}  // namespace check

#define CHECK(condition) check::report((condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) check::equal((actual), (expected), #actual, __FILE__, __LINE__)
