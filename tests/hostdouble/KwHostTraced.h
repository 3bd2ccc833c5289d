// The test build's decorators over the engine's classes, one per interface the
// filter calls: each records the call in the engine's call log (KwHostTrace)
// and applies the switches, then calls the engine's own method. The engine
// makes KwHostMade<Class> (host/private/KwHostHooks.h), which here is the
// class's decorator, so the object a test holds is the traced one.
//
// A decorator checks the arguments the engine checks before a fault may
// strike, so that a call with bad arguments fails as the engine says and is
// not counted for fault injection.
#pragma once

#include <cstring>
#include <utility>

#include "engine/KwHostAttributeCollection.h"
#include "engine/KwHostAttributeFactory.h"
#include "KwHostBody.h"
#include "engine/KwHostDataObject.h"
#include "engine/KwHostDocument.h"
#include "KwHostDoubleContext.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostFileStream.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostNode.h"
#include "engine/KwHostRasterBlock.h"
#include "engine/KwHostStructuredStorage.h"
#include "KwHostTrace.h"

// Where an object sits, as the call log names it ("document", `document/"Contents"/1`).
inline const char* KwHostDefaultLabel(const KwHostDocument*) noexcept { return "document"; }
inline const char* KwHostDefaultLabel(const KwHostNode*) noexcept { return "node"; }
inline const char* KwHostDefaultLabel(const KwHostRasterBlock*) noexcept { return "raster"; }
inline const char* KwHostDefaultLabel(const KwHostAttributeCollection*) noexcept { return "attributes"; }
inline const char* KwHostDefaultLabel(const KwHostAttributeFactory*) noexcept { return "attribute class"; }
inline const char* KwHostDefaultLabel(const KwHostDataObject*) noexcept { return "data object"; }
inline const char* KwHostDefaultLabel(const KwHostStream*) noexcept { return "stream"; }
inline const char* KwHostDefaultLabel(const KwHostEventSink*) noexcept { return "sink"; }
inline const char* KwHostDefaultLabel(const KwHostStructuredStorage*) noexcept { return "storage"; }

// The result a fault or a switch forces on a call of `method`, if any.
inline bool KwHostForced(KwHostObject& object, const char* method, HRESULT* result, bool counted = true) noexcept
{
    return KwHostTrace::Fault(object, method, counted, result);
}

// The attribute members (documents, nodes, raster blocks, collections).
template <class Base> class KwTracedAttributes : public Base {
public:
    HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG* Count) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (!Count) return E_POINTER;
            *Count = 0;
            if (HRESULT forced = S_OK; KwHostForced(*this, "AttributeCount", &forced)) return forced;
            return Base::get_AttributeCount(Count);
        };
        return KwHostTrace::AttributeCount(KwHostBody(body), *this, Count);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE GetAttribute(BSTR Name, VARIANT* Type, VARIANT* Value) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (Type) VariantInit(Type);
            if (!Value) return E_POINTER;
            VariantInit(Value);
            if (HRESULT forced = S_OK; KwHostForced(*this, "GetAttribute", &forced)) return forced;
            return Base::GetAttribute(Name, Type, Value);
        };
        return KwHostTrace::GetAttribute(KwHostBody(body), *this, Name, Type, Value);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR Name, VARIANT Value, LONG Type) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (!KwHostVariant::Keeps(Value.vt)) return DISP_E_BADVARTYPE;
            if (HRESULT forced = S_OK; KwHostForced(*this, "PutAttribute", &forced)) return forced;
            return Base::PutAttribute(Name, Value, Type);
        };
        return KwHostTrace::PutAttribute(KwHostBody(body), *this, Name, Value, Type);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR Name) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "RemoveAttribute", &forced)) return forced;
            return Base::RemoveAttribute(Name);
        };
        return KwHostTrace::RemoveAttribute(KwHostBody(body), *this, Name);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE RemoveAllAttributes() noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "RemoveAllAttributes", &forced)) return forced;
            return Base::RemoveAllAttributes();
        };
        return KwHostTrace::RemoveAllAttributes(KwHostBody(body), *this);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE GetAttributeName(LONG Position, BSTR* Name) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (!Name) return E_POINTER;
            *Name = nullptr;
            if (HRESULT forced = S_OK; KwHostForced(*this, "GetAttributeName", &forced)) return forced;
            return Base::GetAttributeName(Position, Name);
        };
        return KwHostTrace::GetAttributeName(KwHostBody(body), *this, Position, Name);
        KW_HOST_CATCH
    }

