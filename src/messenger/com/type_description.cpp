#include "messenger/com/type_description.h"

#include "messenger/com/com_error.h"
#include "messenger/com/com_handles.h"

namespace messenger::com {

namespace {

std::u16string nameOfMember(ITypeInfo* type, MEMBERID id) {
    Bstr name;
    if (FAILED(type->GetDocumentation(id, name.put(), nullptr, nullptr, nullptr))) {
        return u"?";
    }
    return toU16String(name.get());
}

std::u16string typeOfElement(const TYPEDESC& type) {
    if (type.vt == VT_PTR && type.lptdesc) {
        return typeOfElement(*type.lptdesc) + u"*";
    }
    if (type.vt == VT_SAFEARRAY && type.lptdesc) {
        return u"SAFEARRAY(" + typeOfElement(*type.lptdesc) + u")";
    }
    if (type.vt == VT_USERDEFINED) {
        return u"user-defined";
    }
    return variantTypeName(type.vt);
}

std::u16string invokeKind(INVOKEKIND kind) {
    switch (kind) {
        case INVOKE_FUNC: return u"method";
        case INVOKE_PROPERTYGET: return u"get";
        case INVOKE_PROPERTYPUT: return u"put";
        case INVOKE_PROPERTYPUTREF: return u"putref";
    }
    return u"?";
}

std::u16string functionFlags(WORD flags) {
    std::u16string text;
    const std::pair<WORD, const char16_t*> known[] = {{FUNCFLAG_FRESTRICTED, u" restricted"},
                                                      {FUNCFLAG_FHIDDEN, u" hidden"},
                                                      {FUNCFLAG_FSOURCE, u" source"},
                                                      {FUNCFLAG_FNONBROWSABLE, u" nonbrowsable"}};
    for (const auto& [flag, name] : known) {
        if (flags & flag) {
            text += name;
        }
    }
    return text.empty() ? text : u" [" + text.substr(1) + u"]";
}

// Releases what GetFuncDesc, GetVarDesc and GetTypeAttr hand out.
template <typename Description, void (STDMETHODCALLTYPE ITypeInfo::*release)(Description*)>
class Held {
public:
    Held(ITypeInfo* type, Description* description) : type_(type), description_(description) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (description_) {
            (type_->*release)(description_);
        }
    }
    const Description* operator->() const { return description_; }
    explicit operator bool() const { return description_ != nullptr; }

private:
    ITypeInfo* type_;
    Description* description_;
};

using HeldFunction = Held<FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;
using HeldVariable = Held<VARDESC, &ITypeInfo::ReleaseVarDesc>;
using HeldAttributes = Held<TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;

HeldAttributes attributesOf(ITypeInfo* type) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(type->GetTypeAttr(&attributes))) {
        attributes = nullptr;
    }
    return HeldAttributes(type, attributes);
}

HeldFunction functionAt(ITypeInfo* type, UINT index) {
    FUNCDESC* function = nullptr;
    if (FAILED(type->GetFuncDesc(index, &function))) {
        function = nullptr;
    }
    return HeldFunction(type, function);
}

}  // namespace

std::u16string variantTypeName(VARTYPE type) {
    static const std::map<VARTYPE, const char16_t*> names{
        {VT_EMPTY, u"VT_EMPTY"},     {VT_NULL, u"VT_NULL"},
        {VT_I2, u"VT_I2"},           {VT_I4, u"VT_I4"},
        {VT_R4, u"VT_R4"},           {VT_R8, u"VT_R8"},
        {VT_CY, u"VT_CY"},           {VT_DATE, u"VT_DATE"},
        {VT_BSTR, u"VT_BSTR"},       {VT_DISPATCH, u"VT_DISPATCH"},
        {VT_ERROR, u"VT_ERROR"},     {VT_BOOL, u"VT_BOOL"},
        {VT_VARIANT, u"VT_VARIANT"}, {VT_UNKNOWN, u"VT_UNKNOWN"},
        {VT_I1, u"VT_I1"},           {VT_UI1, u"VT_UI1"},
        {VT_UI2, u"VT_UI2"},         {VT_UI4, u"VT_UI4"},
        {VT_INT, u"VT_INT"},         {VT_UINT, u"VT_UINT"},
        {VT_VOID, u"VT_VOID"},       {VT_HRESULT, u"VT_HRESULT"},
        {VT_LPSTR, u"VT_LPSTR"},     {VT_LPWSTR, u"VT_LPWSTR"}};
    std::u16string prefix;
    if (type & VT_BYREF) {
        prefix += u"VT_BYREF|";
    }
    if (type & VT_ARRAY) {
        prefix += u"VT_ARRAY|";
    }
    const VARTYPE base = type & VT_TYPEMASK;
    const auto found = names.find(base);
    return prefix + (found != names.end() ? found->second : u"VT_" + decimalText(base));
}

