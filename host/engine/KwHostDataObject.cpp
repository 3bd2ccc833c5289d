#include "KwHostDataObject.h"

#include "com/KwAutomation.h"
#include "KwHostContext.h"
#include "private/KwHostHooks.h"
#include "KwHostFileStream.h"
#include "KwHostVariant.h"

HRESULT KwHostDataObject::Create(IUnknown* storage, const std::string& name, KwHostDataObject** out,
                                 std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    KwHostDataObject* object = new KwHostMade<KwHostDataObject>(KwHostContext::Ensure(std::move(context)), KW_DATA_OBJECT);
    try {
        object->m_Name = name;
    } catch (...) {
        object->Release();
        throw;
    }
    object->m_Storage = KwComPtr<IUnknown>(storage);
    *out = object;
    return S_OK;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::AttachToStorage(IUnknown* Storage) noexcept
{
    m_Storage = KwComPtr<IUnknown>(Storage);
    m_File = false;
    return S_OK;
}

HRESULT KwHostDataObject::Bind(BSTR DisplayName, bool write) noexcept
{
    KW_HOST_TRY
    std::string path = KwNarrow(DisplayName);
    if (path.empty()) return E_INVALIDARG;
    KwComPtr<KwHostFileStream> stream;
    HRESULT hr = KwHostFileStream::Open(path, write ? KwHostFileMode::Write : KwHostFileMode::Read,
                                        stream.Receive(), SharedContext());
    if (SUCCEEDED(hr)) {
        m_Storage = KwComPtr<IUnknown>(static_cast<IStream*>(stream.Get()));
        m_Name = path;
        m_File = true;
    }
    return hr;
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::BindToStorage(BSTR DisplayName, VARIANT_BOOL) noexcept
{
    return Bind(DisplayName, false);
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::BindToStorageWrite(BSTR DisplayName, KW_STORAGE_TYPE eStorageType) noexcept
{
    // Only byte streams are written; compound storage is not offered.
    if (eStorageType != KW_STORAGE_STREAM) return E_NOTIMPL;
    return Bind(DisplayName, true);
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::ResetStorage() noexcept
{
    m_Storage.Reset();
    m_File = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_Storage(IUnknown** Storage) noexcept
{
    if (!Storage) return E_POINTER;
    *Storage = nullptr;
    if (!m_Storage) return E_FAIL;
    *Storage = m_Storage.Get();
    (*Storage)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_StorageName(BSTR* StorageName) noexcept
{
    if (!StorageName) return E_POINTER;
    switch (m_NameMode) {
    case KwHostNameMode::Fail: return E_FAIL;
    case KwHostNameMode::Null:
        *StorageName = nullptr;
        return S_OK;
    case KwHostNameMode::Empty:
        *StorageName = SysAllocStringLen(nullptr, 0);
        return *StorageName ? S_OK : E_OUTOFMEMORY;
    case KwHostNameMode::Normal: break;
    }
    KwBstr name = KwBstr::FromNarrow(m_Name.c_str(), CP_UTF8);
    if (!name.Ok()) return E_OUTOFMEMORY;
    *StorageName = name.Detach();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_TemporaryName(BSTR* TemporaryName) noexcept
{
    if (TemporaryName) *TemporaryName = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_StorageType(KW_STORAGE_TYPE* StorageType) noexcept
{
    if (!StorageType) return E_POINTER;
    KwComPtr<IStream> stream;
    if (!m_Storage)
        *StorageType = KW_STORAGE_NONE;
    else if (SUCCEEDED(KwQuery(m_Storage.Get(), stream.Receive())))
        *StorageType = KW_STORAGE_STREAM;
    else
        *StorageType = KW_STORAGE_STRUCTURED;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_StorageScheme(KW_STORAGE_SCHEME* StorageScheme) noexcept
{
    if (!StorageScheme) return E_POINTER;
    *StorageScheme = m_File ? KW_STORAGE_SCHEME_FILE : KW_STORAGE_SCHEME_UNKNOWN;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_FileSize(VARIANT_BOOL HighVal, LONG* Value) noexcept
{
    if (!Value) return E_POINTER;
    *Value = 0;
    KwComPtr<IStream> stream;
    if (FAILED(KwQuery(m_Storage.Get(), stream.Receive()))) return E_FAIL;
    STATSTG stat;
    HRESULT hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    ULONGLONG size = stat.cbSize.QuadPart;
    *Value = static_cast<LONG>(static_cast<DWORD>(HighVal ? size >> 32 : size & 0xFFFFFFFFu));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_CreationTime(VARIANT_BOOL, LONG* Value) noexcept
{
    if (Value) *Value = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_LastAccessTime(VARIANT_BOOL, LONG* Value) noexcept
{
    if (Value) *Value = 0;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_LastWriteTime(VARIANT_BOOL, LONG* Value) noexcept
{
    if (Value) *Value = 0;
    return E_NOTIMPL;
}