protected:
    using Base::Base;
};

// The children members (documents and nodes).
template <class Base> class KwTracedChildren : public Base {
public:
    HRESULT STDMETHODCALLTYPE GetChild(VARIANT Index, VARIANT* Descriptor, VARIANT* ParentIndex,
                                       IDispatch** Child) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (Descriptor) VariantInit(Descriptor);
            if (ParentIndex) VariantInit(ParentIndex);
            if (!Child) return E_POINTER;
            *Child = nullptr;
            if (HRESULT forced = S_OK; KwHostForced(*this, "GetChild", &forced)) return forced;
            return Base::GetChild(Index, Descriptor, ParentIndex, Child);
        };
        return KwHostTrace::GetChild(KwHostBody(body), *this, Index, Descriptor, ParentIndex, Child);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE AddChild(VARIANT Index, IDispatch* Child, VARIANT_BOOL Protected,
                                       VARIANT* Descriptor) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (Descriptor) VariantInit(Descriptor);
            if (HRESULT forced = S_OK; KwHostForced(*this, "AddChild", &forced)) return forced;
            return Base::AddChild(Index, Child, Protected, Descriptor);
        };
        return KwHostTrace::AddChild(KwHostBody(body), *this, Index, Child, Protected, Descriptor);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE CreateChild(VARIANT Index, VARIANT Type, VARIANT_BOOL Protected, VARIANT* Descriptor,
                                          IDispatch** Child) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            LONGLONG type = 0;
            bool typeValid = KwHostVariant::AsInteger(Type, &type);
            if (Descriptor) VariantInit(Descriptor);
            if (!Child) return E_POINTER;
            *Child = nullptr;
            if (HRESULT forced = S_OK; KwHostForced(*this, "CreateChild", &forced)) return forced;
            // The switches refuse an object type only once the arguments are good.
            if (typeValid && Base::ValidIndex(Index))
                if (HRESULT refused = S_OK; KwHostTrace::Refusal(*this, static_cast<LONG>(type), &refused))
                    return refused;
            HRESULT hr = Base::CreateChild(Index, Type, Protected, Descriptor, Child);
            if (SUCCEEDED(hr)) KwHostTrace::Place(*this, Index, *Child);
            return hr;
        };
        return KwHostTrace::CreateChild(KwHostBody(body), *this, Index, Type, Protected, Descriptor, Child);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE RemoveChild(VARIANT Index) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "RemoveChild", &forced)) return forced;
            return Base::RemoveChild(Index);
        };
        return KwHostTrace::RemoveChild(KwHostBody(body), *this, Index);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE RemoveAllChildren() noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "RemoveAllChildren", &forced)) return forced;
            return Base::RemoveAllChildren();
        };
        return KwHostTrace::RemoveAllChildren(KwHostBody(body), *this);
        KW_HOST_CATCH
    }

protected:
    using Base::Base;
};

// IKwRasterBlock.
template <class Base> class KwTracedRaster : public Base {
public:
    HRESULT STDMETHODCALLTYPE EndObject() noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "EndObject", &forced)) return forced;
            return Base::EndObject();
        };
        return KwHostTrace::EndObject(KwHostBody(body), *this);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE CreateRasterStorage(LONG Width, LONG Height, LONG BitsPerPixel, LONG DpiX, LONG DpiY,
                                                  BSTR Compression, LONG NoColors, LONG* ColorTable) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "CreateRasterStorage", &forced)) return forced;
            return Base::CreateRasterStorage(Width, Height, BitsPerPixel, DpiX, DpiY, Compression, NoColors,
                                             ColorTable);
        };
        return KwHostTrace::CreateRasterStorage(KwHostBody(body), *this, Width, Height, BitsPerPixel, DpiX, DpiY,
                                                Compression, NoColors, ColorTable);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE AddScanline1(KW_RASTER_TYPE DataType, LONG StartLine, LONG NoLines, LONG BytesPerLine,
                                           unsigned char* Scanlines) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "AddScanline1", &forced)) return forced;
            return Base::AddScanline1(DataType, StartLine, NoLines, BytesPerLine, Scanlines);
        };
        return KwHostTrace::AddScanline1(KwHostBody(body), *this, DataType, StartLine, NoLines, BytesPerLine);
        KW_HOST_CATCH
    }

