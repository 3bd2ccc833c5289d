// The registered type library read back through the system's OLE Automation:
// library attributes and order, every interface's members with their slots,
// DISPIDs, parameter counts and help strings against the C++ declarations, the
// optional defaults, the coclasses, the enumerations and the records.
#include <cstddef>
#include <string>

#include "KwCheck.h"
#include "KwInterfaceTable.h"
#include "KwWindowsChecks.h"
#include "KwWinSupport.h"

namespace {

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

void CheckLibrary(ITypeLib* lib)
{
    KwCheck::Case("typelib library");
    TLIBATTR* attr = nullptr;
    if (KwCheck::That(SUCCEEDED(lib->GetLibAttr(&attr)), "library attributes")) {
        KwCheck::That(IsEqualGUID(attr->guid, LIBID_KWFILTER_JPEGLib) != FALSE, "LIBID");
        KwCheck::Equal(attr->lcid, LCID(0), "locale neutral");
        KwCheck::Equal(static_cast<int>(attr->syskind), static_cast<int>(SYS_WIN32), "platform kind SYS_WIN32");
        KwCheck::Equal(attr->wMajorVerNum, WORD(1), "major version 1");
        KwCheck::Equal(attr->wMinorVerNum, WORD(0), "minor version 0");
        KwCheck::Equal(attr->wLibFlags & (LIBFLAG_FRESTRICTED | LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN), 0,
                       "not restricted, not a control library, not hidden");
        lib->ReleaseTLibAttr(attr);
    }
    BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
    lib->GetDocumentation(-1, &name, &doc, nullptr, &helpFile);
    KwCheck::Equal(Text(name), std::string("KWFILTER_JPEGLib"), "library name");
    KwCheck::Equal(Text(doc), std::string("KwFilter_JPEG 1.0 Type Library"), "library help string");
    KwCheck::Equal(Text(helpFile), std::string(""), "no help file");
    SysFreeString(name);
    SysFreeString(doc);
    SysFreeString(helpFile);

    // The index order of the library.
    const auto& order = KwLibraryOrder();
    KwCheck::Equal(lib->GetTypeInfoCount(), static_cast<UINT>(order.size()), "number of type descriptions");
    for (UINT i = 0; i < order.size() && i < lib->GetTypeInfoCount(); ++i) {
        BSTR entry = nullptr;
        TYPEKIND kind = TKIND_MAX;
        lib->GetDocumentation(static_cast<INT>(i), &entry, nullptr, nullptr, nullptr);
        lib->GetTypeInfoType(i, &kind);
        KwCheck::That(Text(entry) == order[i].name && kind == order[i].kind,
                      "index " + std::to_string(i) + " is " + order[i].name,
                      Text(entry) + " kind " + std::to_string(kind));
        SysFreeString(entry);
    }
}

// Parameter flags as the letters of KwMemberSpec::directions ('?' for others).
char DirectionLetter(USHORT flags)
{
    switch (flags & ~PARAMFLAG_FHASDEFAULT) {
    case PARAMFLAG_NONE: return '-';
    case PARAMFLAG_FIN: return 'i';
    case PARAMFLAG_FOUT: return 'o';
    case PARAMFLAG_FIN | PARAMFLAG_FOUT: return 'b';
    case PARAMFLAG_FOUT | PARAMFLAG_FRETVAL: return 'r';
    case PARAMFLAG_FIN | PARAMFLAG_FOPT: return 'p';
    case PARAMFLAG_FOUT | PARAMFLAG_FOPT: return 'q';
    default: return '?';
    }
}

void CheckInterface(ITypeLib* lib, const KwInterfaceDescription& described)
{
    KwCheck::Case(std::string("typelib ") + described.name);
    ITypeInfo* info = nullptr;
    if (!KwCheck::That(SUCCEEDED(lib->GetTypeInfoOfGuid(*described.iid, &info)), "found by the C++ IID")) return;
    std::string doc;
    KwCheck::Equal(NameOf(info, MEMBERID_NIL, &doc), std::string(described.name), "name");
    KwCheck::Equal(doc, std::string(described.helpString), "help string");

    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    if (described.dual) {
        KwCheck::Equal(static_cast<int>(attr->typekind), static_cast<int>(TKIND_DISPATCH), "reads as a dispatch type");
        KwCheck::Equal(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE),
                       TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, "dual and dispatchable");
    } else {
        KwCheck::Equal(static_cast<int>(attr->typekind), static_cast<int>(TKIND_INTERFACE), "a custom interface");
        KwCheck::Equal(attr->wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE), 0,
                       "neither dual nor OLE Automation");
    }
    info->ReleaseTypeAttr(attr);

    ITypeInfo* vtable = VtableInfo(info);
    info->Release();
    if (!KwCheck::That(vtable != nullptr, "its vtable half")) return;
    vtable->GetTypeAttr(&attr);
    int count = attr->cFuncs;
    if (described.dual)
        KwCheck::Equal(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FOLEAUTOMATION, "marked OLE Automation");
    vtable->ReleaseTypeAttr(attr);
    KwCheck::Equal(BaseName(vtable), std::string(described.dual ? "IDispatch" : "IUnknown"), "base interface");
    KwCheck::Equal(count, static_cast<int>(described.members.size()), "number of members");

    for (int i = 0; i < count && i < static_cast<int>(described.members.size()); ++i) {
        const auto& expected = described.members[i];
        FUNCDESC* f = nullptr;
        vtable->GetFuncDesc(i, &f);
        std::string help;
        std::string plain = NameOf(vtable, f->memid, &help);
        // The put accessor shares its DISPID with the get accessor: GetDocumentation finds either.
        std::string name = CppName(plain, f->invkind);
        // oVft is in pointers of the running process, whatever the library's platform kind.
        int slot = static_cast<int>(f->oVft / static_cast<SHORT>(sizeof(void*)));
        std::string where = name + " (slot " + std::to_string(slot) + ")";
        bool same = name == expected.name && slot == expected.cppSlot && f->cParams == expected.cppParams &&
                    f->funckind == FUNC_PUREVIRTUAL && f->elemdescFunc.tdesc.vt == VT_HRESULT;
        KwCheck::That(same, std::string(expected.name) + " in C++ slot " + std::to_string(expected.cppSlot),
                      where + ", " + std::to_string(f->cParams) + " parameters");
        if (expected.dispid != KW_DEFAULT_MEMID)
            KwCheck::Equal(static_cast<long>(f->memid), static_cast<long>(expected.dispid), name + " DISPID");
        else
            KwCheck::That(static_cast<unsigned long>(f->memid) >= 0x60000000ul, name + " has the compiler's member id",
                          KwHex(f->memid));
        bool property = f->invkind != INVOKE_FUNC;
        std::string expectedHelp = (property ? "property " : "method ") + plain;
        if (std::string(described.name) == "IKwDocument" && plain == "ReleaseDoc") expectedHelp = "method Release";
        if (f->invkind != INVOKE_PROPERTYPUT) KwCheck::Equal(help, expectedHelp, name + " help string");
        // Each parameter's direction, as the contract gives it.
        std::string directions;
        for (int k = 0; k < f->cParams; ++k)
            directions += DirectionLetter(f->lprgelemdescParam[k].paramdesc.wParamFlags);
        KwCheck::Equal(directions, std::string(expected.directions), name + " parameter directions");
        vtable->ReleaseFuncDesc(f);
    }
    vtable->Release();
}

