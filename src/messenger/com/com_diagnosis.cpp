#include "messenger/com/com_diagnosis.h"

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ocidl.h>
#include <set>
#include <shlobj.h>
#include <vector>

#include "messenger/com/client_process.h"
#include "messenger/com/com_error.h"
#include "messenger/com/com_handles.h"
#include "messenger/com/dispatch_calls.h"
#include "messenger/com/messenger_members.h"
#include "messenger/com/registry_keys.h"
#include "messenger/com/type_description.h"

namespace messenger::com {

namespace {

std::u16string text(const std::wstring& wide) {
    return std::u16string(wide.begin(), wide.end());
}

std::u16string orNone(const std::optional<std::wstring>& value) {
    return value ? text(*value) : u"(none)";
}

// The user's own folder stands for itself: it holds the user's name.
std::wstring withoutProfile(std::wstring path) {
    wchar_t profile[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    if (length > 0 && length < MAX_PATH &&
        CompareStringOrdinal(path.c_str(),
                             static_cast<int>(std::min<std::size_t>(length, path.size())), profile,
                             static_cast<int>(length), TRUE) == CSTR_EQUAL) {
        path.replace(0, length, L"%USERPROFILE%");
    }
    return path;
}

// A function of ntdll's, looked up by name: through void*, as casting
// between function pointer types is not allowed directly.
template <typename Function>
Function ntdllFunction(const char* name) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const FARPROC found = ntdll ? GetProcAddress(ntdll, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

std::u16string windowsVersion() {
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    using WineGetVersion = const char*(CDECL*)();
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    // Unlike GetVersionEx, not bent to what the program's manifest expects.
    const auto getVersion = ntdllFunction<RtlGetVersion>("RtlGetVersion");
    std::u16string line = u"Windows ";
    if (getVersion && getVersion(&version) == 0) {
        line += decimalText(version.dwMajorVersion) + u"." + decimalText(version.dwMinorVersion) +
                u", build " + decimalText(version.dwBuildNumber);
    } else {
        line += u"(version unknown)";
    }
    if (const auto wine = ntdllFunction<WineGetVersion>("wine_get_version")) {
        const std::string wineVersion = wine();
        line += u", under Wine " + std::u16string(wineVersion.begin(), wineVersion.end());
    }
    return line + u"; this program is " + decimalText(sizeof(void*) * 8) + u"-bit";
}

// A line a registry view for key: what describe makes of it, or that the
// key is not there.
template <typename Describe>
void writeViews(const ReportLine& write, const std::wstring& key, Describe describe) {
    for (const auto& [view, name] : {std::pair{RegistryView::Native64, u"64-bit view"},
                                     std::pair{RegistryView::Wow32, u"32-bit view"}}) {
        write(u"  " + std::u16string(name) + u": " +
              (classesKeyExists(view, key) ? describe(view) : u"not registered"));
    }
}

void writeRegistration(const ReportLine& write) {
    const std::wstring classKey = L"CLSID\\" + guidText(kMessengerClass);
    const std::wstring eventsKey = L"Interface\\" + guidText(kMessengerEvents);
    write(u"Class Messenger " + text(guidText(kMessengerClass)) + u":");
    writeViews(write, classKey, [&](RegistryView view) {
        const auto server = classesValue(view, classKey + L"\\LocalServer32");
        return u"LocalServer32: " +
               orNone(server ? std::optional(withoutProfile(*server)) : std::nullopt) +
               u"; InprocServer32: " + orNone(classesValue(view, classKey + L"\\InprocServer32")) +
               u"; ThreadingModel: " +
               orNone(classesValue(view, classKey + L"\\InprocServer32", L"ThreadingModel")) +
               u"; ProgID: " + orNone(classesValue(view, classKey + L"\\ProgID")) + u"; AppID: " +
               orNone(classesValue(view, classKey, L"AppID"));
    });
    write(u"Event interface DMessengerEvents " + text(guidText(kMessengerEvents)) + u":");
    writeViews(write, eventsKey, [&](RegistryView view) {
        return u"ProxyStubClsid32: " +
               orNone(classesValue(view, eventsKey + L"\\ProxyStubClsid32")) + u"; TypeLib: " +
               orNone(classesValue(view, eventsKey + L"\\TypeLib")) + u", version " +
               orNone(classesValue(view, eventsKey + L"\\TypeLib", L"Version"));
    });
}

// The event interface's names, from the type library its registration
// names, else from the client object's own class information.
std::map<DISPID, std::u16string> eventNames(IDispatch* messenger) {
    const std::wstring eventsKey = L"Interface\\" + guidText(kMessengerEvents) + L"\\TypeLib";
    for (const RegistryView view : {RegistryView::Native64, RegistryView::Wow32}) {
        const auto library = classesValue(view, eventsKey);
        const auto version = classesValue(view, eventsKey, L"Version");
        GUID libraryId{};
        if (!library || FAILED(CLSIDFromString(library->c_str(), &libraryId))) {
            continue;
        }
        unsigned major = 0;
        unsigned minor = 0;
        if (version) {
            std::swscanf(version->c_str(), L"%x.%x", &major, &minor);
        }
        ComPtr<ITypeLib> types;
        ComPtr<ITypeInfo> events;
        if (SUCCEEDED(LoadRegTypeLib(libraryId, static_cast<WORD>(major), static_cast<WORD>(minor),
                                     LOCALE_NEUTRAL, types.put())) &&
            SUCCEEDED(types->GetTypeInfoOfGuid(kMessengerEvents, events.put()))) {
            return memberNames(events.get());
        }
    }
    ComPtr<ITypeInfo> events;
    const auto classInfo =
        ComPtr<IDispatch>::share(messenger).query<IProvideClassInfo>(IID_IProvideClassInfo);
    ComPtr<ITypeInfo> type;
    ComPtr<ITypeLib> library;
    UINT index = 0;
    if (classInfo && SUCCEEDED(classInfo->GetClassInfo(type.put())) &&
        SUCCEEDED(type->GetContainingTypeLib(library.put(), &index)) &&
        SUCCEEDED(library->GetTypeInfoOfGuid(kMessengerEvents, events.put()))) {
        return memberNames(events.get());
    }
    return {};
}

std::u16string kindName(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::Client: return u"The client object";
        case ObjectKind::Contact: return u"A contact";
        case ObjectKind::Collection: return u"A contact collection";
        case ObjectKind::Window: return u"A conversation window";
    }
    return u"An object";
}

// Each kind of object is described once, from the first one at hand.
using Described = std::set<ObjectKind>;

void describeObject(IDispatch* object, ObjectKind kind, Described& described,
                    const ReportLine& write) {
    if (!described.insert(kind).second) {
        return;
    }
    HRESULT hr = S_OK;
    const auto type = dispatchTypeOf(object, &hr);
    if (!type) {
        write(kindName(kind) + u": no type information (" + hexNumber(hr) + u")");
    } else {
        write(kindName(kind) + u": " + describeType(type.get()) + u", its members:");
        for (const std::u16string& line : describeMembers(type.get())) {
            write(u"  " + line);
        }
    }
    write(u"  The program uses, by name:");
    for (const Member& member : member::kAll) {
        if (member.kind != kind) {
            continue;
        }
        LPOLESTR names[] = {const_cast<LPOLESTR>(member.name)};
        DISPID id = DISPID_UNKNOWN;
        const HRESULT lookup = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        write(u"    " + nameOf(member) + u": " +
              (SUCCEEDED(lookup) ? u"id " + decimalText(id)
                                 : u"not answered (" + hexNumber(lookup) + u")") +
              u"; documented id " + decimalText(member.documentedId));
    }
}

// Reads a member by name; none where the client has none or fails.
ComPtr<IDispatch> objectMember(IDispatch* object, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        return {};
    }
    try {
        return toObject(getProperty(object, id, u"").get(), u"");
    } catch (const Error&) {
        return {};
    }
}

// The first item of a collection read by name, with the collection.
std::pair<ComPtr<IDispatch>, ComPtr<IDispatch>> firstOf(IDispatch* object, const wchar_t* name) {
    auto collection = objectMember(object, name);
    if (!collection) {
        return {};
    }
    try {
        MemberIds ids;
        if (toInt32(getProperty(collection.get(), ids.idOf(collection.get(), member::kCount), u"")
                        .get(),
                    u"") > 0) {
            return {collection,
                    toObject(callWithIndex(collection.get(),
                                           ids.idOf(collection.get(), member::kItem), 0, u"")
                                 .get(),
                             u"")};
        }
    } catch (const Error&) {
    }
    return {collection, {}};
}

// Takes every event the client raises, whatever its id, and writes what it
// carried: values of numbers, the length of texts, and the kinds of object
// (described after the watch).
class EventRecorder final : public IDispatch {
public:
    EventRecorder(std::map<DISPID, std::u16string> names, Placeholders& placeholders,
                  const ReportLine& write)
        : names_(std::move(names)),
          placeholders_(placeholders),
          write_(write),
          start_(std::chrono::steady_clock::now()) {}

