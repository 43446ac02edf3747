// The COM binding against a stand-in client, in the tests' own apartment and from a second apartment, where
// calls and events cross the real marshaller.
// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <tuple>

#include "com/standin.h"
#include "messenger/com/com_client.h"
#include "messenger/com/com_error.h"
#include "messenger/com/com_handles.h"
#include "messenger/com/messenger_members.h"

using messenger::decimalText;
using messenger::Error;
using messenger::com::ComPtr;
using messenger::com::kMessengerClass;
using messenger::com::kMessengerEvents;
namespace event = messenger::com::event;
using namespace standin;

namespace {

// The client's one object, registered for the client's class in the tests' own apartment, or in a second
// thread's apartment, so that calls and events cross the real marshaller.
class Server {
public:
    explicit Server(bool ownThread) {
        world = World{};
        if (ownThread) {
            thread_ = std::thread(&Server::serve, this);
        } else {
            publish();
        }
        // This apartment serves its messages meanwhile, as it does while it waits for any call.
        for (MSG message; ownThread && threadId_ == 0; Sleep(1)) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
        }
        CoCreateInstance(kMessengerClass, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IDispatch,
                         client_.putVoid());
    }
    ~Server() {
        run([this] {
            world.subscribers.clear();
            CoRevokeClassObject(cookie_);
        });
        client_.reset();
        if (thread_.joinable()) {
            PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
            thread_.join();
        }
    }

    // Runs work in the stand-in's apartment, through a call to the client object: meanwhile this thread
    // serves the calls the work makes into it, events among them.
    void run(const std::function<void()>& work) {
        if (!client_) {
            std::printf("FAIL the stand-in's class could not be reached\n");
            std::exit(1);
        }
        work_ = &work;
        DISPPARAMS none{};
        messenger::com::Variant result;
        client_->Invoke(kRun, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.put(), nullptr, nullptr);
    }

private:
    void publish() {
        const auto messenger =
            newObject({{idOf(member::kMySigninName), {L"MySigninName", [] { return Value(L"alice@example.com"); }}},
                       {idOf(member::kMyFriendlyName), {L"MyFriendlyName", [] { return Value(L"Alice"); }}},
                       {idOf(member::kMyStatus),
                        {L"MyStatus", [] { return Value(world.myStatus); }, [](LONG to) { world.myStatus = to; }}},
                       {kRun, {L"StandinRun", [this] { return (*work_)(), Value(0L); }}}});
        // A class that fails to register shows as "no client installed".
        CoRegisterClassObject(kMessengerClass, messenger.get(), CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie_);
    }
    void serve() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        publish();
        threadId_ = GetCurrentThreadId();
        for (MSG message; GetMessageW(&message, nullptr, 0, 0) > 0;) {
            DispatchMessageW(&message);
        }
        CoUninitialize();
    }

    static constexpr DISPID kRun = 1;  // not the client's: how the tests reach the stand-in's apartment
    const std::function<void()>* work_ = nullptr;
    ComPtr<IDispatch> client_;  // as this apartment reaches it
    DWORD cookie_ = 0;
    std::atomic<DWORD> threadId_{0};
    std::thread thread_;
};

HRESULT registerTemporaryEventInterface() {
    wchar_t path[MAX_PATH + 16] = {};
    wcscat(path + GetTempPathW(MAX_PATH, path), L"standin.tlb");
    return registerEventInterface(path);
}

// The cases.

int failures = 0;
std::string currentCase;

std::u16string describe(const Error& error) {
    char hex[16];
    const int length = std::snprintf(hex, sizeof hex, "0x%08lX ", static_cast<unsigned long>(error.number()));
    return std::u16string(hex, hex + length) + error.description();
}

void expect(const std::u16string& actual, const std::u16string& expected, const std::string& what) {
    if (actual == expected) {
        return;
    }
    ++failures;
    // Enough to read: the cases' text is ASCII but for one letter.
    std::printf("FAIL %s: %s\n    actual:   %s\n    expected: %s\n", currentCase.c_str(), what.c_str(),
                std::string(actual.begin(), actual.end()).c_str(),
                std::string(expected.begin(), expected.end()).c_str());
}

// Writes each event as a line, with what a handler of the program reads; a handler that throws leaves it to
// the binding to report.
class RecordingSink final : public messenger::EventSink {
public:
    std::u16string lines;  // " | " between them

    void contactNameChanged(const std::shared_ptr<messenger::Contact>& contact) override {
        add(u"contact name " + contact->signinName() + u" " + contact->friendlyName());
    }
    void contactStatusChanged(const std::shared_ptr<messenger::Contact>& contact) override {
        add(u"contact status " + contact->signinName() + u" " + decimalText(contact->status()));
    }
    void conversationOpened(const std::shared_ptr<messenger::ConversationWindow>& window) override {
        add(u"opened" + members(*window));
    }
    void conversationClosed(const std::shared_ptr<messenger::ConversationWindow>& window) override {
        add(u"closed" + members(*window));
    }
    void myNameChanged() override { add(u"my name"); }
    void myStatusChanged() override { add(u"my status"); }
    void clientFailed(const Error& error) override { add(u"client failed " + describe(error)); }

private:
    void add(const std::u16string& line) { lines += (lines.empty() ? u"" : u" | ") + line; }
    static std::u16string members(const messenger::ConversationWindow& window) {
        const auto contacts = window.contacts();
        std::u16string text;
        for (std::int32_t i = 0; i < contacts->count(); ++i) {
            text += u" " + contacts->item(i)->signinName();
        }
        return text;
    }
};

