#pragma once

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <oleauto.h>

// What the binding knows of the client's automation interface: its class,
// its event interface, and the members it uses with their dispatch ids as
// public references for the client give them. Where the client answers name
// lookups, the names decide (see MemberIds).
namespace messenger::com {

// Class "Messenger", the running client's automation object.
inline constexpr CLSID kMessengerClass = {
    0xB69003B3, 0xC55E, 0x4B48, {0x83, 0x6C, 0xBC, 0x59, 0x46, 0xFC, 0x3B, 0x28}};
// DMessengerEvents, the dispatch interface the client raises its events on.
inline constexpr IID kMessengerEvents = {
    0xC9A6A6B6, 0x9BC1, 0x43A5, {0xB0, 0x6B, 0xE5, 0x88, 0x74, 0xEE, 0xBC, 0x96}};

struct Member {
    const wchar_t* name;
    DISPID documentedId;
};

namespace member {
// The client object.
inline constexpr Member kMySigninName{L"MySigninName", 1304};
inline constexpr Member kMyFriendlyName{L"MyFriendlyName", 1282};
inline constexpr Member kMyStatus{L"MyStatus", 1305};
// A contact.
inline constexpr Member kFriendlyName{L"FriendlyName", 1536};
inline constexpr Member kStatus{L"Status", 1537};
inline constexpr Member kSigninName{L"SigninName", 1538};
// A collection of contacts.
inline constexpr Member kCount{L"Count", 1792};
inline constexpr Member kItem{L"Item", DISPID_VALUE};
// A conversation window.
inline constexpr Member kContacts{L"Contacts", 2057};
}  // namespace member

namespace event {
inline constexpr DISPID kOnContactFriendlyNameChange = 1028;
inline constexpr DISPID kOnMyFriendlyNameChange = 1029;
inline constexpr DISPID kOnContactStatusChange = 1030;
inline constexpr DISPID kOnMyStatusChange = 1031;
inline constexpr DISPID kOnIMWindowCreated = 1041;
inline constexpr DISPID kOnIMWindowDestroyed = 1042;
}  // namespace event

}  // namespace messenger::com