    int count() const { return count_; }
    std::vector<std::pair<ObjectKind, ComPtr<IDispatch>>>& objects() { return objects_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) {
            return E_POINTER;
        }
        *object = iid == IID_IUnknown || iid == IID_IDispatch || iid == kMessengerEvents
                      ? static_cast<IDispatch*>(this)
                      : nullptr;
        return *object ? (AddRef(), S_OK) : E_NOINTERFACE;
    }
    // Lives on the diagnosis's stack; the client's references do not own it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (result) {
            VariantInit(result);
        }
        try {
            record(id, parameters);
        } catch (...) {
            // Nothing may cross back into the client.
        }
        return S_OK;
    }

private:
    void record(DISPID id, const DISPPARAMS* parameters) {
        ++count_;
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start_)
                                 .count();
        const auto name = names_.find(id);
        const UINT count = parameters ? parameters->cArgs : 0;
        std::u16string line = u"+" + decimalText(elapsed / 1000) + u"." +
                              decimalText(elapsed % 1000 / 100) + u" s  id " + decimalText(id) +
                              u" " + (name != names_.end() ? name->second : u"(unnamed)") + u", " +
                              decimalText(count) + u" argument" + (count == 1 ? u"" : u"s");
        const ObjectKind kind = id == event::kOnIMWindowCreated || id == event::kOnIMWindowDestroyed
                                    ? ObjectKind::Window
                                    : ObjectKind::Contact;
        for (UINT i = 0; i < count && parameters->rgvarg; ++i) {
            // COM passes them last first.
            const VARIANT& value = parameters->rgvarg[count - 1 - i];
            line += (i ? u", " : u": ") + variantTypeName(value.vt) + valueOf(value, kind);
        }
        write_(line);
    }

    std::u16string valueOf(const VARIANT& given, ObjectKind kind) {
        const VARIANT& value =
            given.vt == (VT_BYREF | VT_VARIANT) && given.pvarVal ? *given.pvarVal : given;
        try {
            if (value.vt == VT_BSTR || value.vt == (VT_BYREF | VT_BSTR)) {
                return u" " + placeholders_.of(u"text", toText(value, u""));
            }
            if (value.vt == VT_DISPATCH || value.vt == (VT_BYREF | VT_DISPATCH)) {
                if (auto object = toObject(value, u"")) {
                    objects_.emplace_back(kind, std::move(object));
                }
                return {};
            }
            return u" " + decimalText(toInt32(value, u""));
        } catch (const Error&) {
            return {};
        }
    }

    std::map<DISPID, std::u16string> names_;
    Placeholders& placeholders_;
    const ReportLine& write_;
    std::chrono::steady_clock::time_point start_;
    int count_ = 0;
    std::vector<std::pair<ObjectKind, ComPtr<IDispatch>>> objects_;
};

