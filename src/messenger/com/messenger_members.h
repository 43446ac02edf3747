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

// The kinds of object the program reads. Ids are looked up once a kind:
// a client may give the same name different ids on different objects.
enum class ObjectKind { Client, Contact, Collection, Window };

struct Member {
    ObjectKind kind;
    const wchar_t* name;
    DISPID documentedId;
};

namespace member {
inline constexpr Member kMySigninName{ObjectKind::Client, L"MySigninName", 1304};
inline constexpr Member kMyFriendlyName{ObjectKind::Client, L"MyFriendlyName", 1282};
inline constexpr Member kMyStatus{ObjectKind::Client, L"MyStatus", 1305};
inline constexpr Member kFriendlyName{ObjectKind::Contact, L"FriendlyName", 1536};
inline constexpr Member kStatus{ObjectKind::Contact, L"Status", 1537};
inline constexpr Member kSigninName{ObjectKind::Contact, L"SigninName", 1538};
inline constexpr Member kCount{ObjectKind::Collection, L"Count", 1792};
inline constexpr Member kItem{ObjectKind::Collection, L"Item", DISPID_VALUE};
inline constexpr Member kContacts{ObjectKind::Window, L"Contacts", 2057};

inline constexpr Member kAll[] = {kMySigninName, kMyFriendlyName, kMyStatus, kFriendlyName, kStatus,
                                  kSigninName,   kCount,          kItem,     kContacts};
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
