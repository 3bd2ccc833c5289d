// What the test build's decorators (KwHostTraced.h) do around each call: record
// it (object label, method, arguments, result and a readable line) in the
// engine's call log and apply the switches around the engine's own method.
#pragma once

#include <memory>
#include <string>

#include "KwHostBody.h"
#include "engine/KwHostObject.h"

class KwHostContext;
class KwHostDataObject;
class KwHostStream;

// The name the call log gives an object of the test build.
class KwHostLabelled {
public:
    explicit KwHostLabelled(std::string label) : m_Label(std::move(label)) {}
    virtual ~KwHostLabelled() = default;
    const std::string& Label() const noexcept { return m_Label; }
    void SetLabel(std::string label) noexcept { m_Label.swap(label); }

private:
    std::string m_Label;
};

class KwHostTrace {
public:
    // Attributes (documents, nodes, raster blocks, collections).
    static HRESULT AttributeCount(const KwHostBody& body, KwHostObject& object, LONG* Count);
    static HRESULT GetAttribute(const KwHostBody& body, KwHostObject& object, BSTR Name, VARIANT* Type,
                                VARIANT* Value);
    static HRESULT PutAttribute(const KwHostBody& body, KwHostObject& object, BSTR Name, const VARIANT& Value,
                                LONG Type);
    static HRESULT RemoveAttribute(const KwHostBody& body, KwHostObject& object, BSTR Name);
    static HRESULT RemoveAllAttributes(const KwHostBody& body, KwHostObject& object);
    static HRESULT GetAttributeName(const KwHostBody& body, KwHostObject& object, LONG Position, BSTR* Name);
    // Children (documents and nodes).
    static HRESULT GetChild(const KwHostBody& body, KwHostObject& object, const VARIANT& Index, VARIANT* Descriptor,
                            VARIANT* ParentIndex, IDispatch** Child);
    static HRESULT AddChild(const KwHostBody& body, KwHostObject& object, const VARIANT& Index, IDispatch* Child,
                            VARIANT_BOOL Protected, VARIANT* Descriptor);
    static HRESULT CreateChild(const KwHostBody& body, KwHostObject& object, const VARIANT& Index,
                               const VARIANT& Type, VARIANT_BOOL Protected, VARIANT* Descriptor, IDispatch** Child);
    static HRESULT RemoveChild(const KwHostBody& body, KwHostObject& object, const VARIANT& Index);
    static HRESULT RemoveAllChildren(const KwHostBody& body, KwHostObject& object);
    // Data objects.
    static HRESULT AttachToStorage(const KwHostBody& body, KwHostObject& object, IUnknown* Storage);
    static HRESULT Bind(const KwHostBody& body, KwHostObject& object, BSTR DisplayName, const char* method);
    static HRESULT ResetStorage(const KwHostBody& body, KwHostObject& object);
    static HRESULT Storage(const KwHostBody& body, KwHostDataObject& object, IUnknown** Storage);
    static HRESULT StorageName(const KwHostBody& body, KwHostObject& object, BSTR* StorageName);
    // Raster blocks.
    static HRESULT EndObject(const KwHostBody& body, KwHostObject& object);
    static HRESULT CreateRasterStorage(const KwHostBody& body, KwHostObject& object, LONG Width, LONG Height,
                                       LONG BitsPerPixel, LONG DpiX, LONG DpiY, BSTR Compression, LONG NoColors,
                                       LONG* ColorTable);
    static HRESULT AddScanline1(const KwHostBody& body, KwHostObject& object, LONG DataType, LONG StartLine,
                                LONG NoLines, LONG BytesPerLine);
    // Event sinks.
    static HRESULT Progress(const KwHostBody& body, KwHostObject& object, LONG Progress, VARIANT_BOOL* Abort);
    // Streams: Read and Write may lower what the call reads or writes at most.
    static HRESULT Read(const KwHostBody& body, KwHostStream& stream, const void* pv, ULONG cb, ULONG& limit,
                        ULONG& done);
    static HRESULT Write(const KwHostBody& body, KwHostStream& stream, const void* pv, ULONG cb, ULONG& accept,
                         ULONG& done);
    static HRESULT Seek(const KwHostBody& body, KwHostStream& stream, LARGE_INTEGER dlibMove, DWORD dwOrigin);
    static HRESULT SetSize(const KwHostBody& body, KwHostStream& stream, ULARGE_INTEGER libNewSize);
    static HRESULT Stat(const KwHostBody& body, KwHostStream& stream, STATSTG* pstatstg, DWORD grfStatFlag);

    // True, with the result to return, when the call of `method` is to fail:
    // injected (counted calls only) or forced by a switch.
    static bool Fault(KwHostObject& object, const char* method, bool counted, HRESULT* result) noexcept;
    // True, with CreateChild's result, when the switches refuse children of this type.
    static bool Refusal(KwHostObject& object, LONG objectType, HRESULT* result) noexcept;
    static bool Omits(KwHostObject& object, REFIID riid) noexcept;
    // The object's name in the call log (empty for an object the test build did not make).
    static const std::string& Label(const KwHostObject& object) noexcept;
    // Names a child that CreateChild made after its parent and index.
    static void Place(const KwHostObject& parent, const VARIANT& index, IDispatch* child) noexcept;
    static bool HidesAttributeClass(KwHostContext& context) noexcept;
    static void Gone(KwHostObject& object) noexcept;
};
