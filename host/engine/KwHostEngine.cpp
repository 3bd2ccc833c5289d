#include "KwHostEngine.h"

#include <cstring>

#include "KwHostAttributeCollection.h"
#include "KwHostAttributeFactory.h"
#include "KwHostDataObject.h"
#include "KwHostDocument.h"
#include "private/KwHostHooks.h"
#include "KwHostMemoryStream.h"

namespace {
const char ProgIdKey[] = "VelEngine.KwAttribute";
const char ClsidKey[] = "VelEngine.KwAttribute\\CLSID";
} // namespace

KwHostEngine::KwHostEngine() : m_Context(KwHostContext::Create()) {}

KwHostEngine::~KwHostEngine() { Stop(); }

const CLSID& KwHostEngine::AttributeClassId() noexcept { return CLSID_KwHostAttribute; }

HRESULT KwHostEngine::Start() noexcept
{
    if (Started()) return S_FALSE;
    if (KW_HOST_HIDES_ATTRIBUTE_CLASS(*m_Context)) return S_OK;

    KwComPtr<IClassFactory> factory;
    HRESULT hr = KwHostAttributeFactory::Create(m_Context, factory.Receive());
    if (FAILED(hr)) return hr;
    DWORD cookie = 0;
    hr = CoRegisterClassObject(CLSID_KwHostAttribute, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                               &cookie);
    if (FAILED(hr)) return hr;

    OLECHAR wide[64] = {};
    char text[64] = {};
    StringFromGUID2(CLSID_KwHostAttribute, wide, 64);
    for (int i = 0; i < 63 && wide[i]; ++i) text[i] = static_cast<char>(wide[i]);

    // Volatile: the keys live only as long as this process's registry session.
    HKEY key = nullptr;
    DWORD disposition = 0;
    LSTATUS status = RegCreateKeyExA(HKEY_CLASSES_ROOT, ClsidKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE,
                                     nullptr, &key, &disposition);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>(std::strlen(text) + 1));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        CoRevokeClassObject(cookie);
        return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
    }
    m_CreatedKey = disposition == REG_CREATED_NEW_KEY;
    m_Cookie = cookie;
    return S_OK;
}

void KwHostEngine::Stop() noexcept
{
    if (!Started()) return;
    CoRevokeClassObject(m_Cookie);
    m_Cookie = 0;
    if (m_CreatedKey) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, ClsidKey);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, ProgIdKey);
        m_CreatedKey = false;
    }
}

HRESULT KwHostEngine::CreateDocument(KwHostDocument** out) noexcept { return KwHostDocument::Create(out, m_Context); }

HRESULT KwHostEngine::CreateMemoryStream(const void* data, size_t size, KwHostMemoryStream** out) noexcept
{
    return KwHostMemoryStream::Create(data, size, out, m_Context);
}

HRESULT KwHostEngine::OpenFileStream(const std::string& path, KwHostFileMode mode, KwHostFileStream** out) noexcept
{
    return KwHostFileStream::Open(path, mode, out, m_Context);
}

HRESULT KwHostEngine::CreateDataObject(IUnknown* storage, const std::string& name, KwHostDataObject** out) noexcept
{
    return KwHostDataObject::Create(storage, name, out, m_Context);
}

HRESULT KwHostEngine::CreateAttributeCollection(KwHostAttributeCollection** out) noexcept
{
    return KwHostAttributeCollection::Create(out, m_Context);
}
