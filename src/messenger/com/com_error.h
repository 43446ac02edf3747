#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <string>

#include "messenger/decimal_text.h"
#include "messenger/error.h"

namespace messenger::com {

// The error for a failed HRESULT: that number, and the best description at
// hand: the one the call left in the thread's error object, else the
// system's message for the number.
Error errorFor(HRESULT hr);
// The same, with context in front of the description ("Reading MyStatus: ...").
Error errorFor(HRESULT hr, const std::u16string& context);

// A result code as text, as in 0x80040154.
std::u16string hexNumber(HRESULT hr);

// The system's message for a result code, without its line break; empty
// where the system has none.
std::u16string systemMessage(HRESULT hr);

// Throws errorFor(hr, context) when hr is a failure.
inline void check(HRESULT hr, const std::u16string& context) {
    if (FAILED(hr)) {
        throw errorFor(hr, context);
    }
}

}  // namespace messenger::com
