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

// The type of a C++ parameter as the interface definition spells it ("long*",
// "BSTR", "IDispatch**"). A parameter type without a spelling here does not compile.
template <typename T> struct KwIdlType;
template <typename T> struct KwIdlType<T*> {
    static std::string Name() { return KwIdlType<T>::Name() + "*"; }
};
#define KW_IDL_TYPE(T, spelling)                                                                                     \
    template <> struct KwIdlType<T> {                                                                                \
        static std::string Name() { return spelling; }                                                               \
    };
KW_IDL_TYPE(LONG, "long")
KW_IDL_TYPE(VARIANT_BOOL, "VARIANT_BOOL")
KW_IDL_TYPE(BSTR, "BSTR") // OLECHAR*: never a plain character pointer in these interfaces
KW_IDL_TYPE(VARIANT, "VARIANT")
KW_IDL_TYPE(double, "double")
KW_IDL_TYPE(float, "float")
KW_IDL_TYPE(unsigned char, "unsigned char")
KW_IDL_TYPE(RECT, "RECT")
KW_IDL_TYPE(RECTD, "RECTD")
KW_IDL_TYPE(CUBE, "CUBE")
KW_IDL_TYPE(IUnknown, "IUnknown")
KW_IDL_TYPE(IDispatch, "IDispatch")
KW_IDL_TYPE(IKwDataObject, "IKwDataObject")
KW_IDL_TYPE(IKwDocument, "IKwDocument")
KW_IDL_TYPE(IKwFilters, "IKwFilters")
KW_IDL_TYPE(IKwDescriptorNative, "IKwDescriptorNative")
KW_IDL_TYPE(KW_STORAGE_TYPE, "KW_STORAGE_TYPE")
KW_IDL_TYPE(KW_STORAGE_SCHEME, "KW_STORAGE_SCHEME")
KW_IDL_TYPE(KW_REGISTRY_KEY, "KW_REGISTRY_KEY")
KW_IDL_TYPE(KW_MATRIX_TYPE, "KW_MATRIX_TYPE")
KW_IDL_TYPE(KW_MATRIX_OPERATION, "KW_MATRIX_OPERATION")
KW_IDL_TYPE(KW_RECT_TYPE, "KW_RECT_TYPE")
KW_IDL_TYPE(KW_CUBE_TYPE, "KW_CUBE_TYPE")
KW_IDL_TYPE(KW_RASTER_TYPE, "KW_RASTER_TYPE")
KW_IDL_TYPE(KW_OBJECT_TYPE, "KW_OBJECT_TYPE")
#undef KW_IDL_TYPE

// The parameter types of a member function, in order.
template <typename C, typename... A> std::vector<std::string> KwIdlTypes(HRESULT (C::*)(A...))
{
    return {KwIdlType<A>::Name()...};
}

// A member without a DISPID of its own (the compiler's default identifier).
constexpr LONG KW_DEFAULT_MEMID = 0x7FFFFFFF;

