#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <map>
#include <oaidl.h>
#include <string>
#include <vector>

#include "messenger/com/com_handles.h"

// An object's members as its own type information gives them, for a
// diagnosis: what a client really offers, whatever references say.
namespace messenger::com {

// "VT_BSTR", "VT_BYREF|VT_I4", ...
std::u16string variantTypeName(VARTYPE type);

// One line a member: name, dispatch id, kind (get, put, method, ...),
// parameter and result types, and the flags that restrict late binding.
std::vector<std::u16string> describeMembers(ITypeInfo* type);

// The type's own name and kind, as in "IMessenger (dispatch interface)".
std::u16string describeType(ITypeInfo* type);

// The type an object describes itself with, followed to its dispatch
// interface where it gives its class; none where it gives no type.
ComPtr<ITypeInfo> dispatchTypeOf(IDispatch* object, HRESULT* result);

// dispatch id -> name, of the functions of a type.
std::map<DISPID, std::u16string> memberNames(ITypeInfo* type);

}  // namespace messenger::com
