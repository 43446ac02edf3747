// The COM binding against a stand-in client, in the tests' own apartment and
// from a second apartment, where calls and events cross the real marshaller.
// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <olectl.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "check.h"
#include "com/com_client.h"
#include "com/com_error.h"
#include "com/messenger_members.h"
#include "event_type_library.h"
#include "malloc_spy.h"
#include "standin_messenger.h"
#include "standin_server.h"

using messenger::Error;
using standin::world;
using Apartment = StandInServer::Apartment;
namespace event = messenger::com::event;

namespace {

std::u16string u16(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}
std::u16string u16(const char* text) {
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string hex(std::int32_t number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%08lX", static_cast<unsigned long>(number));
    return u16(digits);
}
std::u16string decimal(std::int32_t number) {
    return u16(std::to_string(number).c_str());
}

// Turns each event into the calls the program's handlers make, and writes
// what it read as one line.
class RecordingSink final : public messenger::EventSink {
public:
    std::vector<std::u16string> lines;

    void OnContactFriendlyNameChange(std::int32_t hr, const std::shared_ptr<messenger::Object>& contact,
                                     const std::u16string& previous) override {
        record([&] {
            const auto c = messenger::asContact(contact);
            return u"contact name " + decimal(hr) + u" " + c->SigninName() + u" " + c->FriendlyName() + u" was " +
                   previous;
        });
    }
    void OnContactStatusChange(const std::shared_ptr<messenger::Object>& contact, std::int32_t status) override {
        record([&] {
            const auto c = messenger::asContact(contact);
            return u"contact status " + c->SigninName() + u" " + decimal(status) + u" reads " + decimal(c->Status());
        });
    }
    void OnIMWindowCreated(const std::shared_ptr<messenger::Object>& window) override {
        record([&] { return u"opened" + members(window); });
    }
    void OnIMWindowDestroyed(const std::shared_ptr<messenger::Object>& window) override {
        record([&] { return u"closed" + members(window); });
    }
    void OnMyFriendlyNameChange(std::int32_t hr, const std::u16string& previous) override {
        record([&] { return u"my name " + decimal(hr) + u" was " + previous; });
    }
    void OnMyStatusChange(std::int32_t hr, std::int32_t status) override {
        record([&] { return u"my status " + decimal(hr) + u" " + decimal(status); });
    }
    void OnClientError(const Error& error) override {
        lines.push_back(u"client error " + hex(error.number()) + u" " + error.description());
    }

private:
    void record(const std::function<std::u16string()>& read) {
        try {
            lines.push_back(read());
        } catch (const Error& error) {
            lines.push_back(u"failed " + hex(error.number()) + u" " + error.description());
        }
    }
    static std::u16string members(const std::shared_ptr<messenger::Object>& window) {
        const auto contacts = messenger::asConversationWindow(window)->Contacts();
        std::u16string text;
        for (std::int32_t i = 0; i < contacts->Count(); ++i)
            text += u" " + contacts->Item(i)->SigninName();
        return text;
    }
};

MallocSpy spy;
Apartment currentApartment = Apartment::TheTests;

// Wine's marshaller drops error objects between apartments, where Windows
// carries them; there only the number survives and the system's text stands in.
bool errorObjectsArrive() {
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return currentApartment == Apartment::TheTests || !wine;
}

// The description of a failure the client did not describe.
std::u16string undescribed(HRESULT hr) {
    const std::u16string system = messenger::com::systemMessage(hr);
    return system.empty() ? u"The messenger client failed with " + hex(hr) + u", which it did not describe." : system;
}

// One test: a stand-in in the given apartment, a sink, and the check that
// nothing was left alive once the client and the stand-in let go.
void runCase(const char* name, Apartment apartment, const std::function<void(StandInServer&, RecordingSink&)>& body,
             StandInServer::Registration registration = StandInServer::Registration::Registered) {
    currentApartment = apartment;
    check::currentCase =
        std::string(name) + (apartment == Apartment::TheTests ? " [same apartment]" : " [second apartment]");
    const long memoryBefore = spy.live();
    {
        StandInServer server(apartment, registration);
        RecordingSink sink;
        try {
            body(server, sink);
        } catch (const Error& error) {
            check::report(false, "unexpected failure " + check::utf8(hex(error.number()) + u" " + error.description()),
                          __FILE__, __LINE__);
        }
        server.run([] {});
        CHECK_EQ(static_cast<long long>(world.subscribers.size()), 0LL);
    }
    pumpMessages(20);
    CHECK_EQ(static_cast<long long>(standin::liveObjects.load()), 0LL);
    CHECK_EQ(static_cast<long long>(spy.live()), static_cast<long long>(memoryBefore));
    std::printf("%-70s %s\n", check::currentCase.c_str(), "done");
}

std::u16string attachFailure(StandInServer&) {
    RecordingSink sink;
    try {
        messenger::com::connect(sink);
    } catch (const Error& error) {
        return hex(error.number()) + u" " + error.description();
    }
    return u"attached";
}

// ---- cases -------------------------------------------------------------

void readsAndWritesByDispatchId(StandInServer& server, RecordingSink& sink) {
    auto client = messenger::com::connect(sink);
    CHECK_EQ(client->MySigninName(), u16(L"alice@example.com"));
    CHECK_EQ(client->MyFriendlyName(), u16(L"Alice"));
    CHECK_EQ(client->MyStatus(), 2);
    client->SetMyStatus(34);
    server.run([] { world.answerPendingStatusChanges(); });
    CHECK_EQ(client->MyStatus(), 34);
    CHECK_EQ(sink.lines, std::vector<std::u16string>{u"my status 0 34"});
    std::vector<std::u16string> calls;
    server.run([&] {
        for (const auto& call : world.calls)
            calls.push_back(u16(call));
    });
    CHECK_EQ(calls, (std::vector<std::u16string>{u"advise", u"get 1304", u"get 1282", u"get 1305",
                                                 u"put 1305 = 34 (vt 3)", u"get 1305"}));
}

void documentedIdsWhereNamesAreNotAnswered(StandInServer& server, RecordingSink& sink) {
    server.run([] { world.answersNameLookups = false; });
    auto client = messenger::com::connect(sink);
    CHECK_EQ(client->MySigninName(), u16(L"alice@example.com"));
    client->SetMyStatus(50);
    server.run([] { world.answerPendingStatusChanges(); });
    CHECK_EQ(sink.lines, std::vector<std::u16string>{u"my status 0 50"});
}

void sixEventsBecomeCalls(StandInServer& server, RecordingSink& sink) {
    auto client = messenger::com::connect(sink);
    struct Row {
        const char* name;
        DISPID id;
        std::function<std::vector<standin::Argument>(IDispatch* bob, IDispatch* window)> arguments;
        std::u16string expected;
    };
    using namespace standin;
    const std::vector<Row> rows = {
        {"contact name", event::kOnContactFriendlyNameChange,
         [](IDispatch* bob, IDispatch*) {
             return std::vector{number(0), object(bob), text(L"Bobby")};
         },
         u"contact name 0 bob@example.com Bob \u00e9 was Bobby"},
        {"contact name, by reference", event::kOnContactFriendlyNameChange,
         [](IDispatch* bob, IDispatch*) {
             return std::vector{numberByReference(1), objectByReference(bob), textByReference(L"B\u2028b")};
         },
         u"contact name 1 bob@example.com Bob \u00e9 was B\u2028b"},
        {"contact status", event::kOnContactStatusChange,
         [](IDispatch* bob, IDispatch*) {
             return std::vector{object(bob), number(34)};
         },
         u"contact status bob@example.com 34 reads 14"},
        {"my name", event::kOnMyFriendlyNameChange,
         [](IDispatch*, IDispatch*) {
             return std::vector{number(0), text(L"")};
         },
         u"my name 0 was "},
        {"my status", event::kOnMyStatusChange,
         [](IDispatch*, IDispatch*) {
             return std::vector{number(static_cast<LONG>(0x8000FFFF)), number(66)};
         },
         u"my status -2147418113 66"},
        {"window opened", event::kOnIMWindowCreated,
         [](IDispatch*, IDispatch* window) { return std::vector{object(window)}; },
         u"opened bob@example.com carol@example.com"},
        {"window closed", event::kOnIMWindowDestroyed,
         [](IDispatch*, IDispatch* window) { return std::vector{objectByReference(window)}; },
         u"closed bob@example.com carol@example.com"},
        {"contact status, no contact", event::kOnContactStatusChange,
         [](IDispatch*, IDispatch*) {
             return std::vector{object(nullptr), number(2)};
         },
         u"failed 0x80004003 The client passed no object where a contact was expected."},
        // The client raises many more events; they are not ours to read.
        {"another event", 1027, [](IDispatch*, IDispatch*) { return std::vector{real(1.5)}; }, u""},
        {"another event, no arguments", 1100, [](IDispatch*, IDispatch*) { return std::vector<Argument>{}; }, u""},
    };
    for (const Row& row : rows) {
        sink.lines.clear();
        server.run([&] {
            IDispatch* bob = newContact(L"bob@example.com", L"Bob \u00e9", 14);
            IDispatch* carol = newContact(L"carol@example.com", L"Carol", 2);
            IDispatch* window = newWindow({bob, carol});
            world.raise(row.id, row.arguments(bob, window));
            window->Release();
            carol->Release();
            bob->Release();
        });
        const std::vector<std::u16string> expected =
            row.expected.empty() ? std::vector<std::u16string>{} : std::vector{row.expected};
        check::currentCase += std::string(" / ") + row.name;
        CHECK_EQ(sink.lines, expected);
        CHECK_EQ(static_cast<long long>(world.lastEventResult), 0LL);
        check::currentCase.resize(check::currentCase.find(" / "));
    }
}

void malformedEventsAreReported(StandInServer& server, RecordingSink& sink) {
    auto client = messenger::com::connect(sink);
    using namespace standin;
    struct Row {
        const char* name;
        DISPID id;
        std::vector<Argument> arguments;
        HRESULT expected;
        std::u16string description;
    };
    const std::vector<Row> rows = {
        {"too few",
         event::kOnMyStatusChange,
         {number(0)},
         DISP_E_BADPARAMCOUNT,
         u"OnMyStatusChange: the messenger client passed 1 arguments instead of 2."},
        {"too many",
         event::kOnIMWindowCreated,
         {object(nullptr), number(1)},
         DISP_E_BADPARAMCOUNT,
         u"OnIMWindowCreated: the messenger client passed 2 arguments instead of 1."},
        {"status of the wrong type",
         event::kOnMyStatusChange,
         {number(0), real(34)},
         DISP_E_TYPEMISMATCH,
         u"OnMyStatusChange, argument 2: the messenger client sent a value of the wrong type (VARTYPE 5)."},
        {"name of the wrong type",
         event::kOnMyFriendlyNameChange,
         {number(0), number(7)},
         DISP_E_TYPEMISMATCH,
         u"OnMyFriendlyNameChange, argument 2: the messenger client sent a value of the wrong type (VARTYPE 3)."},
        {"contact of the wrong type",
         event::kOnContactStatusChange,
         {text(L"bob"), number(2)},
         DISP_E_TYPEMISMATCH,
         u"OnContactStatusChange, argument 1: the messenger client sent a value of the wrong type (VARTYPE 8)."},
    };
    for (const Row& row : rows) {
        sink.lines.clear();
        HRESULT answered = S_OK;
        server.run([&] {
            world.raise(row.id, row.arguments);
            answered = world.lastEventResult;
        });
        check::currentCase += std::string(" / ") + row.name;
        CHECK_EQ(sink.lines, std::vector{u"client error " + hex(row.expected) + u" " + row.description});
        CHECK_EQ(static_cast<long long>(answered), static_cast<long long>(row.expected));
        check::currentCase.resize(check::currentCase.find(" / "));
    }
}

void failuresKeepTheirNumbers(StandInServer& server, RecordingSink& sink) {
    using standin::Described;
    struct Row {
        const wchar_t* member;
        standin::Fault fault;
        std::function<void(messenger::Client&)> call;
        std::u16string expected;
    };
    const std::vector<Row> rows = {
        {L"MySigninName",
         {static_cast<HRESULT>(0x8100030A), L"Not signed in.", Described::ByExceptionRecord},
         [](messenger::Client& c) { c.MySigninName(); },
         u"0x8100030A Reading MySigninName: Not signed in."},
        {L"MyFriendlyName",
         {static_cast<HRESULT>(0x81000314), L"The server is busy.", Described::ByErrorObject},
         [](messenger::Client& c) { c.MyFriendlyName(); },
         u"0x81000314 Reading MyFriendlyName: " +
             (errorObjectsArrive() ? u"The server is busy." : undescribed(0x81000314))},
        {L"MyStatus",
         {E_ACCESSDENIED, L"", Described::NotAtAll},
         [](messenger::Client& c) { c.MyStatus(); },
         u"0x80070005 Reading MyStatus: " + undescribed(E_ACCESSDENIED)},
        {L"MyStatus",
         {static_cast<HRESULT>(0x81000398), L"You are offline.", Described::ByExceptionRecord},
         [](messenger::Client& c) { c.SetMyStatus(10); },
         u"0x81000398 Setting MyStatus: You are offline."},
    };
    auto client = messenger::com::connect(sink);
    for (const Row& row : rows) {
        server.run([&] { world.faults = {{row.member, row.fault}}; });
        std::u16string caught = u"no failure";
        try {
            row.call(*client);
        } catch (const Error& error) {
            caught = hex(error.number()) + u" " + error.description();
        }
        CHECK_EQ(caught, row.expected);
    }
    // In an event: the failing read ends that event only.
    server.run([] {
        world.faults = {{L"Item", {E_INVALIDARG, L"No such contact.", Described::ByExceptionRecord}}};
        IDispatch* bob = standin::newContact(L"bob@example.com", L"Bob", 2);
        IDispatch* window = standin::newWindow({bob});
        world.raise(event::kOnIMWindowCreated, {standin::object(window)});
        world.faults.clear();
        world.raise(event::kOnIMWindowDestroyed, {standin::object(window)});
        window->Release();
        bob->Release();
    });
    CHECK_EQ(sink.lines, (std::vector<std::u16string>{u"failed 0x80070057 Reading Item: No such contact.",
                                                      u"closed bob@example.com"}));
}

void attachFailuresAreReported(StandInServer& server, RecordingSink&) {
    using standin::Described;
    struct Row {
        const char* name;
        std::function<void()> arrange;
        std::u16string expected;
    };
    const std::vector<Row> rows = {
        {"the client cannot start",
         [] {
             world.faults = {{L"CreateInstance", {CO_E_SERVER_EXEC_FAILURE, L"", Described::NotAtAll}}};
         },
         u"0x80080005 Starting the messenger client: " + undescribed(CO_E_SERVER_EXEC_FAILURE)},
        {"a member is missing", [] { world.missingMembers = {L"MyStatus"}; },
         u"0x80020006 The messenger client has no member named MyStatus; it is not a client version Quavel "
         u"Logger can attach to."},
        {"no events",
         [] {
             world.faults = {{L"FindConnectionPoint", {CONNECT_E_NOCONNECTION, L"", Described::NotAtAll}}};
         },
         u"0x80040200 Subscribing to the messenger client's events: " + undescribed(CONNECT_E_NOCONNECTION)},
        {"events refused",
         [] {
             world.faults = {{L"Advise", {CONNECT_E_ADVISELIMIT, L"Too many listeners.", Described::ByErrorObject}}};
         },
         u"0x80040201 Subscribing to the messenger client's events: " +
             (errorObjectsArrive() ? u"Too many listeners." : undescribed(CONNECT_E_ADVISELIMIT))},
    };
    for (const Row& row : rows) {
        server.run([&] {
            world.faults.clear();
            world.missingMembers.clear();
            row.arrange();
        });
        check::currentCase += std::string(" / ") + row.name;
        CHECK_EQ(attachFailure(server), row.expected);
        check::currentCase.resize(check::currentCase.find(" / "));
    }
}

void noClientInstalled(StandInServer& server, RecordingSink&) {
    CHECK_EQ(attachFailure(server),
             u"0x80040154 No messenger client was found: MSN Messenger or Windows Messenger is not installed. "
             u"Install and start it, sign in, then start Quavel Logger again. To try Quavel Logger without one, "
             u"start it with --demo.");
}

void nothingArrivesAfterRelease(StandInServer& server, RecordingSink& sink) {
    auto client = messenger::com::connect(sink);
    server.run([] { world.raise(event::kOnMyStatusChange, {standin::number(0), standin::number(10)}); });
    client.reset();
    server.run([] { world.raise(event::kOnMyStatusChange, {standin::number(0), standin::number(34)}); });
    CHECK_EQ(sink.lines, std::vector<std::u16string>{u"my status 0 10"});
    bool unsubscribed = false;
    server.run([&] { unsubscribed = !world.calls.empty() && world.calls.back() == L"unadvise"; });
    CHECK(unsubscribed);
}

// From a multithreaded apartment the client's events would arrive on COM's
// own threads: attaching there is refused.
void refusedOutsideAnApartment() {
    check::currentCase = "refused from a multithreaded apartment";
    std::u16string outcome;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        RecordingSink sink;
        try {
            messenger::com::connect(sink);
            outcome = u"attached";
        } catch (const Error& error) {
            outcome = hex(error.number());
        }
        CoUninitialize();
    }).join();
    CHECK_EQ(outcome, std::u16string(u"0x80010106"));
    std::printf("%-70s %s\n", check::currentCase.c_str(), "done");
}

}  // namespace

