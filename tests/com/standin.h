#pragma once
// The stand-in for the messenger client: the COM binding's tests use it in their own process, and
// standin_server.cpp offers it as a process of its own.
// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <ocidl.h>
#include <olectl.h>
#include <string>
#include <variant>
#include <vector>

#include "messenger/com/com_handles.h"
#include "messenger/com/messenger_members.h"

namespace standin {

using messenger::com::ComPtr;
using messenger::com::kMessengerEvents;

// As strict as a real COM server: dispatch objects whose members, by
// dispatch id, come from a table, and which answer only the argument layouts the real client documents.

using Value = std::variant<LONG, std::wstring, ComPtr<IDispatch>>;
struct Member {
    const wchar_t* name;
    std::function<Value()> get;
    std::function<void(LONG)> put = {};
    std::function<Value(LONG)> call = {};  // a method taking an index
};

// What the stand-in's objects share: used in the stand-in's apartment, or while it has nothing to do.
struct World {
    // Calls that fail, by name ("get MyStatus", "put MyStatus", "name MyStatus" its lookup, "names" every
    // lookup, "CreateInstance"), with the description their exception record gives, if any.
    std::map<std::wstring, std::pair<HRESULT, std::wstring>> faults;
    LONG myStatus = 2;
    // A client that answers at the documented ids, as one that does not answer name lookups must.
    bool documentedIds = false;
    std::map<DWORD, ComPtr<IDispatch>> subscribers;  // by cookie
    DWORD nextCookie = 1;
};
inline World world;
inline std::atomic<int> liveObjects{0};

// The stand-in's dispatch ids are the documented ones shifted, so that a test fails wherever the program
// assumes an id instead of asking the object.
inline constexpr DISPID kIdShift = 7000;

// The planned failure of a call, described in its exception record where planned so; else S_OK.
inline HRESULT planned(const std::wstring& call, EXCEPINFO* record = nullptr) {
    const auto found = world.faults.find(call);
    if (found == world.faults.end()) {
        return S_OK;
    }
    const auto& [number, description] = found->second;
    if (description.empty() || !record) {
        return number;
    }
    *record = EXCEPINFO{};
    record->scode = number;
    record->bstrDescription = SysAllocString(description.c_str());
    return DISP_E_EXCEPTION;
}

// Into a VARIANT that owns what it holds.
inline void store(const Value& value, VARIANT* out) {
    VariantInit(out);
    if (const auto* number = std::get_if<LONG>(&value)) {
        out->vt = VT_I4;
        out->lVal = *number;
    } else if (const auto* text = std::get_if<std::wstring>(&value)) {
        out->vt = VT_BSTR;
        out->bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    } else {
        out->vt = VT_DISPATCH;
        if ((out->pdispVal = std::get<ComPtr<IDispatch>>(value).get())) {
            out->pdispVal->AddRef();
        }
    }
}

// Every client object: IDispatch over its table of members. Each is also the client's event source, being
// its own connection point, and its own class factory, handing out itself as the running client does.
class Object final : public IDispatch, public IConnectionPointContainer, public IConnectionPoint, public IClassFactory {
public:
    explicit Object(std::map<DISPID, Member> members) : members_(std::move(members)) { ++liveObjects; }
    ~Object() { --liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IDispatch ? as<IDispatch>()
               : iid == IID_IConnectionPointContainer      ? as<IConnectionPointContainer>()
               : iid == IID_IConnectionPoint               ? as<IConnectionPoint>()
               : iid == IID_IClassFactory                  ? as<IClassFactory>()
                                                           : nullptr;
        if (*out) {
            AddRef();
        }
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 1;
        return S_OK;
    }
    // Its members as a real client's type information gives them.
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        *info = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        static PARAMDATA index_{const_cast<OLECHAR*>(L"Index"), VT_I4};
        std::vector<METHODDATA> methods;
        for (const auto& [id, member] : members_) {
            const auto name = const_cast<OLECHAR*>(member.name);
            const auto slot = static_cast<UINT>(methods.size() + 7);  // after IUnknown's and IDispatch's
            if (member.call) {
                methods.push_back({name, &index_, id, slot, CC_STDCALL, 1, DISPATCH_METHOD, VT_VARIANT});
            } else if (member.get) {
                methods.push_back({name, nullptr, id, slot, CC_STDCALL, 0, DISPATCH_PROPERTYGET, VT_VARIANT});
            }
            if (member.put) {
                methods.push_back({name, &index_, id, slot + 1, CC_STDCALL, 1, DISPATCH_PROPERTYPUT, VT_EMPTY});
            }
        }
        INTERFACEDATA table{methods.data(), static_cast<UINT>(methods.size())};
        return CreateDispTypeInfo(&table, LOCALE_USER_DEFAULT, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT result = planned(L"names");
        for (UINT i = 0; i < count && SUCCEEDED(result); ++i) {
            const auto named = [&](const auto& member) { return _wcsicmp(member.second.name, names[i]) == 0; };
            const auto found = std::ranges::find_if(members_, named);
            ids[i] = found == members_.end() ? DISPID_UNKNOWN : found->first;
            result = found == members_.end() ? DISP_E_UNKNOWNNAME : planned(std::wstring(L"name ") + names[i]);
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* given, VARIANT* result,
                                     EXCEPINFO* record, UINT*) override {
        auto found = members_.find(world.documentedIds ? id + kIdShift : id);
        found = found == members_.end() ? members_.find(id) : found;
        if (iid != IID_NULL || found == members_.end() || !given) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const Member& member = found->second;
        const VARIANT* argument = given->cArgs == 1 ? &given->rgvarg[0] : nullptr;
        if (argument && argument->vt != VT_I4) {
            return DISP_E_TYPEMISMATCH;
        }
        if ((flags & DISPATCH_PROPERTYPUT) && member.put) {
            if (!argument || given->cNamedArgs != 1 || given->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
                return DISP_E_PARAMNOTFOUND;
            }
            const HRESULT hr = planned(L"put " + std::wstring(member.name), record);
            if (SUCCEEDED(hr)) {
                member.put(argument->lVal);
            }
            return hr;
        }
        const bool call = (flags & DISPATCH_METHOD) && member.call;
        if (!call && !((flags & DISPATCH_PROPERTYGET) && member.get)) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (given->cNamedArgs != 0 || given->cArgs != (call ? 1u : 0u) || !result) {
            return DISP_E_BADPARAMCOUNT;
        }
        const HRESULT hr = planned((call ? L"call " : L"get ") + std::wstring(member.name), record);
        if (SUCCEEDED(hr)) {
            store(call ? member.call(argument->lVal) : member.get(), result);
        }
        return hr;
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        *point = nullptr;
        return iid == kMessengerEvents ? QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(point))
                                       : CONNECT_E_NOCONNECTION;
    }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
        return QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* subscriber, DWORD* cookie) override {
        // As a real server does: the subscriber must offer the event interface.
        auto events = ComPtr<IUnknown>::share(subscriber).query<IDispatch>(kMessengerEvents);
        *cookie = events ? world.nextCookie++ : 0;
        if (events) {
            world.subscribers[*cookie] = std::move(events);
        }
        return *cookie ? S_OK : CONNECT_E_CANNOTCONNECT;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return world.subscribers.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        const HRESULT hr = outer ? CLASS_E_NOAGGREGATION : planned(L"CreateInstance");
        return FAILED(hr) ? hr : QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    template <typename Interface>
    void* as() {
        return static_cast<Interface*>(this);
    }

    std::map<DISPID, Member> members_;
    std::atomic<ULONG> references_{1};
};

inline ComPtr<IDispatch> newObject(std::map<DISPID, Member> members) {
    // COM reference counting owns it from here: the last Release deletes it.
    return ComPtr<IDispatch>::adopt(new Object(std::move(members)));
}

inline DISPID idOf(const messenger::com::Member& member) {
    return member.documentedId + kIdShift;
}

namespace member = messenger::com::member;

inline ComPtr<IDispatch> newContact(std::wstring signinName, std::wstring friendlyName, LONG status) {
    return newObject({{idOf(member::kFriendlyName), {L"FriendlyName", [=] { return Value(friendlyName); }}},
                      {idOf(member::kStatus), {L"Status", [=] { return Value(status); }}},
                      {idOf(member::kSigninName), {L"SigninName", [=] { return Value(signinName); }}}});
}

// A collection of contacts, as the client hands them out.
inline ComPtr<IDispatch> newCollection(std::vector<ComPtr<IDispatch>> contacts) {
    const auto count = static_cast<LONG>(contacts.size());
    const auto item = [=](LONG index) {
        return Value(index >= 0 && index < count ? contacts[index] : ComPtr<IDispatch>());
    };
    return newObject({{idOf(member::kCount), {L"Count", [=] { return Value(count); }}},
                      {idOf(member::kItem), {L"Item", {}, {}, item}}});
}

inline ComPtr<IDispatch> newWindow(std::vector<ComPtr<IDispatch>> contacts) {
    // A fresh collection on every read, as a client may hand out.
    return newObject({{idOf(member::kContacts), {L"Contacts", [=] { return Value(newCollection(contacts)); }}}});
}

struct Argument {
    Value value;
    bool byReference = false;
};

// Raises an event on every subscriber, as the client does: the last argument first, one by reference
// pointing at a value held beside it.
inline void raise(DISPID id, const std::vector<Argument>& arguments) {
    const std::size_t count = arguments.size();
    std::vector<messenger::com::Variant> held(count);
    std::vector<VARIANT> passed(count);
    for (std::size_t i = 0; i < count; ++i) {
        store(arguments[i].value, held[i].put());
        VARIANT& out = passed[count - 1 - i] = held[i].get();
        if (arguments[i].byReference) {
            out.vt = VT_BYREF | out.vt;
            out.byref = const_cast<LONG*>(&held[i].get().lVal);
        }
    }
    DISPPARAMS parameters{passed.data(), nullptr, static_cast<UINT>(count), 0};
    // Subscribers may come and go while the event is out: a copy.
    for (const auto& [cookie, target] : std::map(world.subscribers)) {
        target->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
    }
}

// The client's events as its type library declares them: name, id, and argument types in order.
struct EventDeclaration {
    const wchar_t* name;
    DISPID id;
    std::vector<std::pair<const wchar_t*, VARTYPE>> arguments;
};
inline const std::vector<EventDeclaration>& eventDeclarations() {
    namespace event = messenger::com::event;
    static const std::vector<EventDeclaration> declarations{
        {L"OnContactFriendlyNameChange",
         event::kOnContactFriendlyNameChange,
         {{L"hr", VT_I4}, {L"pContact", VT_DISPATCH}, {L"bstrPrevFriendlyName", VT_BSTR}}},
        {L"OnMyFriendlyNameChange",
         event::kOnMyFriendlyNameChange,
         {{L"hr", VT_I4}, {L"bstrPrevFriendlyName", VT_BSTR}}},
        {L"OnContactStatusChange", event::kOnContactStatusChange, {{L"pContact", VT_DISPATCH}, {L"mStatus", VT_I4}}},
        {L"OnMyStatusChange", event::kOnMyStatusChange, {{L"hr", VT_I4}, {L"mMyStatus", VT_I4}}},
        {L"OnIMWindowCreated", event::kOnIMWindowCreated, {{L"pIMWindow", VT_DISPATCH}}},
        {L"OnIMWindowDestroyed", event::kOnIMWindowDestroyed, {{L"pIMWindow", VT_DISPATCH}}},
    };
    return declarations;
}

inline HRESULT declareEvents(ICreateTypeInfo* events) {
    HRESULT hr = S_OK;
    UINT index = 0;
    for (const EventDeclaration& declared : eventDeclarations()) {
        std::vector<ELEMDESC> parameters(declared.arguments.size());
        std::vector<LPOLESTR> names{const_cast<LPOLESTR>(declared.name)};
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            parameters[i].tdesc.vt = declared.arguments[i].second;
            parameters[i].paramdesc.wParamFlags = PARAMFLAG_FIN;
            names.push_back(const_cast<LPOLESTR>(declared.arguments[i].first));
        }
        FUNCDESC function{};
        function.memid = declared.id;
        function.funckind = FUNC_DISPATCH;
        function.invkind = INVOKE_FUNC;
        function.callconv = CC_STDCALL;
        function.cParams = static_cast<SHORT>(parameters.size());
        function.lprgelemdescParam = parameters.data();
        function.elemdescFunc.tdesc.vt = VT_VOID;
        if (FAILED(hr = events->AddFuncDesc(index, &function)) ||
            FAILED(hr = events->SetFuncAndParamNames(index, names.data(), static_cast<UINT>(names.size())))) {
            return hr;
        }
        ++index;
    }
    return hr;
}

// Registers a type library for the client's event interface, as the client's installation does, so the
// system can marshal it and a diagnosis can name its events.
inline HRESULT registerEventInterface(const wchar_t* path) {
    ComPtr<ICreateTypeLib2> library;
    ComPtr<ICreateTypeInfo> events;
    ComPtr<ITypeLib> saved;
    HRESULT hr = CreateTypeLib2(SYS_WIN64, path, library.put());
    if (SUCCEEDED(hr) && SUCCEEDED(hr = library->SetGuid(kMessengerEvents)) &&
        SUCCEEDED(
            hr = library->CreateTypeInfo(const_cast<LPOLESTR>(L"DMessengerEvents"), TKIND_DISPATCH, events.put())) &&
        SUCCEEDED(hr = events->SetGuid(kMessengerEvents)) && SUCCEEDED(hr = declareEvents(events.get())) &&
        SUCCEEDED(hr = events->LayOut()) && SUCCEEDED(hr = library->SaveAllChanges())) {
        hr = LoadTypeLibEx(path, REGKIND_REGISTER, saved.put());
    }
    return hr;
}

}  // namespace standin
