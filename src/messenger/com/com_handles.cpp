#include "messenger/com/com_handles.h"

#include "messenger/error.h"

namespace messenger::com {

Bstr::Bstr(const std::u16string& text)
    : text_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                              static_cast<UINT>(text.size()))) {
    if (!text_) {
        throw Error(errc::kOutOfMemory, u"There is not enough memory for a string.");
    }
}

std::u16string toU16String(BSTR text) {
    if (!text) {
        return {};
    }
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

}  // namespace messenger::com
