// The stand-in client as a process of its own, which COM starts when a program asks for the client's class,
// as it starts the real client: calls and events cross processes through the system's marshaller.
//   standin_server.exe /RegServer   registers it and the client's event interface (once per Wine prefix)
//   standin_server.exe -Embedding   how COM starts it: serves until told to quit
//   standin_server.exe              as a user starts the client: the same
// Beside the executable it keeps standin.journal, what was asked of it, and reads standin.commands, what to
// do next, one line each, as a test appends them:
//   contact-status <sign-in name> <status>   a contact's status changes
//   contact-name <sign-in name> <name>       a contact's friendly name changes
//   window-opened, window-closed             a conversation window with both contacts
//   quit                                     the client quits, as when the user exits it
#include <cstdio>
#include <cstring>
#include <sstream>
#include <utility>

#include "com/standin.h"

using namespace standin;
namespace event = messenger::com::event;

namespace {

std::wstring besideMe(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

void journal(const std::string& line) {
    if (std::FILE* file = _wfopen(besideMe(L"standin.journal").c_str(), L"ab")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::wstring wide(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                                    static_cast<int>(text.size())));
    return text;
}

struct Contact {
    std::wstring friendlyName;
    LONG status;
};
std::map<std::wstring, Contact> contacts = {{L"bob@example.com", {L"Bob", 2}}, {L"carol@example.com", {L"Carol", 34}}};
std::map<std::wstring, ComPtr<IDispatch>> contactObjects;
std::vector<std::pair<DISPID, std::vector<Argument>>> pending;  // raised once the current call is over

ComPtr<IDispatch> contactObject(const std::wstring& signinName) {
    auto& object = contactObjects[signinName];
    if (!object) {
        object = newObject(
            {{idOf(member::kFriendlyName), {L"FriendlyName", [=] { return Value(contacts[signinName].friendlyName); }}},
             {idOf(member::kStatus), {L"Status", [=] { return Value(contacts[signinName].status); }}},
             {idOf(member::kSigninName), {L"SigninName", [=] { return Value(signinName); }}}});
    }
    return object;
}

ComPtr<IDispatch> conversation() {
    static ComPtr<IDispatch> window =
        newWindow({contactObject(L"bob@example.com"), contactObject(L"carol@example.com")});
    return window;
}

// One line of standin.commands; false once told to quit.
bool follow(const std::string& line) {
    journal("command " + line);
    std::istringstream words(line);
    std::string verb, signinName, rest;
    words >> verb >> signinName;
    std::getline(words >> std::ws, rest);
    const std::wstring who = wide(signinName);
    if (verb == "contact-status") {
        const LONG previous = std::exchange(contacts[who].status, std::stol(rest));
        raise(event::kOnContactStatusChange, {{contactObject(who)}, {previous}});
    } else if (verb == "contact-name") {
        const std::wstring previous = std::exchange(contacts[who].friendlyName, wide(rest));
        raise(event::kOnContactFriendlyNameChange, {{0L}, {contactObject(who)}, {previous}});
    } else if (verb == "window-opened" || verb == "window-closed") {
        raise(verb == "window-opened" ? event::kOnIMWindowCreated : event::kOnIMWindowDestroyed, {{conversation()}});
    }
    return verb != "quit";
}

std::vector<std::string> commandLines() {
    std::vector<std::string> lines;
    if (std::FILE* file = _wfopen(besideMe(L"standin.commands").c_str(), L"r")) {
        for (char line[512]; std::fgets(line, sizeof line, file);) {
            lines.emplace_back(line, std::strcspn(line, "\r\n"));
        }
        std::fclose(file);
    }
    return lines;
}

// New lines of standin.commands, and the events calls left pending; false once told to quit.
bool catchUp(std::size_t& linesDone) {
    for (auto& [id, arguments] : std::exchange(pending, {})) {
        raise(id, arguments);
    }
    // So a test can wait for a program to have subscribed.
    static std::size_t subscribers = 0;
    if (std::exchange(subscribers, world.subscribers.size()) != world.subscribers.size()) {
        journal("subscribers " + std::to_string(subscribers));
    }
    const std::vector<std::string> lines = commandLines();
    while (linesDone < lines.size()) {
        if (!follow(lines[linesDone++])) {
            return false;
        }
    }
    return true;
}

int registerServer() {
    const std::wstring key = L"CLSID\\{B69003B3-C55E-4B48-836C-BC5946FC3B28}\\LocalServer32";
    const std::wstring command = L"\"" + besideMe(L"") + L"standin_server.exe\"";
    HKEY opened = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(opened);
    }
    const bool registered =
        status == ERROR_SUCCESS && SUCCEEDED(registerEventInterface(besideMe(L"standin.tlb").c_str()));
    std::printf("%s\n", registered ? "registered" : "registration failed");
    return registered ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 2;
    }
    if (argc > 1 && _stricmp(argv[1], "/RegServer") == 0) {
        return registerServer();
    }
    const auto everyone = [] {
        return Value(newCollection({contactObject(L"bob@example.com"), contactObject(L"carol@example.com")}));
    };
    // Members the program does not use, which a diagnosis reads: the user's contacts and open windows.
    const auto messenger =
        newObject({{idOf(member::kMySigninName), {L"MySigninName", [] { return Value(L"alice@example.com"); }}},
                   {idOf(member::kMyFriendlyName), {L"MyFriendlyName", [] { return Value(L"Alice"); }}},
                   {8001, {L"MyContacts", everyone}},
                   {8002, {L"IMWindows", [] { return Value(newCollection({conversation()})); }}},
                   {idOf(member::kMyStatus),
                    {L"MyStatus", [] { return Value(world.myStatus); },
                     [](LONG to) {
                         journal("MyStatus " + std::to_string(to));
                         // The client answers a change with its event, once the call is over.
                         world.myStatus = to;
                         pending.push_back({event::kOnMyStatusChange, {{0L}, {to}}});
                     }}}});
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(messenger::com::kMessengerClass, messenger.get(), CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookie))) {
        return 3;
    }
    // COM starts a local server with -Embedding; a test starts it without.
    const bool startedByCom =
        argc > 1 && (_stricmp(argv[1], "-Embedding") == 0 || _stricmp(argv[1], "/Embedding") == 0);
    journal(startedByCom ? "started by COM" : "started by hand");
    journal("serving");
    SetTimer(nullptr, 0, 100, nullptr);
    // Started again, it follows only what is asked from now on.
    std::size_t linesDone = commandLines().size();
    for (MSG message; GetMessageW(&message, nullptr, 0, 0) > 0;) {
        if (message.message == WM_TIMER && !catchUp(linesDone)) {
            break;
        }
        DispatchMessageW(&message);
    }
    CoRevokeClassObject(cookie);
    world.subscribers.clear();
    journal("quit");
    // As the real client's process ends: no goodbye to the programs attached to it.
    ExitProcess(0);
}
