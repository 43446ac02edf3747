#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <string>
#include <vector>

// Whether the client is running, told without asking COM: asking COM for the
// client's class starts the client when it is not running.
namespace messenger::com {

// The program the client's class is served by (its LocalServer32), as a
// full path; empty where the class names none.
std::wstring clientProgramPath();

// The ids of this session's processes running the program at path (matched
// by file name: the path a process reports may be spelt otherwise).
std::vector<DWORD> processesRunning(const std::wstring& path);

}  // namespace messenger::com