// Serves the thread's messages, where the client's events arrive, until then.
void serveMessagesUntil(std::chrono::steady_clock::time_point end) {
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()) + 1, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void watchEvents(IDispatch* messenger, const DiagnosisRequest& request, Placeholders& placeholders,
                 Described& described, const ReportLine& write) {
    const auto container = ComPtr<IDispatch>::share(messenger).query<IConnectionPointContainer>(
        IID_IConnectionPointContainer);
    ComPtr<IConnectionPoint> point;
    HRESULT hr =
        container ? container->FindConnectionPoint(kMessengerEvents, point.put()) : E_NOINTERFACE;
    EventRecorder recorder(eventNames(messenger), placeholders, write);
    DWORD cookie = 0;
    if (SUCCEEDED(hr)) {
        hr = point->Advise(&recorder, &cookie);
    }
    if (FAILED(hr)) {
        write(u"Its events: could not subscribe (" + hexNumber(hr) + u": " + systemMessage(hr) +
              u")");
        return;
    }
    write(u"Its events for " + decimalText(request.watchFor.count()) +
          u" seconds (id, name from the event interface's type information, arguments):");
    serveMessagesUntil(std::chrono::steady_clock::now() + request.watchFor);
    point->Unadvise(cookie);
    write(decimalText(recorder.count()) + u" event" + (recorder.count() == 1 ? u"" : u"s") +
          u" in " + decimalText(request.watchFor.count()) + u" seconds.");
    // Kinds not described before, from objects the events carried, now the
    // watch is over.
    for (const auto& [kind, object] : recorder.objects()) {
        describeObject(object.get(), kind, described, write);
        if (kind == ObjectKind::Window) {
            if (const auto contacts = objectMember(object.get(), member::kContacts.name)) {
                describeObject(contacts.get(), ObjectKind::Collection, described, write);
            }
        }
    }
}

