#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <oleauto.h>

#include <atomic>
#include <map>
#include <set>
#include <string>
#include <vector>

// A stand-in for the messenger client's automation object, as strict as a
// real COM server: it answers only the members and argument layouts the
// real one documents, raises events through the subscriber's Invoke, and can
// fail any call with a chosen HRESULT.
namespace standin {

// How a failure is described to the caller.
enum class Described { ByExceptionRecord, ByErrorObject, NotAtAll };

struct Fault {
    HRESULT number;
    std::wstring description;
    Described how = Described::ByExceptionRecord;
};

// One argument of an event, as the client would pass it.
struct Argument {
    enum class Kind { Number, NumberByReference, Text, TextByReference, Object, ObjectByReference, Real };
    Kind kind;
    LONG number = 0;
    std::wstring text;
    IDispatch* object = nullptr;  // not owned: the caller keeps it alive
    double real = 0;
};
Argument number(LONG value);
Argument numberByReference(LONG value);
Argument text(std::wstring value);
Argument textByReference(std::wstring value);
Argument object(IDispatch* value);
Argument objectByReference(IDispatch* value);
Argument real(double value);  // a type no event uses

// Everything the stand-in shares between its objects. Used on the server's
// apartment only, or while that apartment waits for the test.
struct World {
    // Calls as the stand-in saw them: "get 1304", "put 1305 = 34", "item 0 1".
    std::vector<std::wstring> calls;
    // Calls named here fail (member names, "CreateInstance", "GetIDsOfNames",
    // "FindConnectionPoint", "Advise").
    std::map<std::wstring, Fault> faults;
    bool answersNameLookups = true;
    std::set<std::wstring> missingMembers;

    std::wstring mySigninName = L"alice@example.com";
    std::wstring myFriendlyName = L"Alice";
    LONG myStatus = 2;
    // Answer a status change with OnMyStatusChange, as the client does.
    bool answerStatusChanges = true;

    std::map<DWORD, IDispatch*> subscribers;  // by cookie, one reference each
    DWORD nextCookie = 1;
    HRESULT lastEventResult = S_OK;
    std::vector<LONG> pendingStatusAnswers;

    // Answers status changes made since the last call, as the client does
    // a moment after each change.
    void answerPendingStatusChanges();

    // Raises an event on every subscriber, asking each for the event
    // interface first, as a real server does.
    void raise(DISPID id, const std::vector<Argument>& arguments);
    // Drops every subscriber (as the client does when it quits).
    void dropSubscribers();
};

extern World world;
// Objects of the stand-in alive now; zero when everyone released everything.
extern std::atomic<int> liveObjects;

// New objects, each holding one reference for the caller.
IDispatch* newContact(std::wstring signinName, std::wstring friendlyName, LONG status);
// The contacts are AddRef'd, not taken over.
IDispatch* newWindow(const std::vector<IDispatch*>& contacts);
IClassFactory* messengerFactory();  // static, not counted

}  // namespace standin