// One case, with the stand-in in each apartment in turn, and the check that nothing was left alive once the
// binding and the stand-in let go.
void runCase(const char* name, const std::function<void(Server&, RecordingSink&)>& body) {
    for (const bool ownThread : {false, true}) {
        currentCase = std::string(name) + (ownThread ? " [second apartment]" : " [same apartment]");
        {
            Server server(ownThread);
            RecordingSink sink;
            body(server, sink);
            expect(decimalText(static_cast<long long>(world.subscribers.size())), u"0", "subscriptions left");
        }
        expect(decimalText(liveObjects), u"0", "stand-in objects alive");
        std::printf("%-60s done\n", currentCase.c_str());
    }
}

// What the program does with a client: attach, read, set the status, read it back. What it read, or how it
// failed.
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

void callsAndTheirFailures(Server&, RecordingSink& sink) {
    const std::vector<std::tuple<const char*, decltype(world.faults), std::u16string>> rows = {
        {"reads and writes by dispatch id", {}, u"alice@example.com Alice 2 34"},
        {"documented ids where names are not answered",
         {{L"names", {E_NOTIMPL, L""}}},
         u"alice@example.com Alice 2 34"},
        {"no client installed",
         {{L"CreateInstance", {REGDB_E_CLASSNOTREG, L""}}},
         u"0x80040154 No messenger client was found: MSN Messenger or Windows Messenger is not installed. Install "
         u"and start it, sign in, then start Quavel Logger again. To try Quavel Logger without one, start it with "
         u"--demo."},
        {"a member is missing",
         {{L"name MyStatus", {DISP_E_UNKNOWNNAME, L""}}},
         u"0x80020006 The messenger client has no member named MyStatus; it is not a client version Quavel Logger "
         u"can attach to."},
        {"a read fails",
         {{L"get MyFriendlyName", {HRESULT(0x8100030A), L"Not signed in."}}},
         u"0x8100030A Reading MyFriendlyName: Not signed in."},
    };
    for (const auto& [name, faults, expected] : rows) {
        world.faults = faults;
        world.documentedIds = world.faults.contains(L"names");
        world.myStatus = 2;
        expect(attachReadWrite(sink), expected, name);
    }
    // The client's events would arrive on COM's own threads there.
    std::u16string outcome;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        outcome = attachReadWrite(sink);
        CoUninitialize();
    }).join();
    expect(outcome,
           u"0x80010106 Quavel Logger can attach to the messenger client only from a single-threaded "
           u"apartment, where its events can arrive.",
           "refused from a multithreaded apartment");
}

void eventsReachTheSink(Server& server, RecordingSink& sink) {
    // Built, used and dropped in the stand-in's apartment, where its objects live.
    std::vector<std::tuple<const char*, DISPID, std::vector<Argument>, std::u16string>> rows;
    server.run([&] {
        const auto bob = newContact(L"bob@example.com", L"Bob \u00e9", 14);
        const auto window = newWindow({bob, newContact(L"carol@example.com", L"Carol", 2)});
        rows = {
            {"contact name, every argument by reference",
             event::kOnContactFriendlyNameChange,
             {{0, true}, {bob, true}, {L"Bobby", true}},
             u"contact name bob@example.com Bob \u00e9"},
            {"contact status", event::kOnContactStatusChange, {{bob}, {34}}, u"contact status bob@example.com 14"},
            {"my name", event::kOnMyFriendlyNameChange, {{0}, {L"Al"}}, u"my name"},
            {"my status", event::kOnMyStatusChange, {{0}, {66}}, u"my status"},
            {"window opened", event::kOnIMWindowCreated, {{window}}, u"opened bob@example.com carol@example.com"},
            {"window closed", event::kOnIMWindowDestroyed, {{window}}, u"closed bob@example.com carol@example.com"},
            // The client raises many more events; they are not the program's to read.
            {"an event the program does not use", 1100, {}, u""},
            {"too few arguments",
             event::kOnMyStatusChange,
             {{0}},
             u"client failed 0x8002000E OnMyStatusChange: the messenger client passed 1 arguments instead of 2."},
            {"a contact of the wrong type",
             event::kOnContactStatusChange,
             {{L"bob"}, {2}},
             u"client failed 0x80020005 OnContactStatusChange, argument 1: the messenger client sent a value of the "
             u"wrong type (VARTYPE 8)."},
            {"no contact",
             event::kOnContactFriendlyNameChange,
             {{0}, {ComPtr<IDispatch>()}, {L""}},
             u"client failed 0x80004003 OnContactFriendlyNameChange: the messenger client passed no object."},
        };
    });
    auto client = messenger::com::connect(sink);
    for (const auto& [name, id, arguments, expected] : rows) {
        sink.lines.clear();
        server.run([&] { raise(id, arguments); });
        expect(sink.lines, expected, name);
    }
    // An event already on its way when the subscription ends must find no one: a second subscription, which
    // the binding does not end, delivers it.
    sink.lines.clear();
    server.run([] { world.subscribers.emplace(0, world.subscribers.at(1)); });
    client.reset();
    server.run([&] {
        rows.clear();
        raise(event::kOnMyStatusChange, {{0}, {3}});
        world.subscribers.erase(0);
    });
    expect(sink.lines, u"", "an event after detaching");
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || FAILED(registerTemporaryEventInterface())) {
        return 2;
    }
    runCase("calls and their failures", callsAndTheirFailures);
    runCase("events reach the sink", eventsReachTheSink);
    CoUninitialize();
    std::printf("%s: %d failure(s)\n", failures == 0 ? "PASS" : "FAIL", failures);
    return failures == 0 ? 0 : 1;
}
