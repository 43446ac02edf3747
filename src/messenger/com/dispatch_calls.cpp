#include "messenger/com/dispatch_calls.h"

#include "messenger/com/com_error.h"

namespace messenger::com {

namespace {

// What Invoke reports in its exception record, owned so its strings are freed.
class ExceptionRecord {
public:
    ExceptionRecord() : record_{} {}
    ExceptionRecord(const ExceptionRecord&) = delete;
    ExceptionRecord& operator=(const ExceptionRecord&) = delete;
    ~ExceptionRecord() {
        SysFreeString(record_.bstrSource);
        SysFreeString(record_.bstrDescription);
        SysFreeString(record_.bstrHelpFile);
    }
    EXCEPINFO* get() { return &record_; }

    Error error(const std::u16string& context) {
        if (record_.pfnDeferredFillIn) {
            record_.pfnDeferredFillIn(&record_);
        }
        const HRESULT number = record_.scode != 0 ? record_.scode : DISP_E_EXCEPTION;
        std::u16string description = toU16String(record_.bstrDescription);
        if (description.empty()) {
            description = systemMessage(number);
        }
        if (description.empty()) {
            description = u"The messenger client raised an undescribed exception.";
        }
        return Error(static_cast<std::int32_t>(number), context + u": " + description);
    }

private:
    EXCEPINFO record_;
};

Variant invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS& parameters, bool wantResult,
               const std::u16string& context) {
    if (!object) {
        throw Error(errc::kNullObject, context + u": the messenger client gave no object.");
    }
    Variant result;
    ExceptionRecord exception;
    UINT badArgument = 0;
    // A stale error object from an earlier call must not describe this one.
    SetErrorInfo(0, nullptr);
    const HRESULT hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                       wantResult ? result.put() : nullptr, exception.get(), &badArgument);
    if (hr == DISP_E_EXCEPTION) {
        throw exception.error(context);
    }
    check(hr, context);
    return result;
}

const VARIANT& withoutVariantReference(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal) {
        return *value.pvarVal;
    }
    return value;
}

Error typeMismatch(const std::u16string& context, VARTYPE type) {
    return Error(static_cast<std::int32_t>(DISP_E_TYPEMISMATCH),
                 context + u": the messenger client sent a value of the wrong type (VARTYPE " +
                     decimalText(type) + u").");
}

}  // namespace

std::u16string nameOf(const Member& member) {
    return std::u16string(reinterpret_cast<const char16_t*>(member.name));
}

DISPID MemberIds::idOf(IDispatch* object, const Member& member) {
    const std::pair<ObjectKind, std::wstring> key{member.kind, member.name};
    if (const auto found = known_.find(key); found != known_.end()) {
        return found->second;
    }
    if (!object) {
        return member.documentedId;
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(member.name)};
    DISPID id = DISPID_UNKNOWN;
    SetErrorInfo(0, nullptr);
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (hr == DISP_E_UNKNOWNNAME) {
        throw Error(static_cast<std::int32_t>(hr),
                    u"The messenger client has no member named " + nameOf(member) +
                        u"; it is not a client version Quavel Logger can attach to.");
    }
    // A client that does not answer name lookups is taken at its documented ids.
    if (FAILED(hr)) {
        id = member.documentedId;
    }
    known_.emplace(key, id);
    return id;
}

Variant getProperty(IDispatch* object, DISPID id, const std::u16string& context) {
    DISPPARAMS none{};
    return invoke(object, id, DISPATCH_PROPERTYGET, none, true, context);
}

void putProperty(IDispatch* object, DISPID id, std::int32_t value, const std::u16string& context) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{&argument, &named, 1, 1};
    invoke(object, id, DISPATCH_PROPERTYPUT, parameters, false, context);
}

Variant callWithIndex(IDispatch* object, DISPID id, std::int32_t index,
                      const std::u16string& context) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = index;
    DISPPARAMS parameters{&argument, nullptr, 1, 0};
    return invoke(object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, parameters, true, context);
}

std::int32_t toInt32(const VARIANT& given, const std::u16string& context) {
    const VARIANT& value = withoutVariantReference(given);
    const bool byReference = (value.vt & VT_BYREF) != 0;
    if (byReference && !value.byref) {
        throw typeMismatch(context, value.vt);
    }
    switch (value.vt & ~VT_BYREF) {
        case VT_I4: return byReference ? *value.plVal : value.lVal;
        case VT_INT: return byReference ? *value.pintVal : value.intVal;
        case VT_I2: return byReference ? *value.piVal : value.iVal;
        case VT_UI2: return byReference ? *value.puiVal : value.uiVal;
        case VT_I1: return byReference ? *value.pcVal : value.cVal;
        case VT_UI1: return byReference ? *value.pbVal : value.bVal;
        default: throw typeMismatch(context, value.vt);
    }
}

std::u16string toText(const VARIANT& given, const std::u16string& context) {
    const VARIANT& value = withoutVariantReference(given);
    if (value.vt == VT_BSTR) {
        return toU16String(value.bstrVal);
    }
    if (value.vt == (VT_BYREF | VT_BSTR) && value.pbstrVal) {
        return toU16String(*value.pbstrVal);
    }
    throw typeMismatch(context, value.vt);
}

ComPtr<IDispatch> toObject(const VARIANT& given, const std::u16string& context) {
    const VARIANT& value = withoutVariantReference(given);
    IUnknown* object = nullptr;
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL: return {};
        case VT_DISPATCH: object = value.pdispVal; break;
        case VT_UNKNOWN: object = value.punkVal; break;
        case VT_BYREF | VT_DISPATCH:
            if (!value.ppdispVal) {
                throw typeMismatch(context, value.vt);
            }
            object = *value.ppdispVal;
            break;
        case VT_BYREF | VT_UNKNOWN:
            if (!value.ppunkVal) {
                throw typeMismatch(context, value.vt);
            }
            object = *value.ppunkVal;
            break;
        default: throw typeMismatch(context, value.vt);
    }
    if (!object) {
        return {};
    }
    HRESULT hr = S_OK;
    auto dispatch = ComPtr<IUnknown>::share(object).query<IDispatch>(IID_IDispatch, &hr);
    check(hr, context);
    return dispatch;
}

}  // namespace messenger::com
