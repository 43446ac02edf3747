#include "messenger/com/com_error.h"

#include <cstdio>
#include <oleauto.h>

#include "messenger/com/com_handles.h"

namespace messenger::com {

namespace {

// The description the failing call left behind, if any; taking it clears it.
std::u16string takeErrorInfoDescription() {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) != S_OK || !info) {
        return {};
    }
    Bstr description;
    if (FAILED(info->GetDescription(description.put()))) {
        return {};
    }
    return toU16String(description.get());
}

}  // namespace

std::u16string hexNumber(HRESULT hr) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%08lX", static_cast<unsigned long>(hr));
    return std::u16string(digits, digits + std::char_traits<char>::length(digits));
}

std::u16string systemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text;
    if (length > 0 && buffer) {
        text.assign(reinterpret_cast<const char16_t*>(buffer), length);
    }
    LocalFree(buffer);
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) {
        text.pop_back();
    }
    return text;
}

Error errorFor(HRESULT hr) {
    std::u16string description = takeErrorInfoDescription();
    if (description.empty()) {
        description = systemMessage(hr);
    }
    if (description.empty()) {
        description =
            u"The messenger client failed with " + hexNumber(hr) + u", which it did not describe.";
    }
    return Error(static_cast<std::int32_t>(hr), std::move(description));
}

Error errorFor(HRESULT hr, const std::u16string& context) {
    const Error plain = errorFor(hr);
    return Error(plain.number(), context + u": " + plain.description());
}

}  // namespace messenger::com