protected:
    using Base::Base;
};

// IKwDataObject.
template <class Base> class KwTracedDataObject : public Base {
public:
    HRESULT STDMETHODCALLTYPE AttachToStorage(IUnknown* Storage) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "AttachToStorage", &forced)) return forced;
            return Base::AttachToStorage(Storage);
        };
        return KwHostTrace::AttachToStorage(KwHostBody(body), *this, Storage);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(BSTR DisplayName, VARIANT_BOOL AllowTempFile) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "BindToStorage", &forced)) return forced;
            return Base::BindToStorage(DisplayName, AllowTempFile);
        };
        return KwHostTrace::Bind(KwHostBody(body), *this, DisplayName, "BindToStorage");
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE BindToStorageWrite(BSTR DisplayName, KW_STORAGE_TYPE eStorageType) noexcept override
    {
        // A storage type that is refused outright is no binding to record.
        if (eStorageType != KW_STORAGE_STREAM) return Base::BindToStorageWrite(DisplayName, eStorageType);
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "BindToStorageWrite", &forced)) return forced;
            return Base::BindToStorageWrite(DisplayName, eStorageType);
        };
        return KwHostTrace::Bind(KwHostBody(body), *this, DisplayName, "BindToStorageWrite");
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE ResetStorage() noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT { return Base::ResetStorage(); };
        return KwHostTrace::ResetStorage(KwHostBody(body), *this);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE get_Storage(IUnknown** Storage) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (!Storage) return E_POINTER;
            *Storage = nullptr;
            if (HRESULT forced = S_OK; KwHostForced(*this, "Storage", &forced)) return forced;
            return Base::get_Storage(Storage);
        };
        return KwHostTrace::Storage(KwHostBody(body), *this, Storage);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE get_StorageName(BSTR* StorageName) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (!StorageName) return E_POINTER;
            if (HRESULT forced = S_OK; KwHostForced(*this, "StorageName", &forced)) return forced;
            return Base::get_StorageName(StorageName);
        };
        return KwHostTrace::StorageName(KwHostBody(body), *this, StorageName);
        KW_HOST_CATCH
    }

protected:
    using Base::Base;
};

// IStream: Read and Write may be cut short or fail as the stream's switches say.
template <class Base> class KwTracedStream : public Base {
public:
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept override
    {
        KW_HOST_TRY
        if (pcbRead) *pcbRead = 0;
        ULONG limit = cb; // what this call reads at most
        ULONG done = 0;
        auto body = [&]() -> HRESULT {
            if (!pv && cb != 0) return STG_E_INVALIDPOINTER;
            if (HRESULT forced = S_OK; KwHostForced(*this, "Read", &forced)) return forced;
            return Base::Read(pv, limit, &done);
        };
        HRESULT hr = KwHostTrace::Read(KwHostBody(body), *this, pv, cb, limit, done);
        if (pcbRead) *pcbRead = done;
        return hr;
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept override
    {
        KW_HOST_TRY
        if (pcbWritten) *pcbWritten = 0;
        ULONG accept = cb; // what this call writes at most
        ULONG done = 0;
        auto body = [&]() -> HRESULT {
            if (!pv && cb != 0) return STG_E_INVALIDPOINTER;
            if (HRESULT forced = S_OK; KwHostForced(*this, "Write", &forced)) return forced;
            return Base::Write(pv, accept, &done);
        };
        HRESULT hr = KwHostTrace::Write(KwHostBody(body), *this, pv, cb, accept, done);
        if (pcbWritten) *pcbWritten = done;
        return hr;
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin,
                                   ULARGE_INTEGER* plibNewPosition) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "Seek", &forced)) return forced;
            return Base::Seek(dlibMove, dwOrigin, plibNewPosition);
        };
        return KwHostTrace::Seek(KwHostBody(body), *this, dlibMove, dwOrigin);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER libNewSize) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (HRESULT forced = S_OK; KwHostForced(*this, "SetSize", &forced)) return forced;
            return Base::SetSize(libNewSize);
        };
        return KwHostTrace::SetSize(KwHostBody(body), *this, libNewSize);
        KW_HOST_CATCH
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* pstatstg, DWORD grfStatFlag) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT {
            if (!pstatstg) return STG_E_INVALIDPOINTER;
            std::memset(pstatstg, 0, sizeof *pstatstg);
            if (HRESULT forced = S_OK; KwHostForced(*this, "Stat", &forced)) return forced;
            return Base::Stat(pstatstg, grfStatFlag);
        };
        return KwHostTrace::Stat(KwHostBody(body), *this, pstatstg, grfStatFlag);
        KW_HOST_CATCH
    }

