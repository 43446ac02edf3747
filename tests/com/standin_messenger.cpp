#include "standin_messenger.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <utility>

#include "messenger_members.h"

namespace standin {

World world;
std::atomic<int> liveObjects{0};

using messenger::com::kMessengerEvents;

Argument number(LONG value) {
    return {Argument::Kind::Number, value, {}, nullptr, 0};
}
Argument numberByReference(LONG value) {
    return {Argument::Kind::NumberByReference, value, {}, nullptr, 0};
}
Argument text(std::wstring value) {
    return {Argument::Kind::Text, 0, std::move(value), nullptr, 0};
}
Argument textByReference(std::wstring value) {
    return {Argument::Kind::TextByReference, 0, std::move(value), nullptr, 0};
}
Argument object(IDispatch* value) {
    return {Argument::Kind::Object, 0, {}, value, 0};
}
Argument objectByReference(IDispatch* value) {
    return {Argument::Kind::ObjectByReference, 0, {}, value, 0};
}
Argument real(double value) {
    return {Argument::Kind::Real, 0, {}, nullptr, value};
}

namespace {

struct MemberInfo {
    const wchar_t* name;
    DISPID id;
};

void setErrorObject(const std::wstring& description) {
    ICreateErrorInfo* creator = nullptr;
    if (FAILED(CreateErrorInfo(&creator)))
        return;
    creator->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    creator->SetSource(const_cast<LPOLESTR>(L"Messenger stand-in"));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    creator->Release();
}

// The planned failure of a call that has no exception record, or S_OK.
HRESULT plannedFailure(const std::wstring& call) {
    const auto found = world.faults.find(call);
    if (found == world.faults.end())
        return S_OK;
    if (found->second.how != Described::NotAtAll)
        setErrorObject(found->second.description);
    return found->second.number;
}

HRESULT fail(const Fault& fault, EXCEPINFO* record) {
    switch (fault.how) {
        case Described::ByExceptionRecord:
            if (!record)
                return fault.number;
            *record = EXCEPINFO{};
            record->scode = fault.number;
            record->bstrSource = SysAllocString(L"Messenger stand-in");
            record->bstrDescription = SysAllocString(fault.description.c_str());
            return DISP_E_EXCEPTION;
        case Described::ByErrorObject: setErrorObject(fault.description); return fault.number;
        case Described::NotAtAll: return fault.number;
    }
    return E_UNEXPECTED;
}

// COM reference counting for a stand-in object, which counts among the
// live ones until its last reference goes.
template <typename Interface>
class Counted : public Interface {
public:
    Counted() { ++liveObjects; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    virtual ~Counted() { --liveObjects; }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<ULONG> references_{1};
};

class DispatchObject : public Counted<IDispatch> {
public:
    explicit DispatchObject(std::vector<MemberInfo> members) : members_(std::move(members)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
        } else {
            *out = otherInterface(iid);
        }
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        if (const HRESULT failure = plannedFailure(L"GetIDsOfNames"); FAILED(failure))
            return failure;
        if (!world.answersNameLookups)
            return E_NOTIMPL;
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            const MemberInfo* member = byName(names[i]);
            ids[i] = member ? member->id : DISPID_UNKNOWN;
            if (!member)
                result = DISP_E_UNKNOWNNAME;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO* record, UINT*) override {
        if (iid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        if (!parameters)
            return E_INVALIDARG;
        const MemberInfo* member = byId(id);
        if (!member)
            return DISP_E_MEMBERNOTFOUND;
        if (const auto fault = world.faults.find(member->name); fault != world.faults.end()) {
            return fail(fault->second, record);
        }
        if (result)
            VariantInit(result);
        return invokeMember(id, flags, *parameters, result);
    }

protected:
    virtual void* otherInterface(REFIID) { return nullptr; }
    virtual HRESULT invokeMember(DISPID id, WORD flags, const DISPPARAMS& parameters, VARIANT* result) = 0;

    static HRESULT get(DISPID id, WORD flags, const DISPPARAMS& parameters, VARIANT* result) {
        if (!(flags & DISPATCH_PROPERTYGET))
            return DISP_E_MEMBERNOTFOUND;
        if (parameters.cArgs != 0)
            return DISP_E_BADPARAMCOUNT;
        if (!result)
            return E_POINTER;
        world.calls.push_back(L"get " + std::to_wstring(id));
        return S_OK;
    }
    static HRESULT giveText(VARIANT* result, const std::wstring& value) {
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return result->bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT giveNumber(VARIANT* result, LONG value) {
        result->vt = VT_I4;
        result->lVal = value;
        return S_OK;
    }
    static HRESULT giveObject(VARIANT* result, IDispatch* value) {
        result->vt = VT_DISPATCH;
        result->pdispVal = value;  // the caller's reference
        return S_OK;
    }

private:
    const MemberInfo* byName(const wchar_t* name) const {
        for (const MemberInfo& member : members_) {
            if (_wcsicmp(member.name, name) == 0 && !world.missingMembers.count(member.name))
                return &member;
        }
        return nullptr;
    }
    const MemberInfo* byId(DISPID id) const {
        for (const MemberInfo& member : members_) {
            if (member.id == id && !world.missingMembers.count(member.name))
                return &member;
        }
        return nullptr;
    }

    std::vector<MemberInfo> members_;
};

class Contact final : public DispatchObject {
public:
    Contact(std::wstring signinName, std::wstring friendlyName, LONG status)
        : DispatchObject({{L"FriendlyName", 1536}, {L"Status", 1537}, {L"SigninName", 1538}}),
          signinName_(std::move(signinName)),
          friendlyName_(std::move(friendlyName)),
          status_(status) {}

protected:
    HRESULT invokeMember(DISPID id, WORD flags, const DISPPARAMS& parameters, VARIANT* result) override {
        if (const HRESULT hr = get(id, flags, parameters, result); FAILED(hr))
            return hr;
        switch (id) {
            case 1536: return giveText(result, friendlyName_);
            case 1537: return giveNumber(result, status_);
            default: return giveText(result, signinName_);
        }
    }

private:
    std::wstring signinName_;
    std::wstring friendlyName_;
    LONG status_;
};

class Contacts final : public DispatchObject {
public:
    explicit Contacts(std::vector<IDispatch*> contacts)
        : DispatchObject({{L"Count", 1792}, {L"Item", DISPID_VALUE}}), contacts_(std::move(contacts)) {
        for (IDispatch* contact : contacts_)
            contact->AddRef();
    }
    ~Contacts() override {
        for (IDispatch* contact : contacts_)
            contact->Release();
    }

protected:
    HRESULT invokeMember(DISPID id, WORD flags, const DISPPARAMS& parameters, VARIANT* result) override {
        if (id == 1792) {
            if (const HRESULT hr = get(id, flags, parameters, result); FAILED(hr))
                return hr;
            return giveNumber(result, static_cast<LONG>(contacts_.size()));
        }
        if (!(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        if (parameters.cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        if (parameters.rgvarg[0].vt != VT_I4)
            return DISP_E_TYPEMISMATCH;
        if (!result)
            return E_POINTER;
        const LONG index = parameters.rgvarg[0].lVal;
        world.calls.push_back(L"item " + std::to_wstring(id) + L" " + std::to_wstring(index));
        if (index < 0 || index >= static_cast<LONG>(contacts_.size()))
            return E_INVALIDARG;
        contacts_[index]->AddRef();
        return giveObject(result, contacts_[index]);
    }

private:
    std::vector<IDispatch*> contacts_;
};

class Window final : public DispatchObject {
public:
    explicit Window(const std::vector<IDispatch*>& contacts)
        : DispatchObject({{L"Contacts", 2057}}), contacts_(contacts) {
        for (IDispatch* contact : contacts_)
            contact->AddRef();
    }
    ~Window() override {
        for (IDispatch* contact : contacts_)
            contact->Release();
    }

protected:
    HRESULT invokeMember(DISPID id, WORD flags, const DISPPARAMS& parameters, VARIANT* result) override {
        if (const HRESULT hr = get(id, flags, parameters, result); FAILED(hr))
            return hr;
        return giveObject(result, new Contacts(contacts_));
    }

private:
    std::vector<IDispatch*> contacts_;
};

class Messenger;

class ConnectionPoint final : public Counted<IConnectionPoint> {
public:
    explicit ConnectionPoint(IConnectionPointContainer* container) : container_(container) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = (iid == IID_IUnknown || iid == IID_IConnectionPoint) ? this : nullptr;
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid)
            return E_POINTER;
        *iid = kMessengerEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container)
            return E_POINTER;
        *container = container_;
        container_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* subscriber, DWORD* cookie) override {
        if (!subscriber || !cookie)
            return E_POINTER;
        *cookie = 0;
        if (const HRESULT failure = plannedFailure(L"Advise"); FAILED(failure))
            return failure;
        IDispatch* events = nullptr;
        if (FAILED(subscriber->QueryInterface(kMessengerEvents, reinterpret_cast<void**>(&events)))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        *cookie = world.nextCookie++;
        world.subscribers[*cookie] = events;
        world.calls.push_back(L"advise");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        const auto found = world.subscribers.find(cookie);
        if (found == world.subscribers.end())
            return CONNECT_E_NOCONNECTION;
        found->second->Release();
        world.subscribers.erase(found);
        world.calls.push_back(L"unadvise");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override {
        if (connections)
            *connections = nullptr;
        return E_NOTIMPL;
    }

private:
    IConnectionPointContainer* container_;  // it owns us
};

class Messenger final : public DispatchObject, public IConnectionPointContainer {
public:
    Messenger()
        : DispatchObject({{L"MySigninName", 1304}, {L"MyFriendlyName", 1282}, {L"MyStatus", 1305}}),
          point_(new ConnectionPoint(this)) {}
    ~Messenger() override { point_->Release(); }

    // IUnknown for both bases, through the dispatch one.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return DispatchObject::QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return DispatchObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return DispatchObject::Release(); }

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {
        if (points)
            *points = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        if (!point)
            return E_POINTER;
        *point = nullptr;
        if (const HRESULT failure = plannedFailure(L"FindConnectionPoint"); FAILED(failure))
            return failure;
        if (iid != kMessengerEvents)
            return CONNECT_E_NOCONNECTION;
        *point = point_;
        point_->AddRef();
        return S_OK;
    }

protected:
    void* otherInterface(REFIID iid) override {
        return iid == IID_IConnectionPointContainer ? static_cast<IConnectionPointContainer*>(this) : nullptr;
    }

    HRESULT invokeMember(DISPID id, WORD flags, const DISPPARAMS& parameters, VARIANT* result) override {
        if (id == 1305 && (flags & DISPATCH_PROPERTYPUT))
            return putStatus(parameters);
        if (const HRESULT hr = get(id, flags, parameters, result); FAILED(hr))
            return hr;
        switch (id) {
            case 1304: return giveText(result, world.mySigninName);
            case 1282: return giveText(result, world.myFriendlyName);
            default: return giveNumber(result, world.myStatus);
        }
    }

private:
    HRESULT putStatus(const DISPPARAMS& parameters) {
        if (parameters.cArgs != 1)
            return DISP_E_BADPARAMCOUNT;
        if (parameters.cNamedArgs != 1 || parameters.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            return DISP_E_PARAMNOTFOUND;
        }
        const VARIANT& value = parameters.rgvarg[0];
        world.calls.push_back(L"put 1305 = " + std::to_wstring(value.vt == VT_I4 ? value.lVal : -1) + L" (vt " +
                              std::to_wstring(value.vt) + L")");
        if (value.vt != VT_I4)
            return DISP_E_TYPEMISMATCH;
        world.myStatus = value.lVal;
        if (world.answerStatusChanges)
            world.pendingStatusAnswers.push_back(value.lVal);
        return S_OK;
    }

    ConnectionPoint* point_;
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (const HRESULT failure = plannedFailure(L"CreateInstance"); FAILED(failure))
            return failure;
        auto* messenger = new Messenger;
        const HRESULT hr = messenger->DispatchObject::QueryInterface(iid, out);
        messenger->DispatchObject::Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

// An event argument as a VARIANT, with what a by-reference form points to.
struct Slot {
    LONG number = 0;
    BSTR text = nullptr;
    IDispatch* object = nullptr;
};

}  // namespace

void World::raise(DISPID id, const std::vector<Argument>& arguments) {
    const std::size_t count = arguments.size();
    std::vector<VARIANT> values(count);
    std::vector<Slot> slots(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Argument& argument = arguments[i];
        VARIANT& value = values[count - 1 - i];  // COM passes the last argument first
        Slot& slot = slots[i];
        VariantInit(&value);
        switch (argument.kind) {
            case Argument::Kind::Number:
                value.vt = VT_I4;
                value.lVal = argument.number;
                break;
            case Argument::Kind::NumberByReference:
                slot.number = argument.number;
                value.vt = VT_BYREF | VT_I4;
                value.plVal = &slot.number;
                break;
            case Argument::Kind::Text:
                value.vt = VT_BSTR;
                value.bstrVal = SysAllocString(argument.text.c_str());
                break;
            case Argument::Kind::TextByReference:
                slot.text = SysAllocString(argument.text.c_str());
                value.vt = VT_BYREF | VT_BSTR;
                value.pbstrVal = &slot.text;
                break;
            case Argument::Kind::Object:
                value.vt = VT_DISPATCH;
                value.pdispVal = argument.object;
                if (argument.object)
                    argument.object->AddRef();
                break;
            case Argument::Kind::ObjectByReference:
                slot.object = argument.object;
                value.vt = VT_BYREF | VT_DISPATCH;
                value.ppdispVal = &slot.object;
                break;
            case Argument::Kind::Real:
                value.vt = VT_R8;
                value.dblVal = argument.real;
                break;
        }
    }
    // Calls may come back in while the event is out; work on a copy.
    std::vector<IDispatch*> targets;
    for (const auto& [cookie, subscriber] : subscribers) {
        subscriber->AddRef();
        targets.push_back(subscriber);
    }
    for (IDispatch* target : targets) {
        DISPPARAMS parameters{values.data(), nullptr, static_cast<UINT>(count), 0};
        EXCEPINFO record{};
        UINT badArgument = 0;
        lastEventResult = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr,
                                         &record, &badArgument);
        SysFreeString(record.bstrSource);
        SysFreeString(record.bstrDescription);
        SysFreeString(record.bstrHelpFile);
        target->Release();
    }
    for (VARIANT& value : values)
        VariantClear(&value);
    for (Slot& slot : slots)
        SysFreeString(slot.text);
}

void World::dropSubscribers() {
    for (const auto& [cookie, subscriber] : subscribers)
        subscriber->Release();
    subscribers.clear();
}

void World::answerPendingStatusChanges() {
    const std::vector<LONG> answers = std::exchange(pendingStatusAnswers, {});
    for (const LONG status : answers)
        raise(messenger::com::event::kOnMyStatusChange, {number(S_OK), number(status)});
}

IDispatch* newContact(std::wstring signinName, std::wstring friendlyName, LONG status) {
    return new Contact(std::move(signinName), std::move(friendlyName), status);
}

IDispatch* newWindow(const std::vector<IDispatch*>& contacts) {
    return new Window(contacts);
}

IClassFactory* messengerFactory() {
    return &factory;
}

}  // namespace standin
