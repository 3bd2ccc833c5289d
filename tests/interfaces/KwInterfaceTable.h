// The members of every interface of the type library in slot order, as the
// contract lists them, each with the vtable slot that the C++ declaration gives
// it. Shared by the native IDL check (tests/interfaces) and the Windows check of
// the compiled type library (tests/windows).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "KwFilterInterfaces.h"

// The vtable slot of a virtual member function, read from its pointer to member.
// GCC and Clang on Linux and on mingw-w64 follow the Itanium C++ ABI: a pointer to a
// virtual member holds 1 + the byte offset of its vtable entry. -1 if not virtual.
// tests/interfaces proves the reading by calling through the raw vtable.
template <typename Pmf> inline int KwVtableSlot(Pmf member)
{
    static_assert(sizeof(Pmf) == 2 * sizeof(void*), "Itanium C++ ABI member pointer");
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    std::memcpy(&raw, &member, sizeof raw);
    if ((raw.ptr & 1) == 0 || raw.adj != 0) return -1;
    return static_cast<int>((raw.ptr - 1) / sizeof(void*));
}

// The number of parameters of a member function.
template <typename C, typename... A> constexpr int KwArity(HRESULT (C::*)(A...))
{
    return static_cast<int>(sizeof...(A));
}

// A member without a DISPID of its own (the compiler's default identifier).
constexpr LONG KW_DEFAULT_MEMID = 0x7FFFFFFF;

struct KwMemberSpec {
    const char* name;  // C++ name: property accessors are get_Name / put_Name
    int cppSlot;       // from the C++ declaration
    int cppParams;     // parameter count of the C++ declaration
    LONG dispid;       // KW_DEFAULT_MEMID where the contract gives none
};

struct KwInterfaceDescription {
    const char* name;
    const IID* iid;
    bool dual;       // derives from IDispatch, dual, OLE Automation
    int firstSlot;   // 3 after IUnknown, 7 after IDispatch
    const char* helpString;
    std::vector<KwMemberSpec> members;  // in slot order: member i sits in slot firstSlot + i
};

// An optional parameter and its default as the contract states it.
struct KwDefaultSpec {
    const char* interfaceName;
    const char* member;
    const char* parameter;
    LONG value;  // 0 for false
    bool boolean;
};

#define KW_M(I, M) {#M, KwVtableSlot(&I::M), KwArity(&I::M), KW_DEFAULT_MEMID}
#define KW_D(I, M, id) {#M, KwVtableSlot(&I::M), KwArity(&I::M), id}

// The attribute group (slots 7-14 of a dual node interface, 3-10 of the descriptor).
#define KW_ATTRIBUTE_GROUP(I)                                                                                        \
    KW_D(I, get_Attributes, 20), KW_D(I, get_AttributeCount, 21), KW_D(I, get_ProtectAttributes, 22),                 \
        KW_D(I, put_ProtectAttributes, 22), KW_D(I, GetAttribute, 23), KW_D(I, PutAttribute, 24),                     \
        KW_D(I, RemoveAttribute, 25), KW_D(I, RemoveAllAttributes, 26)
// The children group (slots 15-23).
#define KW_CHILD_GROUP(I)                                                                                            \
    KW_D(I, get__EnumChildren, -4), KW_D(I, GetChild, 0), KW_D(I, AddChild, 1), KW_D(I, CreateChild, 2),             \
        KW_D(I, RemoveChild, 3), KW_D(I, RemoveAllChildren, 4), KW_D(I, get_ChildCount, 8),                           \
        KW_D(I, get_ProtectChildren, 9), KW_D(I, put_ProtectChildren, 9)

