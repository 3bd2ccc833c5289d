// The registered type library read back through the system's OLE Automation,
// against the header that widl generates from the same IDL (KwWidlDeclarations.h):
// each interface of the library is the header's, with the header's IID, members
// in the header's slots with its parameter counts, and each enumeration has the
// header's constants; the host node interfaces stay out of the library. Beside
// that, what only the library carries: its attributes and order, help strings,
// parameter defaults, the coclasses, the records, and the slots and DISPIDs
// that hosts compiled against the library rely on.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <iterator>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/KwFilterInterfaces.h"
#include "KwWidlDeclarations.h"
#include "KwWinSupport.h"

// Names the parameter of a failing case.
void PrintTo(const KwWidlInterface& declared, std::ostream* out) { *out << declared.Name; }

namespace {

// A member without a DISPID of its own: the library compiler gives it one.
constexpr LONG CompilerDispid = 0x7FFFFFFF;

// Members whose place hosts compiled against the library rely on.
const struct {
    const char* Interface;
    const char* Member;
    int Slot;
    LONG Dispid;
} Pinned[] = {
    {"IKwFilter", "GetNode", 4, CompilerDispid},
    {"IKwDataObject", "BindToStorageWrite", 19, 3},
    {"IKwDocument", "ReleaseDoc", 31, 112},
};

// The header's vtable entries, by interface and slot.
const KwWidlMember* HeaderMember(const std::string& itf, int slot)
{
    static const std::map<std::pair<std::string, int>, const KwWidlMember*> bySlot = [] {
        std::map<std::pair<std::string, int>, const KwWidlMember*> result;
        for (const auto& m : KwWidlMembers()) result[{m.Interface, m.Slot}] = &m;
        return result;
    }();
    auto found = bySlot.find({itf, slot});
    return found == bySlot.end() ? nullptr : found->second;
}

// An interface that derives from IDispatch has its members in slots 3 to 6.
bool DerivesFromIDispatch(const std::string& itf)
{
    const KwWidlMember* third = HeaderMember(itf, 3);
    return third && std::strcmp(third->Name, "GetTypeInfoCount") == 0;
}

// An optional parameter and its default as the contract states it.
struct KwDefaultSpec {
    const IID* Iid;
    const char* Member;
    const char* Parameter;
    LONG Value; // 0 for false
    bool Boolean;
} const Defaults[] = {
    {&IID_IKwDocument, "PutAttribute", "Type", 0, false},
    {&IID_IKwDocument, "AddChild", "Protected", 0, true},
    {&IID_IKwDocument, "CreateChild", "Protected", 0, true},
    {&IID_IKwFilters, "PutAttribute", "Type", 0, false},
    {&IID_IKwFilters, "AddChild", "Protected", 0, true},
    {&IID_IKwFilters, "CreateChild", "Protected", 0, true},
    {&IID_IKwFilters, "GetSaveFilters", "IgnoreBlocks", 0, false},
    {&IID_IKwDescriptorNative, "PutAttribute", "Type", 0, false},
    {&IID_IKwDescriptorNative, "Init", "Target", -1, false},
    {&IID_IKwDescriptorNative, "Pop", "Target", -1, false},
    {&IID_IKwDescriptorNative, "Push", "Target", -1, false},
    {&IID_IKwDescriptorNative, "Reset", "Target", -1, false},
};

struct KwCoclassSpec {
    const char* Name;
    const CLSID* Clsid;
    bool Creatable;
    const char* DefaultInterface;
    const char* SourceInterface; // null: none
} const Coclasses[] = {
    {"KwFilterJPEG", &CLSID_KwFilterJPEG, true, "IKwFilter", "_IKwFilterEvents"},
    {"KwSaveStructure", &CLSID_KwSaveStructure, false, "IKwSaveStructure", nullptr},
    {"KwSaveRasterData", &CLSID_KwSaveRasterData, false, "IKwSaveRasterData", nullptr},
    {"KwFilterSaveJPEG", &CLSID_KwFilterSaveJPEG, true, "IKwFilterSave", nullptr},
};

// The type information of the library in index order, with its kind.
const struct {
    const char* Name;
    TYPEKIND Kind;
} LibraryOrder[] = {
    {"KwFilterJPEG", TKIND_COCLASS},        {"IKwFilter", TKIND_INTERFACE},
    {"IKwDataObject", TKIND_DISPATCH},      {"KW_STORAGE_TYPE", TKIND_ENUM},
    {"KW_STORAGE_SCHEME", TKIND_ENUM},      {"IKwDocument", TKIND_DISPATCH},
    {"IKwFilters", TKIND_DISPATCH},         {"KW_REGISTRY_KEY", TKIND_ENUM},
    {"_IKwFilterEvents", TKIND_INTERFACE},  {"KwSaveStructure", TKIND_COCLASS},
    {"IKwSaveStructure", TKIND_INTERFACE},  {"KW_OBJECT_TYPE", TKIND_ENUM},
    {"IKwDescriptorNative", TKIND_INTERFACE}, {"KW_MATRIX_TYPE", TKIND_ENUM},
    {"KW_MATRIX_OPERATION", TKIND_ENUM},    {"tagRECT", TKIND_RECORD},
    {"RECTD", TKIND_RECORD},                {"CUBE", TKIND_RECORD},
    {"KW_RECT_TYPE", TKIND_ENUM},           {"KW_CUBE_TYPE", TKIND_ENUM},
    {"KwSaveRasterData", TKIND_COCLASS},    {"IKwSaveRasterData", TKIND_INTERFACE},
    {"KW_RASTER_TYPE", TKIND_ENUM},         {"KwFilterSaveJPEG", TKIND_COCLASS},
    {"IKwFilterSave", TKIND_INTERFACE},
};

std::string Text(BSTR b) { return KwNarrowText(b); }

std::string NameOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL, std::string* doc = nullptr)
{
    BSTR name = nullptr, help = nullptr;
    info->GetDocumentation(id, &name, doc ? &help : nullptr, nullptr, nullptr);
    std::string result = Text(name);
    if (doc) *doc = Text(help);
    SysFreeString(name);
    SysFreeString(help);
    return result;
}

