// The COM runtime: in-process servers found through the registry, the class
// table of this process and ProgIDs.
#include "CountingDispatch.h"
#include "KwPlatformTestSupport.h"
#include "LocalFactory.h"
#include "server/KwTestServer.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

namespace {

std::string GuidString(REFGUID g)
{
    OLECHAR text[39];
    StringFromGUID2(g, text, 39);
    return std::string(text, text + 38);
}

bool ServerIsLoaded()
{
    void* handle = dlopen(KW_PLATFORM_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

class ComRuntime : public ::testing::Test {
protected:
    ScopedRegistryFile file;
    const std::string clsidKey = "CLSID\\" + GuidString(CLSID_KwTestServerObject);

    void SetUp() override
    {
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", nullptr, KW_PLATFORM_TEST_SERVER),
                  ERROR_SUCCESS);
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "KwTest.Server.1\\CLSID", nullptr, GuidString(CLSID_KwTestServerObject)),
                  ERROR_SUCCESS);
        ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "KwTest.Server\\CurVer", nullptr, "KwTest.Server.1"), ERROR_SUCCESS);
    }
    void TearDown() override { CoFreeUnusedLibrariesEx(0, 0); } // each test loads the server afresh
};

} // namespace

TEST_F(ComRuntime, CreatesThroughTheRegisteredServerAndUnloadsItWhenUnused)
{
    IKwTestServerObject* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_KwTestServerObject, nullptr, CLSCTX_ALL, IID_IKwTestServerObject,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Origin(), 1);

    // The server's DllMain saw its own module handle, which names its file.
    char path[PATH_MAX];
    ASSERT_GT(GetModuleFileNameA(object->AttachedModule(), path, sizeof path), 0u);
    char expected[PATH_MAX];
    ASSERT_NE(realpath(KW_PLATFORM_TEST_SERVER, expected), nullptr);
    EXPECT_STREQ(path, expected);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_KwTestServerObject, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_TRUE(ServerIsLoaded()) << "a server with a live object stays";
    object->Release();
    CoFreeUnusedLibraries();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ServerIsLoaded()) << "an unused server is marked, then waits for the default delay";
    // Busy in between (a lock taken without the runtime): it loses its mark.
    factory->LockServer(TRUE);
    CoFreeUnusedLibraries();
    factory->LockServer(FALSE);
    factory->Release();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CoFreeUnusedLibrariesEx(1, 0);
    EXPECT_TRUE(ServerIsLoaded()) << "marked anew";
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CoFreeUnusedLibrariesEx(1, 0);
    EXPECT_FALSE(ServerIsLoaded()) << "still unused after the delay: unloaded";

    // It comes back on the next request; a use through the runtime restarts the delay.
    ASSERT_EQ(CoCreateInstance(CLSID_KwTestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IKwTestServerObject,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    object->Release();
    CoFreeUnusedLibraries();
    ASSERT_EQ(CoGetClassObject(CLSID_KwTestServerObject, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->Release();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    CoFreeUnusedLibrariesEx(1, 0);
    EXPECT_TRUE(ServerIsLoaded()) << "used since it was marked";
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_FALSE(ServerIsLoaded()) << "a delay of 0 unloads at once";
}

TEST_F(ComRuntime, ServerFailuresHaveTheirOwnCodes)
{
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    const CLSID unknown = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    // A class key without an in-process server.
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "CLSID\\" + GuidString(unknown), nullptr, "No server"), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);

    const std::string server = "CLSID\\" + GuidString(unknown) + "\\InprocServer32";
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, server, nullptr, "/nonexistent/libnothing.so"), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CO_E_DLLNOTFOUND);

    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, server, nullptr, KW_PLATFORM_NOENTRY_LIBRARY), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CO_E_ERRORINDLL);

    // The server's own answers pass through.
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, server, nullptr, KW_PLATFORM_TEST_SERVER), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CLASS_E_CLASSNOTAVAILABLE);
    CountingDispatch outer;
    EXPECT_EQ(CoCreateInstance(CLSID_KwTestServerObject, &outer, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    // Only in-process servers exist here.
    EXPECT_EQ(CoCreateInstance(CLSID_KwTestServerObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_KwTestServerObject, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_INVALIDARG);
}

TEST_F(ComRuntime, ClassObjectsOfThisProcessComeFirst)
{
    LocalFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_KwTestServerObject, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(factory.refs, 2) << "the table holds a reference";

    // A second registration of the same class does not replace the first.
    LocalFactory second;
    DWORD secondCookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_KwTestServerObject, &second, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &secondCookie),
              S_OK);
    EXPECT_NE(secondCookie, cookie);

    IKwTestServerObject* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_KwTestServerObject, nullptr, CLSCTX_ALL, IID_IKwTestServerObject,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(object->Origin(), 0);
    EXPECT_EQ(factory.object.refs, 2u) << "made by the first registration";
    object->Release();
    EXPECT_EQ(factory.refs, 2) << "the factory reference taken for the call is returned";

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.refs, 1) << "revoking releases the table's reference";
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    EXPECT_EQ(CoRevokeClassObject(secondCookie), S_OK);

    // With the registrations gone, the server answers again.
    ASSERT_EQ(CoCreateInstance(CLSID_KwTestServerObject, nullptr, CLSCTX_ALL, IID_IKwTestServerObject,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(object->Origin(), 1);
    object->Release();

    // A local-server-only registration does not serve in-process requests unless multiple-use.
    ASSERT_EQ(CoRegisterClassObject(CLSID_KwTestServerObject, &factory, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE,
                                    &cookie),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_KwTestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IKwTestServerObject,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(object->Origin(), 1);
    object->Release();
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(CoRegisterClassObject(CLSID_KwTestServerObject, nullptr, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              E_INVALIDARG);
}

TEST_F(ComRuntime, ProgIdsResolveDirectlyAndThroughCurVer)
{
    CLSID clsid = CLSID_NULL;
    ASSERT_EQ(CLSIDFromProgID(u"KwTest.Server.1", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_KwTestServerObject));
    clsid = CLSID_NULL;
    ASSERT_EQ(CLSIDFromProgID(u"kwtest.server", &clsid), S_OK) << "no CLSID of its own: CurVer is followed";
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_KwTestServerObject));
    clsid = CLSID_NULL;
    ASSERT_EQ(CLSIDFromString(u"KwTest.Server", &clsid), S_OK) << "CLSIDFromString takes ProgIDs too";
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_KwTestServerObject));

    EXPECT_EQ(CLSIDFromProgID(u"KwTest.Missing", &clsid), CO_E_CLASSSTRING);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_NULL));
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "KwTest.Bare", nullptr, "no CLSID, no CurVer"), ERROR_SUCCESS);
    EXPECT_EQ(CLSIDFromProgID(u"KwTest.Bare", &clsid), REGDB_E_CLASSNOTREG);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "KwTest.BadClsid\\CLSID", nullptr, "not a guid"), ERROR_SUCCESS);
    EXPECT_EQ(CLSIDFromProgID(u"KwTest.BadClsid", &clsid), CO_E_CLASSSTRING);
    // A CurVer loop ends instead of recursing for ever.
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "KwTest.LoopA\\CurVer", nullptr, "KwTest.LoopB"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, "KwTest.LoopB\\CurVer", nullptr, "KwTest.LoopA"), ERROR_SUCCESS);
    EXPECT_EQ(CLSIDFromProgID(u"KwTest.LoopA", &clsid), CO_E_CLASSSTRING);
    // A ProgID cannot walk into other keys.
    EXPECT_EQ(CLSIDFromProgID(u"KwTest.Server\\CurVer", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
}