struct KwMemberSpec {
    const char* name;  // C++ name: property accessors are get_Name / put_Name
    int cppSlot;       // from the C++ declaration
    int cppParams;     // parameter count of the C++ declaration
    LONG dispid;       // KW_DEFAULT_MEMID where the contract gives none
    std::vector<std::string> cppTypes;  // parameter types of the C++ declaration
    // The contract's direction of each parameter, one letter each (the C++
    // declaration has no place for them): i [in], o [out], b [in, out],
    // r [out, retval], p [in, optional], q [out, optional], - no attribute.
    const char* directions;
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

#define KW_M(I, M, dir) {#M, KwVtableSlot(&I::M), KwArity(&I::M), KW_DEFAULT_MEMID, KwIdlTypes(&I::M), dir}
#define KW_D(I, M, id, dir) {#M, KwVtableSlot(&I::M), KwArity(&I::M), id, KwIdlTypes(&I::M), dir}

// The attribute group (slots 7-14 of a dual node interface, 3-10 of the descriptor).
#define KW_ATTRIBUTE_GROUP(I)                                                                                        \
    KW_D(I, get_Attributes, 20, "r"), KW_D(I, get_AttributeCount, 21, "r"), KW_D(I, get_ProtectAttributes, 22, "r"), \
        KW_D(I, put_ProtectAttributes, 22, "i"), KW_D(I, GetAttribute, 23, "iqr"), KW_D(I, PutAttribute, 24, "iip"),  \
        KW_D(I, RemoveAttribute, 25, "i"), KW_D(I, RemoveAllAttributes, 26, "")
// The children group (slots 15-23).
#define KW_CHILD_GROUP(I)                                                                                            \
    KW_D(I, get__EnumChildren, -4, "r"), KW_D(I, GetChild, 0, "iqqr"), KW_D(I, AddChild, 1, "iipq"),                  \
        KW_D(I, CreateChild, 2, "iipqr"), KW_D(I, RemoveChild, 3, "i"), KW_D(I, RemoveAllChildren, 4, ""),            \
        KW_D(I, get_ChildCount, 8, "r"), KW_D(I, get_ProtectChildren, 9, "r"), KW_D(I, put_ProtectChildren, 9, "i")

inline const std::vector<KwInterfaceDescription>& KwLibraryInterfaces()
{
    static const std::vector<KwInterfaceDescription> table = {
        {"IKwFilter", &IID_IKwFilter, false, 3, "IKwFilter Interface",
         {KW_M(IKwFilter, OpenDocument, "iii"), KW_M(IKwFilter, GetNode, "i-r")}},
        {"IKwDataObject", &IID_IKwDataObject, true, 7, "IKwDataObject Interface",
         {KW_D(IKwDataObject, AttachToStorage, 1, "i"), KW_D(IKwDataObject, BindToStorage, 2, "ii"),
          KW_D(IKwDataObject, ResetStorage, 4, ""), KW_D(IKwDataObject, get_Storage, 10, "r"),
          KW_D(IKwDataObject, get_StorageName, 11, "r"), KW_D(IKwDataObject, get_TemporaryName, 12, "r"),
          KW_D(IKwDataObject, get_StorageType, 13, "r"), KW_D(IKwDataObject, get_StorageScheme, 14, "r"),
          KW_D(IKwDataObject, get_FileSize, 15, "ir"), KW_D(IKwDataObject, get_CreationTime, 16, "ir"),
          KW_D(IKwDataObject, get_LastAccessTime, 17, "ir"), KW_D(IKwDataObject, get_LastWriteTime, 18, "ir"),
          KW_D(IKwDataObject, BindToStorageWrite, 3, "ii")}},
        {"IKwDocument", &IID_IKwDocument, true, 7, "IKwDocument Interface",
         {KW_ATTRIBUTE_GROUP(IKwDocument), KW_CHILD_GROUP(IKwDocument), KW_D(IKwDocument, get_Parents, 10, "r"),
          KW_D(IKwDocument, get_ParentCount, 11, "r"), KW_D(IKwDocument, GetParent, 12, "iqqr"),
          KW_D(IKwDocument, LoadDocument, 100, "ii"), KW_D(IKwDocument, SaveDocument, 101, "iii"),
          KW_D(IKwDocument, Close, 110, ""), KW_D(IKwDocument, Open, 111, "ii"),
          KW_D(IKwDocument, ReleaseDoc, 112, "")}},
        {"IKwFilters", &IID_IKwFilters, true, 7, "IKwFilters Interface",
         {KW_ATTRIBUTE_GROUP(IKwFilters), KW_CHILD_GROUP(IKwFilters), KW_D(IKwFilters, LocateFilter, 100, "iir"),
          KW_D(IKwFilters, ShowFilterSetup, 101, "iiii"), KW_D(IKwFilters, Update, 200, ""),
          KW_D(IKwFilters, RegisterFilterExtensions, 300, "i"), KW_D(IKwFilters, LoadFilterSettings, 350, ""),
          KW_D(IKwFilters, SaveFilterSettings, 351, ""), KW_D(IKwFilters, get_FilterMainKey, 500, "r"),
          KW_D(IKwFilters, put_FilterMainKey, 500, "i"), KW_D(IKwFilters, get_FilterBaseKey, 501, "r"),
          KW_D(IKwFilters, put_FilterBaseKey, 501, "i"), KW_D(IKwFilters, LocateSaveFilter, 102, "ior"),
          KW_D(IKwFilters, ShowFilterSetup2, 103, "iiiii"), KW_D(IKwFilters, ShowFilterSetup3, 104, "iiiii"),
          KW_D(IKwFilters, GetFilterSet, 105, "ir"), KW_D(IKwFilters, GetSaveFilters, 106, "ipr")}},
        {"_IKwFilterEvents", &DIID__IKwFilterEvents, false, 3, "_IKwFilterEvents Interface",
         {KW_M(_IKwFilterEvents, Progress, "io"), KW_M(_IKwFilterEvents, FontPath, "bb"),
          KW_M(_IKwFilterEvents, XrefPath, "bb"), KW_M(_IKwFilterEvents, XrefPathEx, "bib"),
          KW_M(_IKwFilterEvents, Password, "b")}},
        {"IKwSaveStructure", &IID_IKwSaveStructure, false, 3, "IKwBuildStructure Interface",
         {KW_M(IKwSaveStructure, PutAttribute, "ii"), KW_M(IKwSaveStructure, CreateObject, "iii-"),
          KW_M(IKwSaveStructure, EndObject, "")}},
        {"IKwDescriptorNative", &IID_IKwDescriptorNative, false, 3, "IKwDescriptorNative Interface",
         {KW_ATTRIBUTE_GROUP(IKwDescriptorNative), KW_M(IKwDescriptorNative, Init, "ip"),
          KW_M(IKwDescriptorNative, Merge, "i"), KW_M(IKwDescriptorNative, Pop, "p"),
          KW_M(IKwDescriptorNative, Push, "p"), KW_M(IKwDescriptorNative, Reset, "p"),
          KW_M(IKwDescriptorNative, LoadIdentity, ""), KW_M(IKwDescriptorNative, IsIdentity, "o"),
          KW_M(IKwDescriptorNative, IsRotated, "o"), KW_M(IKwDescriptorNative, GetScaling, "ooo"),
          KW_M(IKwDescriptorNative, GetTranslation, "ooo"), KW_M(IKwDescriptorNative, GetMatrix, "io"),
          KW_M(IKwDescriptorNative, SetMatrix, "ii"), KW_M(IKwDescriptorNative, MultMatrix, "ii"),
          KW_M(IKwDescriptorNative, Rotate, "iiiii"), KW_M(IKwDescriptorNative, Scale, "iiii"),
          KW_M(IKwDescriptorNative, Translate, "iiii"), KW_M(IKwDescriptorNative, TransformPoint2D, "ibb"),
          KW_M(IKwDescriptorNative, TransformPoints2D, "iib"), KW_M(IKwDescriptorNative, TransformPoint3D, "ibbb"),
          KW_M(IKwDescriptorNative, TransformPoints3D, "iib"), KW_M(IKwDescriptorNative, TransformRect, "ib"),
          KW_M(IKwDescriptorNative, TransformRectD, "ib"), KW_M(IKwDescriptorNative, TransformCube, "ib"),
          KW_M(IKwDescriptorNative, GetTransformedLength, "iiiio"), KW_M(IKwDescriptorNative, GetClipRect, "io"),
          KW_M(IKwDescriptorNative, SetClipRect, "ii"), KW_M(IKwDescriptorNative, GetClipRectD, "io"),
          KW_M(IKwDescriptorNative, SetClipRectD, "ii"), KW_M(IKwDescriptorNative, GetClipCube, "io"),
          KW_M(IKwDescriptorNative, SetClipCube, "ii"), KW_M(IKwDescriptorNative, ReconcileClipRects, "i"),
          KW_M(IKwDescriptorNative, ReconcileClipCubes, "i"), KW_M(IKwDescriptorNative, IsProjected, "o"),
          KW_M(IKwDescriptorNative, Project, "iiii"), KW_M(IKwDescriptorNative, TransformPoints3F, "iib")}},
        {"IKwSaveRasterData", &IID_IKwSaveRasterData, false, 3, "IKwBuildRasterData Interface",
         {KW_M(IKwSaveRasterData, PutAttribute, "ii"), KW_M(IKwSaveRasterData, EndObject, ""),
          KW_M(IKwSaveRasterData, CreateRasterStorage, "iiiiiiii"), KW_M(IKwSaveRasterData, AddScanline1, "iiiii"),
          KW_M(IKwSaveRasterData, AddScanline2, "iiiiii"), KW_M(IKwSaveRasterData, StartPolyClipRegion, "ii-i-"),
          KW_M(IKwSaveRasterData, AppendPolyClipRegion, "ii-i-")}},
        {"IKwFilterSave", &IID_IKwFilterSave, false, 3, "IKwFilterSave Interface",
         {KW_M(IKwFilterSave, CreateDocument, "iir"), KW_M(IKwFilterSave, CloseDocument, "")}},
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