// The type information that carries the vtable: a dual interface's interface half.
ITypeInfo* VtableInfo(ITypeInfo* info)
{
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    bool dispatch = attr->typekind == TKIND_DISPATCH;
    info->ReleaseTypeAttr(attr);
    ITypeInfo* result = nullptr;
    if (dispatch) {
        HREFTYPE ref = 0;
        if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref))) info->GetRefTypeInfo(ref, &result);
        return result;
    }
    info->AddRef();
    return info;
}

std::string CppName(const std::string& name, INVOKEKIND kind)
{
    if (kind == INVOKE_PROPERTYGET) return "get_" + name;
    if (kind == INVOKE_PROPERTYPUT) return "put_" + name;
    if (kind == INVOKE_PROPERTYPUTREF) return "putref_" + name;
    return name;
}

std::string BaseName(ITypeInfo* info)
{
    HREFTYPE ref = 0;
    ITypeInfo* base = nullptr;
    if (FAILED(info->GetRefTypeOfImplType(0, &ref)) || FAILED(info->GetRefTypeInfo(ref, &base))) return "(none)";
    std::string name = NameOf(base);
    base->Release();
    return name;
}

// Finds a function by its C++ name in a vtable type information; -1 if absent.
int FindFunction(ITypeInfo* info, const std::string& cppName)
{
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    int count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (int i = 0; i < count; ++i) {
        FUNCDESC* f = nullptr;
        info->GetFuncDesc(i, &f);
        std::string name = CppName(NameOf(info, f->memid), f->invkind);
        info->ReleaseFuncDesc(f);
        if (name == cppName) return i;
    }
    return -1;
}

// The library as registration left it.
class RegisteredTypeLib : public ::testing::Test {
protected:
    void SetUp() override
    {
        HRESULT hr = LoadRegTypeLib(LIBID_KWFILTER_JPEGLib, 1, 0, 0, &lib);
        ASSERT_TRUE(SUCCEEDED(hr) && lib) << "LoadRegTypeLib finds the registered library -- " << KwHex(hr);
    }
    void TearDown() override
    {
        if (lib) lib->Release();
    }
    ITypeLib* lib = nullptr;
};