// The members that the contract singles out.
void CheckNamedSlots(ITypeLib* lib)
{
    KwCheck::Case("typelib named slots");
    struct Case {
        const IID* iid;
        const char* member;
        int slot;
        LONG dispid;
    } cases[] = {{&IID_IKwFilter, "GetNode", 4, KW_DEFAULT_MEMID},
                 {&IID_IKwDataObject, "BindToStorageWrite", 19, 3},
                 {&IID_IKwDocument, "ReleaseDoc", 31, 112}};
    for (const auto& c : cases) {
        ITypeInfo* info = nullptr;
        if (FAILED(lib->GetTypeInfoOfGuid(*c.iid, &info))) continue;
        ITypeInfo* vtable = VtableInfo(info);
        info->Release();
        int index = vtable ? FindFunction(vtable, c.member) : -1;
        if (KwCheck::That(index >= 0, std::string(c.member) + " is declared")) {
            FUNCDESC* f = nullptr;
            vtable->GetFuncDesc(static_cast<UINT>(index), &f);
            KwCheck::Equal(f->oVft / static_cast<SHORT>(sizeof(void*)), c.slot, std::string(c.member) + " slot");
            if (c.dispid != KW_DEFAULT_MEMID)
                KwCheck::Equal(static_cast<long>(f->memid), static_cast<long>(c.dispid), std::string(c.member) + " DISPID");
            vtable->ReleaseFuncDesc(f);
        }
        if (vtable) vtable->Release();
    }
}

