#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

// A small test harness for the cross-built tests, which have no Qt: checks
// that report file, line and both values, and a count of failures.
namespace check {

inline int failures = 0;
inline std::string currentCase;

inline std::string utf8(const std::u16string& text) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    std::string out(
        static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
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