inline const std::vector<KwInterfaceDescription>& KwLibraryInterfaces()
{
    static const std::vector<KwInterfaceDescription> table = {
        {"IKwFilter", &IID_IKwFilter, false, 3, "IKwFilter Interface",
         {KW_M(IKwFilter, OpenDocument), KW_M(IKwFilter, GetNode)}},
        {"IKwDataObject", &IID_IKwDataObject, true, 7, "IKwDataObject Interface",
         {KW_D(IKwDataObject, AttachToStorage, 1), KW_D(IKwDataObject, BindToStorage, 2),
          KW_D(IKwDataObject, ResetStorage, 4), KW_D(IKwDataObject, get_Storage, 10),
          KW_D(IKwDataObject, get_StorageName, 11), KW_D(IKwDataObject, get_TemporaryName, 12),
          KW_D(IKwDataObject, get_StorageType, 13), KW_D(IKwDataObject, get_StorageScheme, 14),
          KW_D(IKwDataObject, get_FileSize, 15), KW_D(IKwDataObject, get_CreationTime, 16),
          KW_D(IKwDataObject, get_LastAccessTime, 17), KW_D(IKwDataObject, get_LastWriteTime, 18),
          KW_D(IKwDataObject, BindToStorageWrite, 3)}},
        {"IKwDocument", &IID_IKwDocument, true, 7, "IKwDocument Interface",
         {KW_ATTRIBUTE_GROUP(IKwDocument), KW_CHILD_GROUP(IKwDocument), KW_D(IKwDocument, get_Parents, 10),
          KW_D(IKwDocument, get_ParentCount, 11), KW_D(IKwDocument, GetParent, 12),
          KW_D(IKwDocument, LoadDocument, 100), KW_D(IKwDocument, SaveDocument, 101), KW_D(IKwDocument, Close, 110),
          KW_D(IKwDocument, Open, 111), KW_D(IKwDocument, ReleaseDoc, 112)}},
        {"IKwFilters", &IID_IKwFilters, true, 7, "IKwFilters Interface",
         {KW_ATTRIBUTE_GROUP(IKwFilters), KW_CHILD_GROUP(IKwFilters), KW_D(IKwFilters, LocateFilter, 100),
          KW_D(IKwFilters, ShowFilterSetup, 101), KW_D(IKwFilters, Update, 200),
          KW_D(IKwFilters, RegisterFilterExtensions, 300), KW_D(IKwFilters, LoadFilterSettings, 350),
          KW_D(IKwFilters, SaveFilterSettings, 351), KW_D(IKwFilters, get_FilterMainKey, 500),
          KW_D(IKwFilters, put_FilterMainKey, 500), KW_D(IKwFilters, get_FilterBaseKey, 501),
          KW_D(IKwFilters, put_FilterBaseKey, 501), KW_D(IKwFilters, LocateSaveFilter, 102),
          KW_D(IKwFilters, ShowFilterSetup2, 103), KW_D(IKwFilters, ShowFilterSetup3, 104),
          KW_D(IKwFilters, GetFilterSet, 105), KW_D(IKwFilters, GetSaveFilters, 106)}},
        {"_IKwFilterEvents", &DIID__IKwFilterEvents, false, 3, "_IKwFilterEvents Interface",
         {KW_M(_IKwFilterEvents, Progress), KW_M(_IKwFilterEvents, FontPath), KW_M(_IKwFilterEvents, XrefPath),
          KW_M(_IKwFilterEvents, XrefPathEx), KW_M(_IKwFilterEvents, Password)}},
        {"IKwSaveStructure", &IID_IKwSaveStructure, false, 3, "IKwBuildStructure Interface",
         {KW_M(IKwSaveStructure, PutAttribute), KW_M(IKwSaveStructure, CreateObject),
          KW_M(IKwSaveStructure, EndObject)}},
        {"IKwDescriptorNative", &IID_IKwDescriptorNative, false, 3, "IKwDescriptorNative Interface",
         {KW_ATTRIBUTE_GROUP(IKwDescriptorNative), KW_M(IKwDescriptorNative, Init),
          KW_M(IKwDescriptorNative, Merge), KW_M(IKwDescriptorNative, Pop), KW_M(IKwDescriptorNative, Push),
          KW_M(IKwDescriptorNative, Reset), KW_M(IKwDescriptorNative, LoadIdentity),
          KW_M(IKwDescriptorNative, IsIdentity), KW_M(IKwDescriptorNative, IsRotated),
          KW_M(IKwDescriptorNative, GetScaling), KW_M(IKwDescriptorNative, GetTranslation),
          KW_M(IKwDescriptorNative, GetMatrix), KW_M(IKwDescriptorNative, SetMatrix),
          KW_M(IKwDescriptorNative, MultMatrix), KW_M(IKwDescriptorNative, Rotate),
          KW_M(IKwDescriptorNative, Scale), KW_M(IKwDescriptorNative, Translate),
          KW_M(IKwDescriptorNative, TransformPoint2D), KW_M(IKwDescriptorNative, TransformPoints2D),
          KW_M(IKwDescriptorNative, TransformPoint3D), KW_M(IKwDescriptorNative, TransformPoints3D),
          KW_M(IKwDescriptorNative, TransformRect), KW_M(IKwDescriptorNative, TransformRectD),
          KW_M(IKwDescriptorNative, TransformCube), KW_M(IKwDescriptorNative, GetTransformedLength),
          KW_M(IKwDescriptorNative, GetClipRect), KW_M(IKwDescriptorNative, SetClipRect),
          KW_M(IKwDescriptorNative, GetClipRectD), KW_M(IKwDescriptorNative, SetClipRectD),
          KW_M(IKwDescriptorNative, GetClipCube), KW_M(IKwDescriptorNative, SetClipCube),
          KW_M(IKwDescriptorNative, ReconcileClipRects), KW_M(IKwDescriptorNative, ReconcileClipCubes),
          KW_M(IKwDescriptorNative, IsProjected), KW_M(IKwDescriptorNative, Project),
          KW_M(IKwDescriptorNative, TransformPoints3F)}},
        {"IKwSaveRasterData", &IID_IKwSaveRasterData, false, 3, "IKwBuildRasterData Interface",
         {KW_M(IKwSaveRasterData, PutAttribute), KW_M(IKwSaveRasterData, EndObject),
          KW_M(IKwSaveRasterData, CreateRasterStorage), KW_M(IKwSaveRasterData, AddScanline1),
          KW_M(IKwSaveRasterData, AddScanline2), KW_M(IKwSaveRasterData, StartPolyClipRegion),
          KW_M(IKwSaveRasterData, AppendPolyClipRegion)}},
        {"IKwFilterSave", &IID_IKwFilterSave, false, 3, "IKwFilterSave Interface",
         {KW_M(IKwFilterSave, CreateDocument), KW_M(IKwFilterSave, CloseDocument)}},
    };
    return table;
}

