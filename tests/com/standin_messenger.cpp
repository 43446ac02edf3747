#include "standin_messenger.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>

#include "messenger/com/messenger_members.h"

namespace standin {

World world;
std::atomic<int> liveObjects{0};

namespace {

using messenger::com::kMessengerEvents;

struct Member {
    const wchar_t* name;
    std::function<Value()> get;
    std::function<void(LONG)> put = {};
    std::function<Value(LONG)> call = {};  // a method taking an index
};

// The planned failure of a call, described as planned; else S_OK.
HRESULT planned(const std::wstring& call, EXCEPINFO* record = nullptr) {
    const auto found = world.faults.find(call);
    if (found == world.faults.end())
        return S_OK;
    const Fault& fault = found->second;
    if (fault.how == Described::ByExceptionRecord && record) {
        *record = EXCEPINFO{};
        record->scode = fault.number;
        record->bstrDescription = SysAllocString(fault.description.c_str());
        return DISP_E_EXCEPTION;
    }
    ComPtr<ICreateErrorInfo> creator;
    if (fault.how == Described::ByErrorObject && SUCCEEDED(CreateErrorInfo(creator.put()))) {
        creator->SetDescription(const_cast<LPOLESTR>(fault.description.c_str()));
        SetErrorInfo(0, creator.query<IErrorInfo>(IID_IErrorInfo).get());
    }
    return fault.number;
}

// Into a VARIANT that owns what it holds.
void store(const Value& value, VARIANT* out) {
    VariantInit(out);
    if (const auto* number = std::get_if<LONG>(&value)) {
        out->vt = VT_I4;
        out->lVal = *number;
    } else if (const auto* text = std::get_if<std::wstring>(&value)) {
        out->vt = VT_BSTR;
        out->bstrVal = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    } else {
        out->vt = VT_DISPATCH;
        out->pdispVal = std::get<ComPtr<IDispatch>>(value).get();
        if (out->pdispVal)
            out->pdispVal->AddRef();
    }
}

// Every client object: IDispatch over its table of members. Each also
// offers the client's events, being its own connection point: the binding
// asks that of the client object only.
class Object final : public IDispatch, public IConnectionPointContainer, public IConnectionPoint {
public:
    explicit Object(std::map<DISPID, Member> members) : members_(std::move(members)) { ++liveObjects; }
    ~Object() { --liveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch)
            *out = static_cast<IDispatch*>(this);
        else if (iid == IID_IConnectionPointContainer)
            *out = static_cast<IConnectionPointContainer*>(this);
        else if (iid == IID_IConnectionPoint)
            *out = static_cast<IConnectionPoint*>(this);
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        HRESULT result = planned(L"names");
        for (UINT i = 0; i < count && SUCCEEDED(result); ++i) {
            const auto found = std::find_if(members_.begin(), members_.end(), [&](const auto& member) {
                return _wcsicmp(member.second.name, names[i]) == 0;
            });
            ids[i] = found == members_.end() ? DISPID_UNKNOWN : found->first;
            result = found == members_.end() ? DISP_E_UNKNOWNNAME : planned(std::wstring(L"name ") + names[i]);
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* given, VARIANT* result,
                                     EXCEPINFO* record, UINT*) override {
        const auto found = members_.find(id);
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        if (found == members_.end() || !given)
            return DISP_E_MEMBERNOTFOUND;
        const Member& member = found->second;
        const VARIANT* argument = given->cArgs == 1 ? &given->rgvarg[0] : nullptr;
        if ((flags & DISPATCH_PROPERTYPUT) && member.put) {
            if (!argument || given->cNamedArgs != 1 || given->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            const HRESULT hr = argument->vt == VT_I4 ? planned(L"put " + std::wstring(member.name), record)
                                                     : DISP_E_TYPEMISMATCH;
            if (SUCCEEDED(hr))
                member.put(argument->lVal);
            return hr;
        }
        const bool call = (flags & DISPATCH_METHOD) && member.call;
        if (!call && !((flags & DISPATCH_PROPERTYGET) && member.get))
            return DISP_E_MEMBERNOTFOUND;
        if (given->cNamedArgs != 0 || given->cArgs != (call ? 1u : 0u))
            return DISP_E_BADPARAMCOUNT;
        if (!result)
            return E_POINTER;
        if (call && argument->vt != VT_I4)
            return DISP_E_TYPEMISMATCH;
        const HRESULT hr = planned((call ? L"call " : L"get ") + std::wstring(member.name), record);
        if (SUCCEEDED(hr))
            store(call ? member.call(argument->lVal) : member.get(), result);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        *point = nullptr;
        if (const HRESULT hr = planned(L"FindConnectionPoint"); FAILED(hr))
            return hr;
        return iid == kMessengerEvents ? QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(point))
                                       : CONNECT_E_NOCONNECTION;
    }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
        return QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* subscriber, DWORD* cookie) override {
        *cookie = 0;
        if (const HRESULT hr = planned(L"Advise"); FAILED(hr))
            return hr;
        // As a real server does: the subscriber must offer the event interface.
        HRESULT hr = S_OK;
        auto events = ComPtr<IUnknown>::share(subscriber).query<IDispatch>(kMessengerEvents, &hr);
        if (FAILED(hr))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = world.nextCookie++;
        world.subscribers[*cookie] = std::move(events);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return world.subscribers.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    std::map<DISPID, Member> members_;
    std::atomic<ULONG> references_{1};
};

ComPtr<IDispatch> newObject(std::map<DISPID, Member> members) {
    // COM reference counting owns it from here: the last Release deletes it.
    return ComPtr<IDispatch>::adopt(new Object(std::move(members)));
}

ComPtr<IDispatch> newMessenger() {
    return newObject({{1304, {L"MySigninName", [] { return Value(L"alice@example.com"); }}},
                      {1282, {L"MyFriendlyName", [] { return Value(L"Alice"); }}},
                      {1305,
                       {L"MyStatus", [] { return Value(world.myStatus); },
                        [](LONG status) { world.myStatus = status; }}}});
}

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    // Static: not counted.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (const HRESULT hr = planned(L"CreateInstance"); FAILED(hr))
            return hr;
        return newMessenger()->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;
constexpr UINT kRunWork = WM_APP + 1;

// Serves calls into this apartment (events, releases) while it waits; a
// stand-in that hangs meets the runner's time limit.
void waitPumping(const std::function<bool()>& done) {
    for (MSG message; !done();) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
}

}  // namespace

ComPtr<IDispatch> newContact(std::wstring signinName, std::wstring friendlyName, LONG status) {
    return newObject({{1536, {L"FriendlyName", [=] { return Value(friendlyName); }}},
                      {1537, {L"Status", [=] { return Value(status); }}},
                      {1538, {L"SigninName", [=] { return Value(signinName); }}}});
}

ComPtr<IDispatch> newWindow(std::vector<ComPtr<IDispatch>> contacts) {
    const auto count = static_cast<LONG>(contacts.size());
    const auto item = [=](LONG index) {
        return Value(index >= 0 && index < count ? contacts[index] : ComPtr<IDispatch>());
    };
    // A fresh collection on every read, as a client may hand out.
    return newObject({{2057, {L"Contacts", [=] {
                                  return Value(newObject({{1792, {L"Count", [=] { return Value(count); }}},
                                                          {DISPID_VALUE, {L"Item", {}, {}, item}}}));
                              }}}});
}

void World::raise(DISPID id, const std::vector<Argument>& arguments) {
    // COM passes the last argument first; one by reference points at a value
    // held beside it.
    const std::size_t count = arguments.size();
    std::vector<VARIANT> held(count);
    std::vector<VARIANT> passed(count);
    for (std::size_t i = 0; i < count; ++i) {
        store(arguments[i].value, &held[i]);
        VARIANT& out = passed[count - 1 - i];
        out = held[i];
        if (arguments[i].byReference) {
            out.vt = VT_BYREF | held[i].vt;
            out.byref = &held[i].lVal;
        }
    }
    DISPPARAMS parameters{passed.data(), nullptr, static_cast<UINT>(count), 0};
    // Subscribers may come and go while the event is out: a copy.
    const auto targets = subscribers;
    for (const auto& [cookie, target] : targets)
        target->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
    for (VARIANT& value : held)
        VariantClear(&value);
}

Server::Server(bool ownThread) {
    world = World{};
    if (ownThread) {
        thread_ = std::thread([this] { serve(); });
        waitPumping([this] { return threadId_ != 0; });
    }
    run([this] {
        // A class that fails to register shows as "no client installed".
        CoRegisterClassObject(messenger::com::kMessengerClass, &factory, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie_);
    });
}

Server::~Server() {
    // Releasing the subscribers calls back into this apartment: run pumps.
    run([this] {
        world.subscribers.clear();
        CoRevokeClassObject(cookie_);
    });
    if (thread_.joinable()) {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
}

void Server::serve() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists from here
    threadId_ = GetCurrentThreadId();
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kRunWork)
            (*reinterpret_cast<const std::function<void()>*>(message.lParam))();
        else
            DispatchMessageW(&message);
    }
    CoUninitialize();
}