int main(int argc, char** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    if (FAILED(CoRegisterMallocSpy(&spy)))
        return 2;
    const std::wstring library = argc > 1 ? std::wstring(argv[1], argv[1] + std::char_traits<char>::length(argv[1]))
                                          : L"C:\\quavel-standin-events.tlb";
    if (const HRESULT hr = registerEventTypeLibrary(library); FAILED(hr)) {
        std::printf("cannot register the event type library: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 2;
    }
    for (const Apartment apartment : {Apartment::TheTests, Apartment::SecondThread}) {
        runCase("reads and writes by dispatch id", apartment, readsAndWritesByDispatchId);
        runCase("documented ids where names are not answered", apartment, documentedIdsWhereNamesAreNotAnswered);
        runCase("six events become calls", apartment, sixEventsBecomeCalls);
        runCase("malformed events are reported", apartment, malformedEventsAreReported);
        runCase("failures keep their numbers", apartment, failuresKeepTheirNumbers);
        runCase("attach failures are reported", apartment, attachFailuresAreReported);
        runCase("no client installed", apartment, noClientInstalled, StandInServer::Registration::NotRegistered);
        runCase("nothing arrives after release", apartment, nothingArrivesAfterRelease);
    }
    refusedOutsideAnApartment();
    CoRevokeMallocSpy();
    CoUninitialize();
    std::printf("%s: %d failure(s)\n", check::failures == 0 ? "PASS" : "FAIL", check::failures);
    return check::failures == 0 ? 0 : 1;
}
