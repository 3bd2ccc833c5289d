// The reference host engine: it owns what its objects share (the pixel limit,
// the row sink), makes documents, data objects and streams, and makes the
// attribute collection class "VelEngine.KwAttribute" reachable while started.
#pragma once

#include <memory>
#include <string>

#include "com/KwComPtr.h"
#include "KwHostContext.h"
#include "KwHostFileStream.h"

class KwHostAttributeCollection;
class KwHostDataObject;
class KwHostDocument;
class KwHostMemoryStream;

class KwHostEngine {
public:
    // Throws std::bad_alloc.
    KwHostEngine();
    ~KwHostEngine();
    KwHostEngine(const KwHostEngine&) = delete;
    KwHostEngine& operator=(const KwHostEngine&) = delete;

    // Registers the class object of "VelEngine.KwAttribute" in the process
    // (CoRegisterClassObject) and its ProgID as volatile keys
    // HKCR\VelEngine.KwAttribute\CLSID. S_FALSE when started already. COM
    // serves the class to the apartment of the calling thread only: a host that
    // loads on several single-threaded apartments starts an engine in each.
    HRESULT Start() noexcept;
    // Revokes the class object and removes the keys that Start created.
    void Stop() noexcept;
    bool Started() const noexcept { return m_Cookie != 0; }

    // Raster storage of more pixels than this is refused with E_OUTOFMEMORY
    // (default 1 << 28, 16384 x 16384). Applies to storage created afterwards.
    void SetMaxRasterPixels(ULONGLONG pixels) noexcept { m_Context->SetMaxRasterPixels(pixels); }
    ULONGLONG MaxRasterPixels() const noexcept { return m_Context->MaxRasterPixels(); }
    // Where the rows of raster blocks given storage afterwards go instead of being
    // kept (see KwHostRowSink); null: blocks keep the image.
    void SetRowSink(std::shared_ptr<KwHostRowSink> sink) noexcept { m_Context->SetRowSink(std::move(sink)); }
    const std::shared_ptr<KwHostContext>& Context() const noexcept { return m_Context; }

    HRESULT CreateDocument(KwHostDocument** out) noexcept;
    HRESULT CreateMemoryStream(const void* data, size_t size, KwHostMemoryStream** out) noexcept;
    HRESULT OpenFileStream(const std::string& path, KwHostFileMode mode, KwHostFileStream** out) noexcept;
    // A data object bound to `storage` (may be null) under the storage name `name` (UTF-8).
    HRESULT CreateDataObject(IUnknown* storage, const std::string& name, KwHostDataObject** out) noexcept;
    HRESULT CreateAttributeCollection(KwHostAttributeCollection** out) noexcept;

    static const CLSID& AttributeClassId() noexcept;
    static const char* AttributeProgId() noexcept { return "VelEngine.KwAttribute"; }

private:
    std::shared_ptr<KwHostContext> m_Context;
    DWORD m_Cookie = 0;
    bool m_CreatedKey = false;
};
