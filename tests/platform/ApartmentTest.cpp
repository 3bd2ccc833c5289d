// Apartments: initialisation per thread and what ends with it.
#include <gtest/gtest.h>

#include "KwSystemUnderTest.h"
#include "LocalFactory.h"

#include <thread>

TEST(Apartments, InitialisationIsCountedPerThreadAndEndsRegistrations)
{
    if (KwRunsUnderWine())
        GTEST_SKIP() << "Wine's CoInitializeEx takes a reserved argument that is not NULL and counts the call, "
                        "where Windows answers E_INVALIDARG";
    // Without an apartment a thread gets no object, as on Windows.
    auto refused = [] {
        void* object = nullptr;
        return CoCreateInstance(IID_NULL, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object) ==
                   CO_E_NOTINITIALIZED &&
               CoGetClassObject(IID_NULL, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                &object) == CO_E_NOTINITIALIZED &&
               object == nullptr;
    };
    std::thread worker([&] {
        EXPECT_TRUE(refused());
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        int marker = 0;
        EXPECT_EQ(CoInitializeEx(&marker, COINIT_APARTMENTTHREADED), E_INVALIDARG);

        LocalFactory factory;
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(CLSID_KwTestServerObject, &factory, CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &cookie),
                  S_OK);
        // A registration serves its own single-threaded apartment only.
        auto served = [] {
            void* object = nullptr;
            const HRESULT hr = CoGetClassObject(CLSID_KwTestServerObject, CLSCTX_INPROC_SERVER, nullptr,
                                                IID_IClassFactory, &object);
            if (object) static_cast<IUnknown*>(object)->Release();
            return hr == S_OK;
        };
        EXPECT_TRUE(served());
        std::thread([&] {
            EXPECT_EQ(CoInitialize(nullptr), S_OK);
            EXPECT_FALSE(served()) << "another apartment's registration";
            CoUninitialize();
        }).join();
        CoUninitialize();
        EXPECT_EQ(factory.refs, 2) << "the apartment is still open";
        CoUninitialize();
        EXPECT_EQ(factory.refs, 1) << "the apartment's registrations end with it";
        EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_NOTINITIALIZED);
        CoUninitialize(); // one too many is harmless

        EXPECT_TRUE(refused()) << "the apartment has ended";

        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "a new apartment may pick its model";
        // While the process has a multithreaded apartment, a thread without one is counted in it.
        std::thread([&] { EXPECT_FALSE(refused()); }).join();
        CoUninitialize();
        std::thread([&] { EXPECT_TRUE(refused()); }).join();
    });
    worker.join();
}