TEST_F(RegisteredTypeLib, Library)
{
    TLIBATTR* attr = nullptr;
    EXPECT_TRUE(SUCCEEDED(lib->GetLibAttr(&attr))) << "library attributes";
    if (attr) {
        EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_KWFILTER_JPEGLib) != FALSE) << "LIBID";
        EXPECT_EQ(attr->lcid, LCID(0)) << "locale neutral";
        EXPECT_EQ(static_cast<int>(attr->syskind), static_cast<int>(SYS_WIN32)) << "platform kind SYS_WIN32";
        EXPECT_EQ(attr->wMajorVerNum, WORD(1)) << "major version 1";
        EXPECT_EQ(attr->wMinorVerNum, WORD(0)) << "minor version 0";
        EXPECT_EQ(attr->wLibFlags & (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN), 0)
            << "not restricted, not a control library, not hidden";
        lib->ReleaseTLibAttr(attr);
    }
    BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
    lib->GetDocumentation(-1, &name, &doc, nullptr, &helpFile);
    EXPECT_EQ(Text(name), "KWFILTER_JPEGLib") << "library name";
    EXPECT_EQ(Text(doc), "KwFilter_JPEG 1.0 Type Library") << "library help string";
    EXPECT_EQ(Text(helpFile), "") << "no help file";
    SysFreeString(name);
    SysFreeString(doc);
    SysFreeString(helpFile);

    // The index order of the library.
    const UINT entries = static_cast<UINT>(std::size(LibraryOrder));
    EXPECT_EQ(lib->GetTypeInfoCount(), entries) << "number of type descriptions";
    for (UINT i = 0; i < entries && i < lib->GetTypeInfoCount(); ++i) {
        BSTR entry = nullptr;
        TYPEKIND kind = TKIND_MAX;
        lib->GetDocumentation(static_cast<INT>(i), &entry, nullptr, nullptr, nullptr);
        lib->GetTypeInfoType(i, &kind);
        EXPECT_TRUE(Text(entry) == LibraryOrder[i].Name && kind == LibraryOrder[i].Kind)
            << "index " << i << " is " << LibraryOrder[i].Name << " -- " << Text(entry) << " kind " << kind;
        SysFreeString(entry);
    }
}

// What the header cannot say: the collection enumerator is hidden from
// scripting clients, matrices are arrays of 16 doubles. (Unnamed property
// values: tests/interfaces, as GetNames answers for the get accessor.)
void ExpectParameterForm(const FUNCDESC* f, const std::string& name)
{
    if (name == "get__EnumChildren") {
        EXPECT_NE(f->wFuncFlags & FUNCFLAG_FRESTRICTED, 0) << name << " is restricted";
    }
    if (name == "GetMatrix" || name == "SetMatrix" || name == "MultMatrix") {
        const TYPEDESC& t = f->lprgelemdescParam[1].tdesc;
        EXPECT_TRUE(t.vt == VT_CARRAY && t.lpadesc->cDims == 1 && t.lpadesc->rgbounds[0].cElements == 16 &&
                    t.lpadesc->tdescElem.vt == VT_R8)
            << name << ": Matrix is double[16] -- vt " << t.vt;
    }
}

bool InLibrary(const std::string& name)
{
    for (const auto& entry : LibraryOrder)
        if (name == entry.Name) return true;
    return false;
}

// The members of an interface's vtable half against the header's slots.
void ExpectHeaderMembers(ITypeInfo* vtable, const std::string& itf, int count)
{
    for (int i = 0; i < count; ++i) {
        FUNCDESC* f = nullptr;
        vtable->GetFuncDesc(i, &f);
        std::string help;
        std::string plain = NameOf(vtable, f->memid, &help);
        // The put accessor shares its DISPID with the get accessor: GetDocumentation finds either.
        std::string name = CppName(plain, f->invkind);
        // oVft is in pointers of the running process, whatever the library's platform kind.
        int slot = static_cast<int>(f->oVft / static_cast<SHORT>(sizeof(void*)));
        const KwWidlMember* header = HeaderMember(itf, slot);
        bool same = header && name == header->Name && f->cParams == header->Parameters &&
                    f->funckind == FUNC_PUREVIRTUAL && f->elemdescFunc.tdesc.vt == VT_HRESULT;
        EXPECT_TRUE(same) << name << " in slot " << slot << " as in the header -- "
                          << (header ? header->Name : "nothing") << " there, " << f->cParams
                          << " parameters in the library, " << (header ? header->Parameters : -1) << " in the header";
        bool property = f->invkind != INVOKE_FUNC;
        std::string expectedHelp = (property ? "property " : "method ") + plain;
        if (itf == "IKwDocument" && plain == "ReleaseDoc") expectedHelp = "method Release";
        if (f->invkind != INVOKE_PROPERTYPUT) {
            EXPECT_EQ(help, expectedHelp) << name << " help string";
        }
        ExpectParameterForm(f, name);
        vtable->ReleaseFuncDesc(f);
    }
}