void CheckDefaults(ITypeLib* lib)
{
    KwCheck::Case("typelib defaults");
    for (const auto& d : KwLibraryDefaults()) {
        std::string where = std::string(d.interfaceName) + "::" + d.member + " " + d.parameter;
        const KwInterfaceDescription* described = nullptr;
        for (const auto& s : KwLibraryInterfaces())
            if (std::string(s.name) == d.interfaceName) described = &s;
        ITypeInfo* info = nullptr;
        if (!described || FAILED(lib->GetTypeInfoOfGuid(*described->iid, &info))) {
            KwCheck::That(false, where, "interface not found");
            continue;
        }
        ITypeInfo* vtable = VtableInfo(info);
        info->Release();
        int index = vtable ? FindFunction(vtable, d.member) : -1;
        if (!KwCheck::That(index >= 0, where + ": member found")) {
            if (vtable) vtable->Release();
            continue;
        }
        FUNCDESC* f = nullptr;
        vtable->GetFuncDesc(static_cast<UINT>(index), &f);
        BSTR names[16] = {};
        UINT got = 0;
        vtable->GetNames(f->memid, names, 16, &got);
        int param = -1;
        for (UINT k = 1; k < got; ++k)
            if (Text(names[k]) == d.parameter && static_cast<int>(k - 1) < f->cParams) param = static_cast<int>(k - 1);
        for (UINT k = 0; k < got; ++k) SysFreeString(names[k]);
        if (KwCheck::That(param >= 0, where + ": parameter found")) {
            const PARAMDESC& p = f->lprgelemdescParam[param].paramdesc;
            const USHORT wanted = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
            KwCheck::Equal(p.wParamFlags & wanted, wanted, where + ": in, optional, has a default");
            if ((p.wParamFlags & PARAMFLAG_FHASDEFAULT) && p.pparamdescex) {
                const VARIANT& v = p.pparamdescex->varDefaultValue;
                if (d.boolean)
                    KwCheck::That(v.vt == VT_BOOL && v.boolVal == VARIANT_FALSE, where + ": default false",
                                  "vt " + std::to_string(v.vt));
                else
                    KwCheck::That((v.vt == VT_I4 && v.lVal == d.value) || (v.vt == VT_INT && v.intVal == d.value),
                                  where + ": default " + std::to_string(d.value), "vt " + std::to_string(v.vt));
            }
        }
        vtable->ReleaseFuncDesc(f);
        vtable->Release();
    }
}