void describeClient(IDispatch* messenger, Placeholders& placeholders, Described& described,
                    const ReportLine& write) {
    describeObject(messenger, ObjectKind::Client, described, write);
    MemberIds ids;
    for (const auto& [member, kind] : {std::pair{member::kMySigninName, u"address"},
                                       std::pair{member::kMyFriendlyName, u"name"}}) {
        try {
            write(u"  " + nameOf(member) + u" reads " +
                  placeholders.of(
                      kind,
                      toText(getProperty(messenger, ids.idOf(messenger, member), u"").get(), u"")));
        } catch (const Error& error) {
            write(u"  " + nameOf(member) + u" fails: " + hexNumber(error.number()));
        }
    }
    const auto [contacts, contact] = firstOf(messenger, L"MyContacts");
    if (contacts) {
        describeObject(contacts.get(), ObjectKind::Collection, described, write);
    }
    if (contact) {
        describeObject(contact.get(), ObjectKind::Contact, described, write);
    } else {
        write(
            u"A contact: none read through MyContacts; one an event carries is described "
            u"after the watch.");
    }
    if (const auto window = firstOf(messenger, L"IMWindows").second) {
        describeObject(window.get(), ObjectKind::Window, described, write);
    } else {
        write(
            u"A conversation window: none open; open one during the watch and it is "
            u"described after it.");
    }
}

}  // namespace

void diagnose(const DiagnosisRequest& request, const ReportLine& write) {
    Placeholders placeholders(request.showNames);
    write(windowsVersion());
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(initialised)) {
        write(u"COM could not be started here: " + hexNumber(initialised));
        return;
    }
    writeRegistration(write);
    const std::wstring program = clientProgramPath();
    const auto running = processesRunning(program);
    write(u"Client program: " +
          (program.empty() ? u"(none registered)" : u"\"" + text(withoutProfile(program)) + u"\"") +
          u", " + (running.empty() ? u"not running" : decimalText(running.size()) + u" running"));
    ComPtr<IUnknown> active;
    const HRESULT inTable = GetActiveObject(kMessengerClass, nullptr, active.put());
    write(SUCCEEDED(inTable) ? u"Running object table: the client is there"
                             : u"Running object table: not there (" + hexNumber(inTable) + u")");
    ComPtr<IDispatch> messenger;
    if (running.empty() && !active) {
        write(
            u"Attach: not tried, since asking for the client's class would start it. Start "
            u"your messenger client, sign in, and run this again.");
    } else {
        SetErrorInfo(0, nullptr);
        const HRESULT hr = active ? active->QueryInterface(IID_IDispatch, messenger.putVoid())
                                  : CoCreateInstance(kMessengerClass, nullptr,
                                                     CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER,
                                                     IID_IDispatch, messenger.putVoid());
        write(u"Attach: " + (SUCCEEDED(hr) ? u"attached (" + hexNumber(hr) + u")"
                                           : u"failed: " + errorFor(hr).description() + u" (" +
                                                 hexNumber(hr) + u")"));
    }
    if (messenger) {
        Described described;
        describeClient(messenger.get(), placeholders, described, write);
        watchEvents(messenger.get(), request, placeholders, described, write);
    }
    messenger.reset();
    active.reset();
    CoUninitialize();
}

}  // namespace messenger::com
