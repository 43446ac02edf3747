// The COM binding against a stand-in client, in the tests' own apartment and
// from a second apartment, where calls and events cross the real marshaller.
// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <objidl.h>
#include <olectl.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "messenger/com/com_client.h"
#include "messenger/com/com_error.h"
#include "messenger/com/messenger_members.h"
#include "standin_messenger.h"

using messenger::Error;
using messenger::com::decimalText;
using standin::Described;
using standin::Fault;
using standin::world;
namespace event = messenger::com::event;

namespace {

int failures = 0;
std::string currentCase;
bool secondApartment = false;

std::u16string hex(long number) {
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "0x%08lX", static_cast<unsigned long>(number));
    return {digits, digits + length};
}
std::u16string describe(const Error& error) {
    return hex(error.number()) + u" " + error.description();
}
std::string utf8(const std::u16string& text) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    std::string out(WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

void expect(const std::u16string& actual, const std::u16string& expected, const std::string& what) {
    if (actual == expected)
        return;
    ++failures;
    std::printf("FAIL %s: %s\n    actual:   %s\n    expected: %s\n", currentCase.c_str(), what.c_str(),
                utf8(actual).c_str(), utf8(expected).c_str());
}

// Wine's marshaller drops error objects between apartments, where Windows
// carries them; there only the number survives and the system's text stands in.
bool errorObjectsArrive() {
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return !secondApartment || !wine;
}

// The description of a failure the client did not describe.
std::u16string undescribed(HRESULT hr) {
    const std::u16string system = messenger::com::systemMessage(hr);
    return system.empty() ? u"The messenger client failed with " + hex(hr) + u", which it did not describe." : system;
}

// Counts the blocks of COM task memory alive, BSTRs among them (with the
// system's string cache off, OANOCACHE=1), so a case can tell every string
// handed over was freed.
class MallocSpy final : public IMallocSpy {
public:
    std::atomic<long> live{0};

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = (iid == IID_IUnknown || iid == IID_IMallocSpy) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override {
        live += block != nullptr;
        return block;
    }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override {
        live -= block && spied;
        return block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** out, BOOL) override {
        *out = block;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int allocated) override { return allocated; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
} spy;

// Writes each event as a line, with what a handler of the program reads.
class RecordingSink final : public messenger::EventSink {
public:
    std::u16string lines;  // " | " between them

    void contactNameChanged(const std::shared_ptr<messenger::Contact>& contact) override {
        record([&] { return u"contact name " + contact->signinName() + u" " + contact->friendlyName(); });
    }
    void contactStatusChanged(const std::shared_ptr<messenger::Contact>& contact) override {
        record([&] { return u"contact status " + contact->signinName() + u" " + decimalText(contact->status()); });
    }
    void conversationOpened(const std::shared_ptr<messenger::ConversationWindow>& window) override {
        record([&] { return u"opened" + members(*window); });
    }
    void conversationClosed(const std::shared_ptr<messenger::ConversationWindow>& window) override {
        record([&] { return u"closed" + members(*window); });
    }
    void myNameChanged() override { add(u"my name"); }
    void myStatusChanged() override { add(u"my status"); }
    void clientFailed(const Error& error) override { add(u"client failed " + describe(error)); }

private:
    void add(const std::u16string& line) { lines += (lines.empty() ? u"" : u" | ") + line; }
    void record(const std::function<std::u16string()>& read) {
        try {
            add(read());
        } catch (const Error& error) {
            add(u"failed " + describe(error));
        }
    }
    static std::u16string members(const messenger::ConversationWindow& window) {
        const auto contacts = window.contacts();
        std::u16string text;
        for (std::int32_t i = 0; i < contacts->count(); ++i)
            text += u" " + contacts->item(i)->signinName();
        return text;
    }
};

// One case, with the stand-in in each apartment in turn, and the check that
// nothing was left alive once the binding and the stand-in let go.
void runCase(const char* name, const std::function<void(standin::Server&, RecordingSink&)>& body) {
    for (const bool ownThread : {false, true}) {
        secondApartment = ownThread;
        currentCase = std::string(name) + (ownThread ? " [second apartment]" : " [same apartment]");
        const long memoryBefore = spy.live;
        {
            standin::Server server(ownThread);
            RecordingSink sink;
            body(server, sink);
            // Read from here while the stand-in's apartment has nothing to do.
            expect(decimalText(static_cast<long long>(world.subscribers.size())), u"0", "subscriptions left");
        }
        expect(decimalText(standin::liveObjects), u"0", "stand-in objects alive");
        expect(decimalText(spy.live - memoryBefore), u"0", "blocks of task memory left");
        std::printf("%-60s done\n", currentCase.c_str());
    }
}

// What the program does with a client: attach, read, set the status, read
// it back. What it read, or how it failed.
std::u16string attachReadWrite(RecordingSink& sink) {
    try {
        auto client = messenger::com::connect(sink);
        const std::u16string read =
            client->mySigninName() + u" " + client->myFriendlyName() + u" " + decimalText(client->myStatus());
        client->requestMyStatus(34);
        return read + u" " + decimalText(client->myStatus());
    } catch (const Error& error) {
        return describe(error);
    }
}

void callsAndTheirFailures(standin::Server& server, RecordingSink& sink) {
    struct Row {
        const char* name;
        std::map<std::wstring, Fault> faults;
        std::u16string expected;
        bool multithreaded = false;  // attaching from a multithreaded apartment
    };
    const std::vector<Row> rows = {
        {"reads and writes by dispatch id", {}, u"alice@example.com Alice 2 34"},
        {"documented ids where names are not answered", {{L"names", {E_NOTIMPL}}}, u"alice@example.com Alice 2 34"},
        {"no client installed", {{L"CreateInstance", {REGDB_E_CLASSNOTREG}}},
         u"0x80040154 No messenger client was found: MSN Messenger or Windows Messenger is not installed. Install "
         u"and start it, sign in, then start Quavel Logger again. To try Quavel Logger without one, start it with "
         u"--demo."},
        {"the client cannot start", {{L"CreateInstance", {CO_E_SERVER_EXEC_FAILURE}}},
         u"0x80080005 Starting the messenger client: " + undescribed(CO_E_SERVER_EXEC_FAILURE)},
        {"a member is missing", {{L"name MyStatus", {DISP_E_UNKNOWNNAME}}},
         u"0x80020006 The messenger client has no member named MyStatus; it is not a client version Quavel Logger "
         u"can attach to."},
        {"no events", {{L"FindConnectionPoint", {CONNECT_E_NOCONNECTION}}},
         u"0x80040200 Subscribing to the messenger client's events: " + undescribed(CONNECT_E_NOCONNECTION)},
        {"events refused", {{L"Advise", {CONNECT_E_ADVISELIMIT}}},
         u"0x80040201 Subscribing to the messenger client's events: " + undescribed(CONNECT_E_ADVISELIMIT)},
        {"a read fails, with an exception record",
         {{L"get MySigninName", {HRESULT(0x8100030A), L"Not signed in.", Described::ByExceptionRecord}}},
         u"0x8100030A Reading MySigninName: Not signed in."},
        {"a read fails, with an error object",
         {{L"get MyFriendlyName", {HRESULT(0x81000314), L"The server is busy.", Described::ByErrorObject}}},
         u"0x81000314 Reading MyFriendlyName: " +
             (errorObjectsArrive() ? u"The server is busy." : undescribed(0x81000314))},
        {"a read fails, undescribed", {{L"get MyStatus", {E_ACCESSDENIED}}},
         u"0x80070005 Reading MyStatus: " + undescribed(E_ACCESSDENIED)},
        {"the write fails",
         {{L"put MyStatus", {HRESULT(0x81000398), L"You are offline.", Described::ByExceptionRecord}}},
         u"0x81000398 Setting MyStatus: You are offline."},
        // The client's events would arrive on COM's own threads there.
        {"refused from a multithreaded apartment", {},
         u"0x80010106 Quavel Logger can attach to the messenger client only from a single-threaded apartment, where "
         u"its events can arrive.",
         true},
    };
    for (const Row& row : rows) {
        server.run([&] {
            world.faults = row.faults;
            world.myStatus = 2;
        });
        std::u16string outcome;
        if (row.multithreaded) {
            std::thread([&] {
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                outcome = attachReadWrite(sink);
                CoUninitialize();
            }).join();
        } else {
            outcome = attachReadWrite(sink);
        }
        expect(outcome, row.expected, row.name);
    }
}

void eventsReachTheSink(standin::Server& server, RecordingSink& sink) {
    struct Row {
        const char* name;
        DISPID id;
        std::vector<standin::Argument> arguments;
        std::u16string expected;
        std::map<std::wstring, Fault> faults = {};
    };
    // Built, used and dropped in the stand-in's apartment, where its objects live.
    std::vector<Row> rows;
    server.run([&] {
        const auto bob = standin::newContact(L"bob@example.com", L"Bob \u00e9", 14);
        const auto window = standin::newWindow({bob, standin::newContact(L"carol@example.com", L"Carol", 2)});
        const standin::ComPtr<IDispatch> none;
        rows = {
            {"contact name", event::kOnContactFriendlyNameChange, {{0}, {bob}, {L"Bobby"}},
             u"contact name bob@example.com Bob \u00e9"},
            {"contact name, every argument by reference", event::kOnContactFriendlyNameChange,
             {{0, true}, {bob, true}, {L"Bobby", true}}, u"contact name bob@example.com Bob \u00e9"},
            {"contact status", event::kOnContactStatusChange, {{bob}, {34}}, u"contact status bob@example.com 14"},
            {"my name", event::kOnMyFriendlyNameChange, {{0}, {L"Al"}}, u"my name"},
            {"my status", event::kOnMyStatusChange, {{0}, {66}}, u"my status"},
            {"window opened", event::kOnIMWindowCreated, {{window}}, u"opened bob@example.com carol@example.com"},
            {"window closed, by reference", event::kOnIMWindowDestroyed, {{window, true}},
             u"closed bob@example.com carol@example.com"},
            {"a read in the handler fails", event::kOnIMWindowCreated, {{window}},
             u"failed 0x80070057 Reading Item: No such contact.",
             {{L"call Item", {E_INVALIDARG, L"No such contact.", Described::ByExceptionRecord}}}},
            // The client raises many more events; they are not the program's to read.
            {"an event the program does not use", 1100, {}, u""},
            {"too few arguments", event::kOnMyStatusChange, {{0}},
             u"client failed 0x8002000E OnMyStatusChange: the messenger client passed 1 arguments instead of 2."},
            {"too many arguments", event::kOnIMWindowCreated, {{window}, {1}},
             u"client failed 0x8002000E OnIMWindowCreated: the messenger client passed 2 arguments instead of 1."},
            {"a contact of the wrong type", event::kOnContactStatusChange, {{L"bob"}, {2}},
             u"client failed 0x80020005 OnContactStatusChange, argument 1: the messenger client sent a value of the "
             u"wrong type (VARTYPE 8)."},
            {"no contact", event::kOnContactFriendlyNameChange, {{0}, {none}, {L""}},
             u"client failed 0x80004003 OnContactFriendlyNameChange: the messenger client passed no object."},
            {"no window", event::kOnIMWindowDestroyed, {{none}},
             u"client failed 0x80004003 OnIMWindowDestroyed: the messenger client passed no object."},
        };
    });
    auto client = messenger::com::connect(sink);
    for (const Row& row : rows) {
        sink.lines.clear();
        server.run([&] {
            world.faults = row.faults;
            world.raise(row.id, row.arguments);
        });
        expect(sink.lines, row.expected, row.name);
    }
    // An event already on its way when the subscription ends must find no
    // one: a second subscription, which the binding does not end, delivers it.
    sink.lines.clear();
    server.run([&] {
        rows.clear();
        world.subscribers.emplace(0, world.subscribers.at(1));
    });
    client.reset();
    server.run([] {
        world.raise(event::kOnMyStatusChange, {{0}, {3}});
        world.subscribers.erase(0);
    });
    expect(sink.lines, u"", "an event after detaching");
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || FAILED(CoRegisterMallocSpy(&spy)))
        return 2;
    if (const HRESULT hr = standin::registerEventInterface(); FAILED(hr)) {
        std::printf("cannot register the event interface: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 2;
    }
    runCase("calls and their failures", callsAndTheirFailures);
    runCase("events reach the sink", eventsReachTheSink);
    CoRevokeMallocSpy();
    CoUninitialize();
    std::printf("%s: %d failure(s)\n", failures == 0 ? "PASS" : "FAIL", failures);
    return failures == 0 ? 0 : 1;
}