std::u16string describeType(ITypeInfo* type) {
    const auto attributes = attributesOf(type);
    std::u16string kind = u"unknown kind";
    if (attributes) {
        switch (attributes->typekind) {
            case TKIND_DISPATCH: kind = u"dispatch interface"; break;
            case TKIND_INTERFACE: kind = u"interface"; break;
            case TKIND_COCLASS: kind = u"class"; break;
            default: kind = u"type kind " + decimalText(attributes->typekind); break;
        }
        if (attributes->wTypeFlags & TYPEFLAG_FDUAL) {
            kind += u", dual";
        }
    }
    const std::u16string name = nameOfMember(type, MEMBERID_NIL);
    return (name.empty() ? u"(unnamed)" : name) + u" (" + kind + u")";
}

std::vector<std::u16string> describeMembers(ITypeInfo* type) {
    std::vector<std::u16string> lines;
    const auto attributes = attributesOf(type);
    if (!attributes) {
        return {u"(its type gives no attributes)"};
    }
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
        const auto function = functionAt(type, i);
        if (!function) {
            continue;
        }
        std::u16string parameters;
        for (SHORT p = 0; p < function->cParams; ++p) {
            parameters += (p ? u", " : u"") + typeOfElement(function->lprgelemdescParam[p].tdesc);
        }
        lines.push_back(nameOfMember(type, function->memid) + u"  id " +
                        decimalText(function->memid) + u"  " + invokeKind(function->invkind) +
                        u"(" + parameters + u") -> " + typeOfElement(function->elemdescFunc.tdesc) +
                        functionFlags(function->wFuncFlags));
    }
    for (UINT i = 0; i < attributes->cVars; ++i) {
        VARDESC* raw = nullptr;
        if (FAILED(type->GetVarDesc(i, &raw))) {
            continue;
        }
        const HeldVariable variable(type, raw);
        lines.push_back(nameOfMember(type, variable->memid) + u"  id " +
                        decimalText(variable->memid) + u"  property " +
                        typeOfElement(variable->elemdescVar.tdesc));
    }
    return lines;
}

ComPtr<ITypeInfo> dispatchTypeOf(IDispatch* object, HRESULT* result) {
    UINT count = 0;
    ComPtr<ITypeInfo> type;
    *result = object->GetTypeInfoCount(&count);
    if (SUCCEEDED(*result) && count == 0) {
        *result = E_NOTIMPL;
    }
    if (FAILED(*result) ||
        FAILED(*result = object->GetTypeInfo(0, LOCALE_USER_DEFAULT, type.put()))) {
        return {};
    }
    // A class: its default interface describes the members.
    const bool isClass = [&] {
        const auto attributes = attributesOf(type.get());
        return attributes && attributes->typekind == TKIND_COCLASS;
    }();
    HREFTYPE reference = 0;
    ComPtr<ITypeInfo> interfaceType;
    if (isClass && SUCCEEDED(type->GetRefTypeOfImplType(0, &reference)) &&
        SUCCEEDED(type->GetRefTypeInfo(reference, interfaceType.put()))) {
        return interfaceType;
    }
    return type;
}

std::map<DISPID, std::u16string> memberNames(ITypeInfo* type) {
    std::map<DISPID, std::u16string> names;
    const auto attributes = attributesOf(type);
    for (UINT i = 0; attributes && i < attributes->cFuncs; ++i) {
        if (const auto function = functionAt(type, i)) {
            names.emplace(function->memid, nameOfMember(type, function->memid));
        }
    }
    return names;
}

}  // namespace messenger::com
