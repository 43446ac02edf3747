#include "messenger/com/client_process.h"

#include <tlhelp32.h>

#include "messenger/com/messenger_members.h"
#include "messenger/com/registry_keys.h"

namespace messenger::com {

namespace {

std::wstring fileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

class Snapshot {
public:
    Snapshot() : handle_(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) {}
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    ~Snapshot() {
        if (valid()) {
            CloseHandle(handle_);
        }
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

std::wstring clientProgramPath() {
    const std::wstring key = L"CLSID\\" + guidText(kMessengerClass) + L"\\LocalServer32";
    for (const RegistryView view : {RegistryView::Native64, RegistryView::Wow32}) {
        if (const auto command = classesValue(view, key)) {
            if (auto program = programOfCommand(*command); !program.empty()) {
                return program;
            }
        }
    }
    return {};
}

std::vector<DWORD> processesRunning(const std::wstring& path) {
    std::vector<DWORD> found;
    const std::wstring wanted = fileNameOf(path);
    const Snapshot snapshot;
    if (wanted.empty() || !snapshot.valid()) {
        return found;
    }
    DWORD mySession = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &mySession);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        DWORD session = 0;
        if (CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL &&
            ProcessIdToSessionId(entry.th32ProcessID, &session) && session == mySession) {
            found.push_back(entry.th32ProcessID);
        }
    }
    return found;
}

}  // namespace messenger::com
