#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "messenger/com/com_handles.h"

// A stand-in for the messenger client, as strict as a real COM server: one
// dispatch object whose members, by dispatch id, come from a table, and
// which answers only the argument layouts the real client documents. Any
// call can be made to fail (World::faults).
namespace standin {

using messenger::com::ComPtr;
using Value = std::variant<LONG, std::wstring, ComPtr<IDispatch>>;

ComPtr<IDispatch> newContact(std::wstring signinName, std::wstring friendlyName, LONG status);
ComPtr<IDispatch> newWindow(std::vector<ComPtr<IDispatch>> contacts);

enum class Described { ByExceptionRecord, ByErrorObject, NotAtAll };
struct Fault {
    HRESULT number;
    std::wstring description = {};
    Described how = Described::NotAtAll;
};

struct Argument {
    Value value;
    bool byReference = false;
};

// What the stand-in's objects share: used in the stand-in's apartment, or
// while that apartment has nothing to do.
struct World {
    // Calls that fail, by name: "get MyStatus", "put MyStatus", "call Item",
    // "name MyStatus" (its lookup), "names" (every lookup), "CreateInstance",
    // "FindConnectionPoint", "Advise".
    std::map<std::wstring, Fault> faults;
    LONG myStatus = 2;
    std::map<DWORD, ComPtr<IDispatch>> subscribers;  // by cookie
    DWORD nextCookie = 1;

    // Raises an event on every subscriber, as the client does.
    void raise(DISPID id, const std::vector<Argument>& arguments);
};

extern World world;
// The stand-in's objects alive now.
extern std::atomic<int> liveObjects;

// Where the stand-in lives while a test runs, registered for the client's
// class: in the tests' own apartment, or in a second thread's apartment, so
// that calls and events cross the real marshaller.
class Server {
public:
    explicit Server(bool ownThread);
    ~Server();

    // Runs work in the stand-in's apartment; meanwhile this thread pumps its
    // messages, so events the work raises reach it.
    void run(const std::function<void()>& work);

private:
    void serve();

    DWORD cookie_ = 0;
    std::atomic<DWORD> threadId_{0};
    std::thread thread_;
};

// Registers a type library for the client's event interface, as the
// client's installation does, so the system can marshal it.
HRESULT registerEventInterface();

}  // namespace standin