#undef KW_CHILD_GROUP
#undef KW_ATTRIBUTE_GROUP
#undef KW_D
#undef KW_M

// The optional parameters with a default value.
inline const std::vector<KwDefaultSpec>& KwLibraryDefaults()
{
    static const std::vector<KwDefaultSpec> table = {
        {"IKwDocument", "PutAttribute", "Type", 0, false},
        {"IKwDocument", "AddChild", "Protected", 0, true},
        {"IKwDocument", "CreateChild", "Protected", 0, true},
        {"IKwFilters", "PutAttribute", "Type", 0, false},
        {"IKwFilters", "AddChild", "Protected", 0, true},
        {"IKwFilters", "CreateChild", "Protected", 0, true},
        {"IKwFilters", "GetSaveFilters", "IgnoreBlocks", 0, false},
        {"IKwDescriptorNative", "PutAttribute", "Type", 0, false},
        {"IKwDescriptorNative", "Init", "Target", -1, false},
        {"IKwDescriptorNative", "Pop", "Target", -1, false},
        {"IKwDescriptorNative", "Push", "Target", -1, false},
        {"IKwDescriptorNative", "Reset", "Target", -1, false},
    };
    return table;
}

struct KwCoclassSpec {
    const char* name;
    const CLSID* clsid;
    bool creatable;
    const char* defaultInterface;
    const char* sourceInterface;  // null: none
};

inline const std::vector<KwCoclassSpec>& KwLibraryCoclasses()
{
    static const std::vector<KwCoclassSpec> table = {
        {"KwFilterJPEG", &CLSID_KwFilterJPEG, true, "IKwFilter", "_IKwFilterEvents"},
        {"KwSaveStructure", &CLSID_KwSaveStructure, false, "IKwSaveStructure", nullptr},
        {"KwSaveRasterData", &CLSID_KwSaveRasterData, false, "IKwSaveRasterData", nullptr},
        {"KwFilterSaveJPEG", &CLSID_KwFilterSaveJPEG, true, "IKwFilterSave", nullptr},
    };
    return table;
}

struct KwEnumConstant {
    const char* enumeration;
    const char* name;
    LONG value;
};