void CheckCoclasses(ITypeLib* lib)
{
    for (const auto& c : KwLibraryCoclasses()) {
        KwCheck::Case(std::string("typelib ") + c.name);
        ITypeInfo* info = nullptr;
        if (!KwCheck::That(SUCCEEDED(lib->GetTypeInfoOfGuid(*c.clsid, &info)), "found by the C++ CLSID")) continue;
        std::string doc;
        KwCheck::Equal(NameOf(info, MEMBERID_NIL, &doc), std::string(c.name), "name");
        KwCheck::Equal(doc, std::string(c.name) + " Class", "help string");
        TYPEATTR* attr = nullptr;
        info->GetTypeAttr(&attr);
        KwCheck::Equal(static_cast<int>(attr->typekind), static_cast<int>(TKIND_COCLASS), "a class");
        KwCheck::Equal((attr->wTypeFlags & TYPEFLAG_FCANCREATE) != 0, c.creatable,
                       c.creatable ? "creatable" : "not creatable");
        int implemented = attr->cImplTypes;
        info->ReleaseTypeAttr(attr);
        KwCheck::Equal(implemented, c.sourceInterface ? 2 : 1, "number of interfaces");
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
                KwCheck::That(c.sourceInterface && name == c.sourceInterface &&
                                  flags == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE),
                              "default source interface " + name, "flags " + std::to_string(flags));
            } else {
                KwCheck::That(name == c.defaultInterface && flags == IMPLTYPEFLAG_FDEFAULT,
                              "default interface " + name, "flags " + std::to_string(flags));
            }
        }
        KwCheck::Equal(sources, c.sourceInterface ? 1 : 0, "source interfaces");
        info->Release();
    }
}

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

void CheckEnumerationsAndRecords(ITypeLib* lib)
{
    KwCheck::Case("typelib enumerations");
    std::string current;
    ITypeInfo* info = nullptr;
    int index = 0;
    for (const auto& c : KwLibraryEnumConstants()) {
        if (current != c.enumeration) {
            if (info) info->Release();
            current = c.enumeration;
            info = FindByName(lib, current);
            index = 0;
            KwCheck::That(info != nullptr, current + " is in the library");
        }
        if (!info) continue;
        VARDESC* v = nullptr;
        bool ok = SUCCEEDED(info->GetVarDesc(static_cast<UINT>(index++), &v));
        std::string name = ok ? NameOf(info, v->memid) : "(missing)";
        LONG value = ok && v->lpvarValue ? v->lpvarValue->lVal : -12345;
        KwCheck::That(name == c.name && value == c.value, current + "::" + c.name + " = " + std::to_string(c.value),
                      name + " = " + std::to_string(value));
        if (ok) info->ReleaseVarDesc(v);
    }
    if (info) info->Release();

    KwCheck::Case("typelib records");
    struct Field {
        const char* name;
        size_t offset;
    };
    struct Record {
        const char* name;
        size_t size;
        std::vector<Field> fields;
    } records[] = {
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
    for (const auto& r : records) {
        ITypeInfo* record = FindByName(lib, r.name);
        if (!KwCheck::That(record != nullptr, std::string(r.name) + " is in the library")) continue;
        TYPEATTR* attr = nullptr;
        record->GetTypeAttr(&attr);
        KwCheck::Equal(static_cast<size_t>(attr->cbSizeInstance), r.size, std::string(r.name) + " size");
        int vars = attr->cVars;
        record->ReleaseTypeAttr(attr);
        KwCheck::Equal(vars, static_cast<int>(r.fields.size()), std::string(r.name) + " field count");
        for (int i = 0; i < vars && i < static_cast<int>(r.fields.size()); ++i) {
            VARDESC* v = nullptr;
            record->GetVarDesc(static_cast<UINT>(i), &v);
            std::string name = NameOf(record, v->memid);
            KwCheck::That(name == r.fields[i].name && v->oInst == r.fields[i].offset,
                          std::string(r.name) + "." + r.fields[i].name + " at offset " +
                              std::to_string(r.fields[i].offset),
                          name + " at " + std::to_string(v->oInst));
            record->ReleaseVarDesc(v);
        }
        record->Release();
    }
}

}  // namespace

void KwCheckTypeLibrary()
{
    KwCheck::Case("typelib");
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadRegTypeLib(LIBID_KWFILTER_JPEGLib, 1, 0, 0, &lib);
    if (!KwCheck::That(SUCCEEDED(hr) && lib, "LoadRegTypeLib finds the registered library", KwHex(hr))) return;
    CheckLibrary(lib);
    for (const auto& described : KwLibraryInterfaces()) CheckInterface(lib, described);
    CheckNamedSlots(lib);
    CheckDefaults(lib);
    CheckCoclasses(lib);
    CheckEnumerationsAndRecords(lib);
    lib->Release();
}