// One interface of the header: in the library exactly when the library lists
// it, then with the header's IID, base and vtable.
class TypeLibInterface : public RegisteredTypeLib, public ::testing::WithParamInterface<KwWidlInterface> {};

TEST_P(TypeLibInterface, AsTheHeaderDeclares)
{
    const KwWidlInterface& declared = GetParam();
    const std::string itf = declared.Name;
    ITypeInfo* info = nullptr;
    HRESULT hr = lib->GetTypeInfoOfGuid(*declared.Iid, &info);
    if (!InLibrary(itf)) {
        EXPECT_TRUE(FAILED(hr)) << "not in the library (a host node interface)";
        if (info) info->Release();
        return;
    }
    ASSERT_TRUE(SUCCEEDED(hr)) << "found by the header's IID -- " << KwHex(hr);
    std::string doc;
    EXPECT_EQ(NameOf(info, MEMBERID_NIL, &doc), itf) << "name";
    // The two save interfaces keep the help strings of the builder interfaces they replaced.
    std::string help = itf == "IKwSaveStructure"    ? "IKwBuildStructure"
                       : itf == "IKwSaveRasterData" ? "IKwBuildRasterData"
                                                    : itf;
    EXPECT_EQ(doc, help + " Interface") << "help string";

    const bool dual = DerivesFromIDispatch(itf);
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    if (dual) {
        EXPECT_EQ(static_cast<int>(attr->typekind), static_cast<int>(TKIND_DISPATCH)) << "reads as a dispatch type";
        EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE), TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE)
            << "dual and dispatchable";
    } else {
        EXPECT_EQ(static_cast<int>(attr->typekind), static_cast<int>(TKIND_INTERFACE)) << "a custom interface";
        EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE), 0)
            << "neither dual nor OLE Automation";
    }
    info->ReleaseTypeAttr(attr);

    ITypeInfo* vtable = VtableInfo(info);
    info->Release();
    ASSERT_NE(vtable, nullptr) << "its vtable half";
    vtable->GetTypeAttr(&attr);
    int count = attr->cFuncs;
    if (dual) {
        EXPECT_EQ(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FOLEAUTOMATION) << "marked OLE Automation";
    }
    vtable->ReleaseTypeAttr(attr);
    EXPECT_EQ(BaseName(vtable), dual ? "IDispatch" : "IUnknown") << "base interface";
    const int first = dual ? 7 : 3;
    EXPECT_EQ(first + count, declared.Slots) << "the header's number of slots";
    ExpectHeaderMembers(vtable, itf, count);
    vtable->Release();
}

INSTANTIATE_TEST_SUITE_P(Registered, TypeLibInterface, ::testing::ValuesIn(KwWidlInterfaces()),
                         [](const ::testing::TestParamInfo<KwWidlInterface>& info) {
                             return std::string(info.param.Name);
                         });

// One optional parameter and its default.
void ExpectDefault(ITypeLib* lib, const KwDefaultSpec& d)
{
    std::string where = std::string(d.Member) + " " + d.Parameter;
    ITypeInfo* info = nullptr;
    ASSERT_TRUE(SUCCEEDED(lib->GetTypeInfoOfGuid(*d.Iid, &info))) << where << " -- interface not found";
    ITypeInfo* vtable = VtableInfo(info);
    info->Release();
    int index = vtable ? FindFunction(vtable, d.Member) : -1;
    if (index < 0 && vtable) vtable->Release();
    ASSERT_GE(index, 0) << where << ": member found";
    FUNCDESC* f = nullptr;
    vtable->GetFuncDesc(static_cast<UINT>(index), &f);
    BSTR names[16] = {};
    UINT got = 0;
    vtable->GetNames(f->memid, names, 16, &got);
    int param = -1;
    for (UINT k = 1; k < got; ++k)
        if (Text(names[k]) == d.Parameter && static_cast<int>(k - 1) < f->cParams) param = static_cast<int>(k - 1);
    for (UINT k = 0; k < got; ++k) SysFreeString(names[k]);
    EXPECT_GE(param, 0) << where << ": parameter found";
    if (param >= 0) {
        const PARAMDESC& p = f->lprgelemdescParam[param].paramdesc;
        const USHORT wanted = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
        EXPECT_EQ(p.wParamFlags & wanted, wanted) << where << ": in, optional, has a default";
        if ((p.wParamFlags & PARAMFLAG_FHASDEFAULT) && p.pparamdescex) {
            const VARIANT& v = p.pparamdescex->varDefaultValue;
            if (d.Boolean) {
                EXPECT_TRUE(v.vt == VT_BOOL && v.boolVal == VARIANT_FALSE)
                    << where << ": default false -- vt " << v.vt;
            } else {
                EXPECT_TRUE((v.vt == VT_I4 && v.lVal == d.Value) || (v.vt == VT_INT && v.intVal == d.Value))
                    << where << ": default " << d.Value << " -- vt " << v.vt;
            }
        }
    }
    vtable->ReleaseFuncDesc(f);
    vtable->Release();
}