void Server::run(const std::function<void()>& work) {
    if (!thread_.joinable())
        return work();
    std::atomic<bool> done{false};
    const std::function<void()> job = [&] {
        work();
        done = true;
    };
    PostThreadMessageW(threadId_, kRunWork, 0, reinterpret_cast<LPARAM>(&job));
    waitPumping([&] { return done.load(); });
}

HRESULT registerEventInterface() {
    constexpr GUID kLibrary = {0x5d1c8f0a, 0x3b0e, 0x4c1f, {0x9a, 0x55, 0x1f, 0x2e, 0x61, 0x7c, 0x44, 0x10}};
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"quavel-standin-events.tlb";
    ComPtr<ICreateTypeLib2> library;
    ComPtr<ICreateTypeInfo> events;
    ComPtr<ITypeLib> saved;
    HRESULT hr = CreateTypeLib2(SYS_WIN64, path.c_str(), library.put());
    if (SUCCEEDED(hr) && SUCCEEDED(hr = library->SetGuid(kLibrary)) &&
        SUCCEEDED(hr = library->CreateTypeInfo(const_cast<LPOLESTR>(L"DMessengerEvents"), TKIND_DISPATCH,
                                               events.put())) &&
        SUCCEEDED(hr = events->SetGuid(kMessengerEvents)) && SUCCEEDED(hr = events->LayOut()) &&
        SUCCEEDED(hr = library->SaveAllChanges())) {
        hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, saved.put());
    }
    return hr;
}

}  // namespace standin
