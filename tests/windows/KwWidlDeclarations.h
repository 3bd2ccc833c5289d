// What the header that widl generates from the IDL declares, as tables for the
// type-library check: the interfaces with their IIDs and vtable sizes, every
// vtable entry with its slot and parameter count, every enumeration constant
// with its value. Built from widl's C view of the vtables (KwWidlDeclarations.cpp).
#pragma once

#include <vector>

// Only the GUID's name: KwWidlDeclarations.cpp sees the SDK in its C form.
struct _GUID;

struct KwWidlInterface {
    const char* Name;
    const _GUID* Iid;
    int Slots;
};

struct KwWidlMember {
    const char* Interface;
    const char* Name; // property accessors are get_Name / put_Name
    int Slot;
    int Parameters; // without the interface pointer
};

struct KwWidlConstant {
    const char* Enumeration;
    const char* Name;
    int Value;
};

const std::vector<KwWidlInterface>& KwWidlInterfaces();
const std::vector<KwWidlMember>& KwWidlMembers();
const std::vector<KwWidlConstant>& KwWidlConstants();