TEST_F(RegisteredTypeLib, ParameterDefaults)
{
    for (const auto& d : Defaults) ExpectDefault(lib, d);
}

void PrintTo(const KwCoclassSpec& c, std::ostream* out) { *out << c.Name; }

class TypeLibCoclass : public RegisteredTypeLib, public ::testing::WithParamInterface<KwCoclassSpec> {};

TEST_P(TypeLibCoclass, NameFlagsAndInterfaces)
{
    const KwCoclassSpec& c = GetParam();
    ITypeInfo* info = nullptr;
    ASSERT_TRUE(SUCCEEDED(lib->GetTypeInfoOfGuid(*c.Clsid, &info))) << "found by the C++ CLSID";
    std::string doc;
    EXPECT_EQ(NameOf(info, MEMBERID_NIL, &doc), c.Name) << "name";
    EXPECT_EQ(doc, std::string(c.Name) + " Class") << "help string";
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    EXPECT_EQ(static_cast<int>(attr->typekind), static_cast<int>(TKIND_COCLASS)) << "a class";
    EXPECT_EQ((attr->wTypeFlags & TYPEFLAG_FCANCREATE) != 0, c.Creatable)
        << (c.Creatable ? "creatable" : "not creatable");
    int implemented = attr->cImplTypes;
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(implemented, c.SourceInterface ? 2 : 1) << "number of interfaces";
    int sources = 0;
    for (int i = 0; i < implemented; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        ITypeInfo* impl = nullptr;
        info->GetImplTypeFlags(static_cast<UINT>(i), &flags);
        info->GetRefTypeOfImplType(static_cast<UINT>(i), &ref);
        info->GetRefTypeInfo(ref, &impl);
        std::string name = impl ? NameOf(impl) : "(none)";
        if (impl) impl->Release();
        if (flags & IMPLTYPEFLAG_FSOURCE) {
            ++sources;
            EXPECT_TRUE(c.SourceInterface && name == c.SourceInterface &&
                        flags == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE))
                << "default source interface " << name << " -- flags " << flags;
        } else {
            EXPECT_TRUE(name == c.DefaultInterface && flags == IMPLTYPEFLAG_FDEFAULT)
                << "default interface " << name << " -- flags " << flags;
        }
    }
    EXPECT_EQ(sources, c.SourceInterface ? 1 : 0) << "source interfaces";
    info->Release();
}

INSTANTIATE_TEST_SUITE_P(Registered, TypeLibCoclass, ::testing::ValuesIn(Coclasses),
                         [](const ::testing::TestParamInfo<KwCoclassSpec>& info) {
                             return std::string(info.param.Name);
                         });

ITypeInfo* FindByName(ITypeLib* lib, const std::string& name)
{
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        BSTR entry = nullptr;
        lib->GetDocumentation(static_cast<INT>(i), &entry, nullptr, nullptr, nullptr);
        bool match = Text(entry) == name;
        SysFreeString(entry);
        ITypeInfo* info = nullptr;
        if (match && SUCCEEDED(lib->GetTypeInfo(i, &info))) return info;
    }
    return nullptr;
}

TEST_F(RegisteredTypeLib, PinnedMembers)
{
    for (const auto& p : Pinned) {
        const std::string where = std::string(p.Interface) + "::" + p.Member;
        ITypeInfo* info = FindByName(lib, p.Interface);
        ITypeInfo* vtable = info ? VtableInfo(info) : nullptr;
        if (info) info->Release();
        int index = vtable ? FindFunction(vtable, p.Member) : -1;
        EXPECT_GE(index, 0) << where << " is in the library";
        if (index >= 0) {
            FUNCDESC* f = nullptr;
            vtable->GetFuncDesc(static_cast<UINT>(index), &f);
            EXPECT_EQ(static_cast<int>(f->oVft / static_cast<SHORT>(sizeof(void*))), p.Slot) << where << " slot";
            if (p.Dispid != CompilerDispid) {
                EXPECT_EQ(static_cast<long>(f->memid), static_cast<long>(p.Dispid)) << where << " DISPID";
            } else {
                EXPECT_GE(static_cast<unsigned long>(f->memid), 0x60000000ul)
                    << where << " has the compiler's member id -- " << KwHex(f->memid);
            }
            vtable->ReleaseFuncDesc(f);
        }
        if (vtable) vtable->Release();
    }
}

