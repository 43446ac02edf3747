#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "messenger/com/com_handles.h"
#include "messenger/com/messenger_members.h"

// Late-bound calls: properties read and written, methods called, through
// IDispatch by dispatch id. Late binding needs only the system's standard
// marshaller across processes, not the client's type library.
namespace messenger::com {

// The dispatch id of each member, looked up by name on the first object of
// its kind and kept: the client's answer where it gives one, else the
// documented id.
class MemberIds {
public:
    DISPID idOf(IDispatch* object, const Member& member);

private:
    std::map<std::pair<ObjectKind, std::wstring>, DISPID> known_;
};

Variant getProperty(IDispatch* object, DISPID id, const std::u16string& context);
void putProperty(IDispatch* object, DISPID id, std::int32_t value, const std::u16string& context);
Variant callWithIndex(IDispatch* object, DISPID id, std::int32_t index,
                      const std::u16string& context);

// Values as the client hands them over, plain or by reference. A value of
// another type is DISP_E_TYPEMISMATCH, with context in its description.
std::int32_t toInt32(const VARIANT& value, const std::u16string& context);
std::u16string toText(const VARIANT& value, const std::u16string& context);
// An object; none (a null, empty or VT_NULL value) is a null pointer.
ComPtr<IDispatch> toObject(const VARIANT& value, const std::u16string& context);

// The member's name, for messages.
std::u16string nameOf(const Member& member);

}  // namespace messenger::com
