#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <string>

// Builds and registers a type library describing the client's event
// interface, so the system can marshal it between apartments as it would
// with the real client installed. path is where the library file goes.
HRESULT registerEventTypeLibrary(const std::wstring& path);