TEST_F(RegisteredTypeLib, Enumerations)
{
    std::string current;
    ITypeInfo* info = nullptr;
    int index = 0;
    for (const auto& c : KwWidlConstants()) {
        if (current != c.Enumeration) {
            if (info) info->Release();
            current = c.Enumeration;
            info = FindByName(lib, current);
            index = 0;
            int listed = 0;
            for (const auto& other : KwWidlConstants()) listed += current == other.Enumeration;
            EXPECT_NE(info, nullptr) << current << " is in the library";
            if (info) {
                TYPEATTR* attr = nullptr;
                info->GetTypeAttr(&attr);
                EXPECT_EQ(static_cast<int>(attr->cVars), listed) << current << ": no constant beyond the list";
                info->ReleaseTypeAttr(attr);
            }
        }
        if (!info) continue;
        VARDESC* v = nullptr;
        bool ok = SUCCEEDED(info->GetVarDesc(static_cast<UINT>(index++), &v));
        std::string name = ok ? NameOf(info, v->memid) : "(missing)";
        LONG value = ok && v->lpvarValue ? v->lpvarValue->lVal : -12345;
        EXPECT_TRUE(name == c.Name && value == c.Value)
            << current << "::" << c.Name << " = " << c.Value << " -- " << name << " = " << value;
        if (ok) info->ReleaseVarDesc(v);
    }
    if (info) info->Release();
}

struct KwRecordField {
    const char* Name;
    size_t Offset;
};

struct KwRecordSpec {
    const char* Name;
    size_t Size;
    std::vector<KwRecordField> Fields;
};

void ExpectRecord(ITypeLib* lib, const KwRecordSpec& r)
{
    ITypeInfo* record = FindByName(lib, r.Name);
    ASSERT_NE(record, nullptr) << r.Name << " is in the library";
    TYPEATTR* attr = nullptr;
    record->GetTypeAttr(&attr);
    EXPECT_EQ(static_cast<size_t>(attr->cbSizeInstance), r.Size) << r.Name << " size";
    int vars = attr->cVars;
    record->ReleaseTypeAttr(attr);
    EXPECT_EQ(vars, static_cast<int>(r.Fields.size())) << r.Name << " field count";
    for (int i = 0; i < vars && i < static_cast<int>(r.Fields.size()); ++i) {
        VARDESC* v = nullptr;
        record->GetVarDesc(static_cast<UINT>(i), &v);
        std::string name = NameOf(record, v->memid);
        EXPECT_TRUE(name == r.Fields[i].Name && v->oInst == r.Fields[i].Offset)
            << r.Name << "." << r.Fields[i].Name << " at offset " << r.Fields[i].Offset << " -- " << name << " at "
            << v->oInst;
        record->ReleaseVarDesc(v);
    }
    record->Release();
}

TEST_F(RegisteredTypeLib, Records)
{
    const KwRecordSpec records[] = {
        {"tagRECT", sizeof(RECT),
         {{"left", offsetof(RECT, left)}, {"top", offsetof(RECT, top)}, {"right", offsetof(RECT, right)},
          {"bottom", offsetof(RECT, bottom)}}},
        {"RECTD", sizeof(RECTD),
         {{"left", offsetof(RECTD, left)}, {"top", offsetof(RECTD, top)}, {"right", offsetof(RECTD, right)},
          {"bottom", offsetof(RECTD, bottom)}}},
        {"CUBE", sizeof(CUBE),
         {{"minX", offsetof(CUBE, minX)}, {"maxX", offsetof(CUBE, maxX)}, {"minY", offsetof(CUBE, minY)},
          {"maxY", offsetof(CUBE, maxY)}, {"minZ", offsetof(CUBE, minZ)}, {"maxZ", offsetof(CUBE, maxZ)}}},
    };
    for (const auto& r : records) ExpectRecord(lib, r);
}

}  // namespace
