#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <optional>
#include <string>

// Reading what the client's installation registered, in either registry
// view: a 64-bit program sees only the 64-bit view unless it asks, and the
// client may well be a 32-bit program.
namespace messenger::com {

enum class RegistryView { Native64, Wow32 };

// A value under HKEY_CLASSES_ROOT\path ("" for the key's default value),
// with environment strings expanded; none where the key or value is not
// there or is not text.
std::optional<std::wstring> classesValue(RegistryView view, const std::wstring& path,
                                         const std::wstring& name = L"");
bool classesKeyExists(RegistryView view, const std::wstring& path);

// "{B69003B3-...}"
std::wstring guidText(const GUID& guid);

// The program file a LocalServer32 command starts: its path without quotes
// or arguments.
std::wstring programOfCommand(const std::wstring& command);

}  // namespace messenger::com
