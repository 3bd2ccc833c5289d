// The host's binding to a storage (IKwDataObject): a stream, a structured
// storage that is no stream, or nothing.
#pragma once

#include <string>

#include "com/KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "KwHostObject.h"

// What StorageName answers.
enum class KwHostNameMode {
    Normal, // S_OK and the name
    Fail,   // E_FAIL and no name
    Empty,  // S_OK and a zero-length name
    Null,   // S_OK and a null BSTR
};

class KwHostDataObject : public KwHostImplements<KwHostObject, IKwDataObject> {
public:
    // Bound to `storage` (may be null) under the storage name `name` (UTF-8).
    static HRESULT Create(IUnknown* storage, const std::string& name, KwHostDataObject** out,
                          std::shared_ptr<KwHostContext> context = nullptr) noexcept;

    KW_HOST_IDISPATCH

    HRESULT STDMETHODCALLTYPE AttachToStorage(IUnknown* Storage) noexcept override;
    HRESULT STDMETHODCALLTYPE BindToStorage(BSTR DisplayName, VARIANT_BOOL AllowTempFile) noexcept override;
    HRESULT STDMETHODCALLTYPE ResetStorage() noexcept override;
    HRESULT STDMETHODCALLTYPE get_Storage(IUnknown** Storage) noexcept override;
    HRESULT STDMETHODCALLTYPE get_StorageName(BSTR* StorageName) noexcept override;
    HRESULT STDMETHODCALLTYPE get_TemporaryName(BSTR* TemporaryName) noexcept override;
    HRESULT STDMETHODCALLTYPE get_StorageType(KW_STORAGE_TYPE* StorageType) noexcept override;
    HRESULT STDMETHODCALLTYPE get_StorageScheme(KW_STORAGE_SCHEME* StorageScheme) noexcept override;
    HRESULT STDMETHODCALLTYPE get_FileSize(VARIANT_BOOL HighVal, LONG* Value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_CreationTime(VARIANT_BOOL HighVal, LONG* Value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_LastAccessTime(VARIANT_BOOL HighVal, LONG* Value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_LastWriteTime(VARIANT_BOOL HighVal, LONG* Value) noexcept override;
    HRESULT STDMETHODCALLTYPE BindToStorageWrite(BSTR DisplayName, KW_STORAGE_TYPE eStorageType) noexcept override;

    IUnknown* Storage() const noexcept { return m_Storage.Get(); }
    const std::string& Name() const noexcept { return m_Name; }
    void SetName(const std::string& name) { m_Name = name; }
    void SetNameMode(KwHostNameMode mode) noexcept { m_NameMode = mode; }

protected:
    using KwHostImplements::KwHostImplements;

private:
    HRESULT Bind(BSTR DisplayName, bool write) noexcept;

    KwComPtr<IUnknown> m_Storage;
    std::string m_Name;
    KwHostNameMode m_NameMode = KwHostNameMode::Normal;
    bool m_File = false;
};