#define KW_E(E, C) {#E, #C, static_cast<LONG>(C)}
inline const std::vector<KwEnumConstant>& KwLibraryEnumConstants()
{
    static const std::vector<KwEnumConstant> table = {
        KW_E(KW_STORAGE_TYPE, KW_STORAGE_NONE), KW_E(KW_STORAGE_TYPE, KW_STORAGE_STREAM),
        KW_E(KW_STORAGE_TYPE, KW_STORAGE_STRUCTURED),
        KW_E(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_UNKNOWN), KW_E(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_FILE),
        KW_E(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_FTP), KW_E(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_GOPHER),
        KW_E(KW_STORAGE_SCHEME, KW_STORAGE_SCHEME_HTTP),
        KW_E(KW_REGISTRY_KEY, KW_REGKEY_CURRENT_USER), KW_E(KW_REGISTRY_KEY, KW_REGKEY_DEFAULT_USER),
        KW_E(KW_REGISTRY_KEY, KW_REGKEY_LOCAL_MACHINE),
        KW_E(KW_MATRIX_TYPE, KW_MATRIX_NORMAL), KW_E(KW_MATRIX_TYPE, KW_MATRIX_INVERSE),
        KW_E(KW_MATRIX_OPERATION, KW_POST_MULTIPLY), KW_E(KW_MATRIX_OPERATION, KW_PRE_MULTIPLY),
        KW_E(KW_RECT_TYPE, KW_RECT_DEST), KW_E(KW_RECT_TYPE, KW_RECT_SOURCE),
        KW_E(KW_CUBE_TYPE, KW_CUBE_DEST), KW_E(KW_CUBE_TYPE, KW_CUBE_SOURCE),
        KW_E(KW_RASTER_TYPE, KW_RASTER_BW), KW_E(KW_RASTER_TYPE, KW_RASTER_RGB),
        KW_E(KW_RASTER_TYPE, KW_RASTER_RGBA), KW_E(KW_RASTER_TYPE, KW_RASTER_INDEX_2),
        KW_E(KW_RASTER_TYPE, KW_RASTER_INDEX_4), KW_E(KW_RASTER_TYPE, KW_RASTER_INDEX_8),
        KW_E(KW_RASTER_TYPE, KW_RASTER_RLE_8), KW_E(KW_RASTER_TYPE, KW_RASTER_RLC_16),
        KW_E(KW_RASTER_TYPE, KW_RASTER_RLC_32), KW_E(KW_RASTER_TYPE, KW_RASTER_WB),
        KW_E(KW_OBJECT_TYPE, KW_VAPI), KW_E(KW_OBJECT_TYPE, KW_DOCUMENT), KW_E(KW_OBJECT_TYPE, KW_CONTENTS),
        KW_E(KW_OBJECT_TYPE, KW_CONTAINER), KW_E(KW_OBJECT_TYPE, KW_TEXT_BLOCK),
        KW_E(KW_OBJECT_TYPE, KW_META_BLOCK), KW_E(KW_OBJECT_TYPE, KW_RASTER_BLOCK),
        KW_E(KW_OBJECT_TYPE, KW_VECTOR_BLOCK), KW_E(KW_OBJECT_TYPE, KW_VECTOR_BLOCK_3D),
        KW_E(KW_OBJECT_TYPE, KW_TABLE_BLOCK), KW_E(KW_OBJECT_TYPE, KW_ATTRIBUTE),
        KW_E(KW_OBJECT_TYPE, KW_COLLECTION), KW_E(KW_OBJECT_TYPE, KW_BLOCK_REFS),
        KW_E(KW_OBJECT_TYPE, KW_DATA_OBJECT), KW_E(KW_OBJECT_TYPE, KW_DESCRIPTOR),
        KW_E(KW_OBJECT_TYPE, KW_FILTERS), KW_E(KW_OBJECT_TYPE, KW_LAYERS), KW_E(KW_OBJECT_TYPE, KW_PALETTE),
        KW_E(KW_OBJECT_TYPE, KW_PEN_TABLE),
    };
    return table;
}
#undef KW_E

// The type information of the library in index order, with its kind
// (TKIND_ENUM 0, TKIND_RECORD 1, TKIND_INTERFACE 3, TKIND_DISPATCH 4, TKIND_COCLASS 5).
struct KwLibraryEntry {
    const char* name;
    int kind;
};

inline const std::vector<KwLibraryEntry>& KwLibraryOrder()
{
    static const std::vector<KwLibraryEntry> table = {
        {"KwFilterJPEG", 5},        {"IKwFilter", 3},         {"IKwDataObject", 4},     {"KW_STORAGE_TYPE", 0},
        {"KW_STORAGE_SCHEME", 0},   {"IKwDocument", 4},       {"IKwFilters", 4},        {"KW_REGISTRY_KEY", 0},
        {"_IKwFilterEvents", 3},    {"KwSaveStructure", 5},   {"IKwSaveStructure", 3},  {"KW_OBJECT_TYPE", 0},
        {"IKwDescriptorNative", 3}, {"KW_MATRIX_TYPE", 0},    {"KW_MATRIX_OPERATION", 0}, {"tagRECT", 1},
        {"RECTD", 1},               {"CUBE", 1},              {"KW_RECT_TYPE", 0},      {"KW_CUBE_TYPE", 0},
        {"KwSaveRasterData", 5},    {"IKwSaveRasterData", 3}, {"KW_RASTER_TYPE", 0},    {"KwFilterSaveJPEG", 5},
        {"IKwFilterSave", 3},
    };
    return table;
}
