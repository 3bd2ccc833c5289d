// The host example for Windows, as a Windows host developer writes it: only the
// system headers and the header generated from the filter's IDL
// (KwFilter_JPEG.h, with the GUIDs in KwFilter_JPEG_i.c), which declares the
// host's node interfaces as well. Without a host engine to build on, the
// program brings its own small host objects: a data object over a stream on the
// file's bytes, a document whose nodes keep attributes and children, the
// attribute class "VelEngine.KwAttribute" that the filter creates for EXIF
// values, a raster block that counts rows, and a progress sink.
//
//   host_example_win PHOTO.jpg     the same output as host_example on Linux;
//                                  exit status 0 loaded, 1 not loaded, 2 usage
//
// Register the filter first: regsvr32 KwFilter_JPEG.dll
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "KwFilter_JPEG.h"

// The filter reaches the host's node interfaces (IKwContents, IKwContainer,
// IKwChildren, IKwRasterBlock, IKwAttribute) through QueryInterface on the
// host's objects; they belong to the host engine, not to the filter's type
// library, and the generated header declares them too. Contents and container
// nodes have the layout of IKwDocument's slots 7 to 26, so a node object
// answers their IIDs with its IKwDocument table.

// This host's attribute class, reachable by the ProgID "VelEngine.KwAttribute".
static const CLSID CLSID_ExampleAttributes = {0x3D1F6A52, 0x8C4E, 0x4B7A, {0x9E, 0x21, 0x5A, 0x0C, 0x77, 0x3B, 0xD2, 0x94}};

#include "../HostReport.h"

namespace {

// IDispatch for objects that the filter calls only through their vtables.
#define NO_DISPATCH                                                                                                    \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }                                  \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }                     \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }    \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override   \
    {                                                                                                                  \
        return E_NOTIMPL;                                                                                              \
    }

// Reference counting shared by the host's objects (one apartment: plain counts).
#define COUNTED                                                                                                        \
    ULONG m_Refs = 1;                                                                                                  \
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_Refs; }                                                     \
    ULONG STDMETHODCALLTYPE Release() override                                                                         \
    {                                                                                                                  \
        ULONG left = --m_Refs;                                                                                         \
        if (left == 0) delete this;                                                                                    \
        return left;                                                                                                   \
    }

template <typename T> HRESULT Hand(T* object, void** out)
{
    *out = object;
    object->AddRef();
    return S_OK;
}

// The raster block: it keeps no pixels, it counts what arrives.
class RasterBlock final : public IKwRasterBlock {
public:
    LONG width = 0, height = 0, bitsPerPixel = 0, rows = 0;

