#include "KwHostDataObject.h"

#include "KwAutomation.h"
#include "KwHostContext.h"
#include "KwHostFileStream.h"
#include "KwHostVariant.h"

HRESULT KwHostDataObject::Create(IUnknown* storage, const std::string& name, KwHostDataObject** out,
                                 std::shared_ptr<KwHostContext> context) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    KW_HOST_TRY
    auto* object = new KwHostDataObject(KwHostContext::Ensure(std::move(context)), "data object", KW_DATA_OBJECT);
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

void* KwHostDataObject::FindInterface(REFIID riid) noexcept
{
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IKwDataObject))
        return static_cast<IKwDataObject*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::AttachToStorage(IUnknown* Storage) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "AttachToStorage"};
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, "", hr);
    m_Storage = KwComPtr<IUnknown>(Storage);
    m_File = false;
    return Context().Record(call, Storage ? "storage" : "null", S_OK);
    KW_HOST_CATCH
}

HRESULT KwHostDataObject::Bind(BSTR DisplayName, bool write, const char* method) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), method};
    call.name = KwNarrow(DisplayName);
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, call.name, hr);
    if (call.name.empty()) return Context().Record(call, call.name, E_INVALIDARG);
    KwComPtr<KwHostFileStream> stream;
    hr = KwHostFileStream::Open(call.name, write ? KwHostFileMode::Write : KwHostFileMode::Read, stream.Receive(),
                                SharedContext());
    if (SUCCEEDED(hr)) {
        m_Storage = KwComPtr<IUnknown>(static_cast<IStream*>(stream.Get()));
        m_Name = call.name;
        m_File = true;
    }
    std::string details = call.name;
    return Context().Record(call, details, hr);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::BindToStorage(BSTR DisplayName, VARIANT_BOOL) noexcept
{
    return Bind(DisplayName, false, "BindToStorage");
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::BindToStorageWrite(BSTR DisplayName, KW_STORAGE_TYPE eStorageType) noexcept
{
    // Only byte streams are written; compound storage is not offered.
    if (eStorageType != KW_STORAGE_STREAM) return E_NOTIMPL;
    return Bind(DisplayName, true, "BindToStorageWrite");
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::ResetStorage() noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "ResetStorage"};
    m_Storage.Reset();
    m_File = false;
    return Context().Record(call, "", S_OK);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_Storage(IUnknown** Storage) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "Storage"};
    if (!Storage) return Context().Record(call, "", E_POINTER);
    *Storage = nullptr;
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, "", hr);
    if (!m_Storage) return Context().Record(call, "none", E_FAIL);
    *Storage = m_Storage.Get();
    (*Storage)->AddRef();
    return Context().Record(call, "", S_OK);
    KW_HOST_CATCH
}

HRESULT STDMETHODCALLTYPE KwHostDataObject::get_StorageName(BSTR* StorageName) noexcept
{
    KW_HOST_TRY
    KwHostCall call{Label(), "StorageName"};
    if (!StorageName) return Context().Record(call, "", E_POINTER);
    HRESULT hr = S_OK;
    if (Context().InjectFailure(call.method, &hr)) return Context().Record(call, "", hr);
    switch (m_NameMode) {
    case KwHostNameMode::Fail: return Context().Record(call, "", E_FAIL);
    case KwHostNameMode::Null:
        *StorageName = nullptr;
        return Context().Record(call, "null", S_OK);
    case KwHostNameMode::Empty:
        *StorageName = SysAllocStringLen(nullptr, 0);
        return Context().Record(call, "", *StorageName ? S_OK : E_OUTOFMEMORY);
    case KwHostNameMode::Normal: break;
    }
    KwBstr name = KwBstr::FromNarrow(m_Name.c_str(), CP_UTF8);
    if (!name.ok()) return Context().Record(call, "", E_OUTOFMEMORY);
    call.name = m_Name;
    *StorageName = name.Detach();
    return Context().Record(call, m_Name, S_OK);
    KW_HOST_CATCH
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
    else if (SUCCEEDED(kw_query(m_Storage.Get(), stream.Receive())))
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
    if (FAILED(kw_query(m_Storage.Get(), stream.Receive()))) return E_FAIL;
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
