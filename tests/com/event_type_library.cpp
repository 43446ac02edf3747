#include "event_type_library.h"

#include <oleauto.h>

#include <vector>

#include "messenger_members.h"

namespace {

constexpr GUID kLibraryId = {0x5d1c8f0a, 0x3b0e, 0x4c1f, {0x9a, 0x55, 0x1f, 0x2e, 0x61, 0x7c, 0x44, 0x10}};

struct EventShape {
    const wchar_t* name;
    DISPID id;
    std::vector<std::pair<const wchar_t*, VARTYPE>> parameters;
};

HRESULT describe(ICreateTypeInfo* info, UINT index, const EventShape& event) {
    std::vector<ELEMDESC> parameters(event.parameters.size());
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        parameters[i] = ELEMDESC{};
        parameters[i].tdesc.vt = event.parameters[i].second;
        parameters[i].paramdesc.wParamFlags = PARAMFLAG_FIN;
    }
    FUNCDESC function{};
    function.memid = event.id;
    function.funckind = FUNC_DISPATCH;
    function.invkind = INVOKE_FUNC;
    function.callconv = CC_STDCALL;
    function.cParams = static_cast<SHORT>(parameters.size());
    function.lprgelemdescParam = parameters.data();
    function.elemdescFunc.tdesc.vt = VT_VOID;
    HRESULT hr = info->AddFuncDesc(index, &function);
    if (FAILED(hr))
        return hr;
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(event.name)};
    for (const auto& parameter : event.parameters)
        names.push_back(const_cast<LPOLESTR>(parameter.first));
    return info->SetFuncAndParamNames(index, names.data(), static_cast<UINT>(names.size()));
}

}  // namespace

HRESULT registerEventTypeLibrary(const std::wstring& path) {
    using namespace messenger::com;
    const std::vector<EventShape> events = {
        {L"OnContactFriendlyNameChange",
         event::kOnContactFriendlyNameChange,
         {{L"hr", VT_I4}, {L"pMContact", VT_DISPATCH}, {L"bstrPrevFriendlyName", VT_BSTR}}},
        {L"OnMyFriendlyNameChange",
         event::kOnMyFriendlyNameChange,
         {{L"hr", VT_I4}, {L"bstrPrevFriendlyName", VT_BSTR}}},
        {L"OnContactStatusChange", event::kOnContactStatusChange, {{L"pMContact", VT_DISPATCH}, {L"mStatus", VT_I4}}},
        {L"OnMyStatusChange", event::kOnMyStatusChange, {{L"hr", VT_I4}, {L"mMyStatus", VT_I4}}},
        {L"OnIMWindowCreated", event::kOnIMWindowCreated, {{L"pIMWindow", VT_DISPATCH}}},
        {L"OnIMWindowDestroyed", event::kOnIMWindowDestroyed, {{L"pIMWindow", VT_DISPATCH}}},
    };

    ICreateTypeLib2* library = nullptr;
    HRESULT hr = CreateTypeLib2(SYS_WIN64, path.c_str(), &library);
    if (FAILED(hr))
        return hr;
    library->SetGuid(kLibraryId);
    library->SetName(const_cast<LPOLESTR>(L"QuavelStandInEvents"));
    library->SetVersion(1, 0);
    library->SetLcid(LOCALE_NEUTRAL);

    ICreateTypeInfo* info = nullptr;
    hr = library->CreateTypeInfo(const_cast<LPOLESTR>(L"DMessengerEvents"), TKIND_DISPATCH, &info);
    if (SUCCEEDED(hr)) {
        info->SetGuid(kMessengerEvents);
        for (UINT i = 0; i < events.size() && SUCCEEDED(hr); ++i)
            hr = describe(info, i, events[i]);
        if (SUCCEEDED(hr))
            hr = info->LayOut();
        info->Release();
    }
    if (SUCCEEDED(hr))
        hr = library->SaveAllChanges();
    library->Release();
    if (FAILED(hr))
        return hr;

    ITypeLib* saved = nullptr;
    hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &saved);
    if (saved)
        saved->Release();
    return hr;
}