protected:
    using Base::Base;
};

// _IKwFilterEvents.
template <class Base> class KwTracedSink : public Base {
public:
    HRESULT STDMETHODCALLTYPE Progress(LONG Progress, VARIANT_BOOL* Abort) noexcept override
    {
        KW_HOST_TRY
        auto body = [&]() -> HRESULT { return Base::Progress(Progress, Abort); };
        return KwHostTrace::Progress(KwHostBody(body), *this, Progress, Abort);
        KW_HOST_CATCH
    }

protected:
    using Base::Base;
};

// The attribute class object: its CreateInstance may be made to fail (not counted, not recorded).
template <class Base> class KwTracedFactory : public Base {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) noexcept override
    {
        if (!ppvObject) return E_POINTER;
        *ppvObject = nullptr;
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        if (HRESULT forced = S_OK; KwHostForced(*this, "CreateInstance", &forced, false)) return forced;
        return Base::CreateInstance(pUnkOuter, riid, ppvObject);
    }

protected:
    using Base::Base;
};

// The object as the test build makes it: named for the call log, QueryInterface
// may leave interfaces out, and what the double kept of the object goes with it.
template <class Base> class KwTraced final : public Base, public KwHostLabelled {
public:
    template <class... Args>
    explicit KwTraced(Args&&... args)
        : Base(std::forward<Args>(args)...), KwHostLabelled(KwHostDefaultLabel(static_cast<Base*>(this)))
    {
    }
    ~KwTraced() override { KwHostTrace::Gone(*this); }

    void* InterfaceFor(REFIID riid) noexcept override
    {
        void* found = Base::InterfaceFor(riid);
        if (found && KwHostTrace::Omits(*this, riid)) return nullptr;
        return found;
    }
};

// What the engine makes of each class in the test build; a class without an
// entry here does not compile into it.
template <class T> struct KwHostDoubleOf;
template <> struct KwHostDoubleOf<KwHostContext> {
    typedef KwHostDoubleContext Type;
};
template <> struct KwHostDoubleOf<KwHostDocument> {
    typedef KwTraced<KwTracedChildren<KwTracedAttributes<KwHostDocument>>> Type;
};
template <> struct KwHostDoubleOf<KwHostNode> {
    typedef KwTraced<KwTracedChildren<KwTracedAttributes<KwHostNode>>> Type;
};
template <> struct KwHostDoubleOf<KwHostRasterBlock> {
    typedef KwTraced<KwTracedRaster<KwTracedAttributes<KwHostRasterBlock>>> Type;
};
template <> struct KwHostDoubleOf<KwHostAttributeCollection> {
    typedef KwTraced<KwTracedAttributes<KwHostAttributeCollection>> Type;
};
template <> struct KwHostDoubleOf<KwHostDataObject> {
    typedef KwTraced<KwTracedDataObject<KwHostDataObject>> Type;
};
template <> struct KwHostDoubleOf<KwHostMemoryStream> {
    typedef KwTraced<KwTracedStream<KwHostMemoryStream>> Type;
};
template <> struct KwHostDoubleOf<KwHostFileStream> {
    typedef KwTraced<KwTracedStream<KwHostFileStream>> Type;
};
template <> struct KwHostDoubleOf<KwHostEventSink> {
    typedef KwTraced<KwTracedSink<KwHostEventSink>> Type;
};
template <> struct KwHostDoubleOf<KwHostAttributeFactory> {
    typedef KwTraced<KwTracedFactory<KwHostAttributeFactory>> Type;
};
template <> struct KwHostDoubleOf<KwHostStructuredStorage> {
    typedef KwTraced<KwHostStructuredStorage> Type;
};
