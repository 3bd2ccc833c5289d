// Loads the built filter library into this process for one test, the way the
// COM runtime does, and unloads it afterwards.
#pragma once

#include <gtest/gtest.h>

#include "interfaces/KwFilterInterfaces.h"

class KwLibraryFixture : public ::testing::Test {
protected:
    typedef HRESULT(STDMETHODCALLTYPE* GetClassObjectFunction)(REFCLSID, REFIID, LPVOID*);
    typedef HRESULT(STDMETHODCALLTYPE* PlainFunction)();

    void SetUp() override
    {
        m_Module = LoadLibraryA(KW_FILTER_LIBRARY);
        ASSERT_NE(nullptr, m_Module) << KW_FILTER_LIBRARY;
        // Through void (*)(), which converts to any function pointer type without a warning.
        DllGetClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(m_Module, "DllGetClassObject")));
        DllCanUnloadNow =
            reinterpret_cast<PlainFunction>(reinterpret_cast<void (*)()>(GetProcAddress(m_Module, "DllCanUnloadNow")));
        ASSERT_NE(nullptr, DllGetClassObject);
        ASSERT_NE(nullptr, DllCanUnloadNow);
    }
    void TearDown() override
    {
        if (m_Module) FreeLibrary(m_Module);
    }

    // The class object of `clsid` as IClassFactory (one caller reference).
    IClassFactory* Factory(REFCLSID clsid)
    {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(S_OK, DllGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        return factory;
    }

    HMODULE m_Module = nullptr;
    GetClassObjectFunction DllGetClassObject = nullptr;
    PlainFunction DllCanUnloadNow = nullptr;
};