    COUNTED
    NO_DISPATCH
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IKwRasterBlock) return Hand(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG w, LONG h, LONG bpp, LONG, LONG, BSTR, LONG, LONG*) override
    {
        if (w <= 0 || h <= 0) return E_INVALIDARG;
        width = w;
        height = h;
        bitsPerPixel = bpp;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE, LONG start, LONG count, LONG, unsigned char* lines) override
    {
        if (!lines || start != rows || count < 0 || count > height - rows) return E_INVALIDARG; // top-down, each once
        rows += count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EndObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_BlockType(LONG* type) override { return type ? (*type = KW_RASTER_BLOCK, S_OK) : E_POINTER; }
    // Not needed by a load.
    HRESULT STDMETHODCALLTYPE get_Attributes(IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ProtectAttributes(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ProtectAttributes(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttribute(BSTR, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveAllAttributes() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddScanline2(KW_RASTER_TYPE, LONG, LONG, LONG*, LONG, unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRasterInfo(LONG*, LONG*, LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScanline(LONG, LONG, unsigned char*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetColorTable(LONG, LONG*, LONG*) override { return E_NOTIMPL; }

private:
    ~RasterBlock() = default;
};

RasterBlock* g_raster = nullptr; // the last raster block made, for the report

// A document, a node ("Contents" or a container) or an attribute collection:
// ordered attributes, and children found by their index (a name or a number).
// IKwDocument, IKwChildren and IKwAttribute share their members' implementations.
class Node final : public IKwDocument, public IKwChildren, public IKwAttribute {
public:
    explicit Node(LONG type) : m_Type(type) {}

    COUNTED
    NO_DISPATCH
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        bool document = m_Type == KW_DOCUMENT, contents = m_Type == KW_CONTENTS, container = m_Type == KW_CONTAINER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IKwAttribute)
            return Hand(static_cast<IKwAttribute*>(this), out);
        if ((riid == IID_IKwDocument && document) || (riid == IID_IKwContents && contents) ||
            (riid == IID_IKwContainer && container))
            return Hand(static_cast<IKwDocument*>(this), out);
        if (riid == IID_IKwChildren && (document || contents || container))
            return Hand(static_cast<IKwChildren*>(this), out);
        return E_NOINTERFACE;
    }

    // Attributes, in the order they were first put.
    HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG* count) override
    {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(m_Attributes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeName(LONG position, BSTR* name) override
    {
        if (!name) return E_POINTER;
        if (position < 0 || static_cast<size_t>(position) >= m_Attributes.size()) return E_INVALIDARG;
        *name = SysAllocString(m_Attributes[position].first.c_str());
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetAttribute(BSTR name, VARIANT* type, VARIANT* value) override
    {
        if (!value) return E_POINTER;
        VariantInit(value);
        if (type) VariantInit(type);
        for (auto& a : m_Attributes)
            if (a.first == Text(name)) return VariantCopy(value, &a.second);
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR name, VARIANT value, LONG) override
    {
        for (auto& a : m_Attributes)
            if (a.first == Text(name)) return VariantCopy(&a.second, &value);
        m_Attributes.emplace_back(Text(name), VARIANT());
        VariantInit(&m_Attributes.back().second);
        return VariantCopy(&m_Attributes.back().second, &value);
    }
    HRESULT STDMETHODCALLTYPE RemoveAllAttributes() override
    {
        for (auto& a : m_Attributes) VariantClear(&a.second);
        m_Attributes.clear();
        return S_OK;
    }

    // Children.
    HRESULT STDMETHODCALLTYPE GetChild(VARIANT index, VARIANT*, VARIANT*, IDispatch** child) override
    {
        if (!child) return E_POINTER;
        *child = nullptr;
        for (auto& c : m_Children)
            if (c.first == Key(index)) return c.second->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(child));
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE CreateChild(VARIANT index, VARIANT type, VARIANT_BOOL, VARIANT* descriptor,
                                          IDispatch** child) override
    {
        if (!child) return E_POINTER;
        *child = nullptr;
        if (descriptor) VariantInit(descriptor);
        VARIANT kind;
        VariantInit(&kind);
        if (FAILED(VariantChangeType(&kind, &type, 0, VT_I4))) return E_INVALIDARG;
        IUnknown* made = nullptr;
        if (kind.lVal == KW_CONTENTS || kind.lVal == KW_CONTAINER) {
            made = static_cast<IKwDocument*>(new Node(kind.lVal));
        } else if (kind.lVal == KW_RASTER_BLOCK) {
            RasterBlock* raster = new RasterBlock();
            if (g_raster) g_raster->Release();
            g_raster = raster;
            raster->AddRef();
            made = raster;
        } else {
            return E_INVALIDARG;
        }
        m_Children.emplace_back(Key(index), made); // the node keeps the creation reference
        return made->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(child));
    }
    HRESULT STDMETHODCALLTYPE RemoveAllChildren() override
    {
        for (auto& c : m_Children) c.second->Release();
        m_Children.clear();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ChildCount(LONG* count) override
    {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(m_Children.size());
        return S_OK;
    }

    // Not needed by a load.
    HRESULT STDMETHODCALLTYPE get_Attributes(IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ProtectAttributes(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ProtectAttributes(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get__EnumChildren(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddChild(VARIANT, IDispatch*, VARIANT_BOOL, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveChild(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChildIndex(LONG, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ProtectChildren(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ProtectChildren(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Parents(IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ParentCount(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(LONG, VARIANT*, VARIANT*, IDispatch**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LoadDocument(VARIANT*, IDispatch*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveDocument(VARIANT*, IDispatch*, IDispatch*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Open(VARIANT*, IDispatch*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReleaseDoc() override { return E_NOTIMPL; }

private:
    ~Node()
    {
        RemoveAllAttributes();
        RemoveAllChildren();
    }
    static std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }
    // A child's index as text: "s:name" or "n:number".
    static std::wstring Key(const VARIANT& index)
    {
        if (index.vt == VT_BSTR) return L"s:" + Text(index.bstrVal);
        VARIANT number;
        VariantInit(&number);
        if (SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT*>(&index), 0, VT_I4)))
            return L"n:" + std::to_wstring(number.lVal);
        return L"?";
    }

    LONG m_Type;
    std::vector<std::pair<std::wstring, VARIANT>> m_Attributes;
    std::vector<std::pair<std::wstring, IUnknown*>> m_Children;
};

// The class object of the attribute class: each instance is a fresh collection.
class AttributeFactory final : public IClassFactory {
public:
    COUNTED
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) return Hand(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Node* collection = new Node(KW_COLLECTION);
        HRESULT hr = static_cast<IKwAttribute*>(collection)->QueryInterface(riid, out);
        static_cast<IKwAttribute*>(collection)->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The data object: the filter asks it for the storage (an IStream) and its name.
class DataObject final : public IKwDataObject {
public:
    DataObject(IStream* stream, const std::wstring& name) : m_Stream(stream), m_Name(name) { m_Stream->AddRef(); }

    COUNTED
    NO_DISPATCH
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IKwDataObject) return Hand(this, out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE get_Storage(IUnknown** storage) override
    {
        if (!storage) return E_POINTER;
        return m_Stream->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(storage));
    }
    HRESULT STDMETHODCALLTYPE get_StorageName(BSTR* name) override
    {
        if (!name) return E_POINTER;
        *name = SysAllocString(m_Name.c_str());
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    // Not needed by a load.
    HRESULT STDMETHODCALLTYPE AttachToStorage(IUnknown*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToStorage(BSTR, VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ResetStorage() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_TemporaryName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_StorageType(KW_STORAGE_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_StorageScheme(KW_STORAGE_SCHEME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FileSize(VARIANT_BOOL, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CreationTime(VARIANT_BOOL, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastAccessTime(VARIANT_BOOL, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastWriteTime(VARIANT_BOOL, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToStorageWrite(BSTR, KW_STORAGE_TYPE) override { return E_NOTIMPL; }

private:
    ~DataObject() { m_Stream->Release(); }
    IStream* m_Stream;
    std::wstring m_Name;
};

// The progress sink, as on Linux.
class ProgressSink final : public _IKwFilterEvents {
public:
    LONG events = 0;
    LONG last = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID__IKwFilterEvents) return E_NOINTERFACE;
        return Hand(static_cast<_IKwFilterEvents*>(this), out);
    }
    // Lives on main's stack, longer than any connection: no counting needed.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Progress(LONG progress, VARIANT_BOOL* abort) override
    {
        ++events;
        last = progress;
        if (abort) *abort = VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FontPath(BSTR*, LONG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE XrefPath(BSTR*, LONG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE XrefPathEx(BSTR*, BSTR, LONG*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Password(BSTR*) override { return S_OK; }
};

// A stream over the file's bytes (the system's memory stream).
HRESULT OpenStream(const char* path, IStream** stream)
{
    FILE* file = std::fopen(path, "rb");
    if (!file) return STG_E_FILENOTFOUND;
    std::vector<char> bytes;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size() ? bytes.size() : 1);
    if (!memory) return E_OUTOFMEMORY;
    if (!bytes.empty()) {
        std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
        GlobalUnlock(memory);
    }
    HRESULT hr = CreateStreamOnHGlobal(memory, TRUE, stream);
    if (FAILED(hr)) {
        GlobalFree(memory);
        return hr;
    }
    ULARGE_INTEGER size;
    size.QuadPart = bytes.size();
    return (*stream)->SetSize(size);
}

// Makes "VelEngine.KwAttribute" reachable while the program runs: the class
// object in this process, the ProgID in the registry (per user if the
// machine-wide classes are not writable).
HRESULT RegisterAttributeClass(IClassFactory* factory, DWORD* cookie, HKEY* root)
{
    HRESULT hr = CoRegisterClassObject(CLSID_ExampleAttributes, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, cookie);
    if (FAILED(hr)) return hr;
    wchar_t clsid[40];
    StringFromGUID2(CLSID_ExampleAttributes, clsid, 40);
    const struct { HKEY root; const wchar_t* key; } places[] = {
        {HKEY_CLASSES_ROOT, L"VelEngine.KwAttribute\\CLSID"},
        {HKEY_CURRENT_USER, L"Software\\Classes\\VelEngine.KwAttribute\\CLSID"},
    };
    for (const auto& place : places) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(place.root, place.key, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            continue;
        LSTATUS status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid),
                                        static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        if (status == ERROR_SUCCESS) {
            *root = place.root;
            return S_OK;
        }
    }
    CoRevokeClassObject(*cookie);
    return E_ACCESSDENIED;
}

void UnregisterAttributeClass(DWORD cookie, HKEY root)
{
    CoRevokeClassObject(cookie);
    const wchar_t* key = root == HKEY_CLASSES_ROOT ? L"VelEngine.KwAttribute" : L"Software\\Classes\\VelEngine.KwAttribute";
    RegDeleteTreeW(root, key);
}

int Load(const char* path)
{
    AttributeFactory* factory = new AttributeFactory();
    DWORD cookie = 0;
    HKEY root = nullptr;
    HRESULT hr = RegisterAttributeClass(factory, &cookie, &root);
    factory->Release();
    if (FAILED(hr)) return 1;

    // The filter, found by its ProgID in the registry and created through COM.
    CLSID clsid;
    IKwFilter* filter = nullptr;
    hr = CLSIDFromProgID(L"KwFilter_JPEG.KwFilterJPEG", &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IKwFilter, reinterpret_cast<void**>(&filter));
    if (FAILED(hr)) {
        std::fprintf(stderr, "host_example: the JPEG filter is not registered or cannot be created (0x%08X)\n",
                     static_cast<unsigned>(hr));
        UnregisterAttributeClass(cookie, root);
        return 1;
    }

    // The progress sink, connected through the filter's connection point.
    ProgressSink sink;
    IConnectionPointContainer* points = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD adviseCookie = 0;
    if (SUCCEEDED(filter->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))))
        points->FindConnectionPoint(IID__IKwFilterEvents, &point);
    if (point) point->Advise(&sink, &adviseCookie);

    // The storage and an empty document; then OpenDocument and GetNode.
    IStream* stream = nullptr;
    DataObject* data = nullptr;
    Node* document = nullptr;
    IDispatch* node = nullptr;
    hr = OpenStream(path, &stream);
    if (SUCCEEDED(hr)) {
        int wide = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
        std::wstring name(wide > 0 ? wide - 1 : 0, L'\0');
        if (wide > 1) MultiByteToWideChar(CP_ACP, 0, path, -1, &name[0], wide);
        data = new DataObject(stream, name);
        document = new Node(KW_DOCUMENT);
        hr = filter->OpenDocument(data, document, nullptr);
    }
    if (SUCCEEDED(hr)) {
        VARIANT nodeSpec;
        VariantInit(&nodeSpec);
        hr = filter->GetNode(nodeSpec, VARIANT_TRUE, &node);
    }
    if (point) point->Unadvise(adviseCookie);

    LONG width = 0, height = 0, bitsPerPixel = 0, rows = 0;
    if (g_raster) {
        width = g_raster->width;
        height = g_raster->height;
        bitsPerPixel = g_raster->bitsPerPixel;
        rows = g_raster->rows;
    }
    bool loaded = SUCCEEDED(hr) && height > 0 && rows == height;
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    std::printf("%s\n", base);
    std::printf("  %-10s %s (0x%08X)\n", "load", loaded ? "loaded" : "failed", static_cast<unsigned>(hr));
    std::printf("  %-10s %d x %d, %d bits per pixel\n", "size", static_cast<int>(width),
                static_cast<int>(height), static_cast<int>(bitsPerPixel));
    std::printf("  %-10s %d counted, %d progress events (last %d)\n", "rows", static_cast<int>(rows),
                static_cast<int>(sink.events), static_cast<int>(sink.last));
    if (document) {
        PrintAttributes("document", static_cast<IKwDocument*>(document));
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        name.bstrVal = SysAllocString(L"Contents");
        IDispatch* contents = nullptr;
        document->GetChild(name, nullptr, nullptr, &contents);
        VariantClear(&name);
        PrintAttributes("contents", contents);
        if (contents) contents->Release();
    }
    PrintAttributes("node 1", node);

    // Clean shutdown: every reference goes before the class is revoked and COM ends.
    if (node) node->Release();
    if (document) static_cast<IKwDocument*>(document)->Release();
    if (data) data->Release();
    if (stream) stream->Release();
    if (point) point->Release();
    if (points) points->Release();
    filter->Release();
    if (g_raster) g_raster->Release();
    g_raster = nullptr;
    UnregisterAttributeClass(cookie, root);
    return loaded ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: host_example_win PHOTO.jpg\n");
        return 2;
    }
    if (FAILED(CoInitialize(nullptr))) return 1;
    int status = Load(argv[1]);
    CoFreeUnusedLibraries();
    CoUninitialize();
    return status;
}
