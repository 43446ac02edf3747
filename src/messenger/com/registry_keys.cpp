#include "messenger/com/registry_keys.h"

#include <cwctype>
#include <objbase.h>
#include <vector>

namespace messenger::com {

namespace {

REGSAM viewFlag(RegistryView view) {
    return view == RegistryView::Native64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

class Key {
public:
    Key(RegistryView view, const std::wstring& path) {
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | viewFlag(view), &key_) !=
            ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_) {
            RegCloseKey(key_);
        }
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::wstring expanded(const std::wstring& text) {
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) {
        return text;
    }
    std::wstring result(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(text.c_str(), result.data(), needed);
    result.resize(written > 0 ? written - 1 : 0);
    return result;
}

}  // namespace

std::optional<std::wstring> classesValue(RegistryView view, const std::wstring& path,
                                         const std::wstring& name) {
    const Key key(view, path);
    if (!key.get()) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key.get(), name.empty() ? nullptr : name.c_str(), nullptr, &type, nullptr,
                         &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes > 64 * 1024) {
        return std::nullopt;
    }
    // Room for a terminator the stored text may lack.
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), name.empty() ? nullptr : name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring value(text.data());
    return type == REG_EXPAND_SZ ? expanded(value) : value;
}

bool classesKeyExists(RegistryView view, const std::wstring& path) {
    return Key(view, path).get() != nullptr;
}

std::wstring guidText(const GUID& guid) {
    wchar_t text[40] = {};
    return StringFromGUID2(guid, text, 40) > 0 ? text : L"";
}

std::wstring programOfCommand(const std::wstring& command) {
    std::size_t start = command.find_first_not_of(L" \t");
    if (start == std::wstring::npos) {
        return {};
    }
    if (command[start] == L'"') {
        const std::size_t end = command.find(L'"', start + 1);
        return command.substr(start + 1, end == std::wstring::npos ? end : end - start - 1);
    }
    // Unquoted: up to the ".exe" that ends the program, spaces and all.
    std::wstring lower = command;
    for (wchar_t& c : lower) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    const std::size_t exe = lower.find(L".exe", start);
    if (exe != std::wstring::npos) {
        return command.substr(start, exe + 4 - start);
    }
    return command.substr(start, command.find_first_of(L" \t", start) - start);
}

}  // namespace messenger::com
