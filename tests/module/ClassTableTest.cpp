// The module's class table, class objects and registration order, in this
// process: allocation failures, start and end of the library, and a failing
// script stopping the registration.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "module/KwClassTable.h"
#include "com/KwComPtr.h"
#include "interfaces/KwFilterInterfaces.h"
#include "com/KwMemory.h"
#include "module/KwModule.h"
#include "com/KwModuleLock.h"
#include "module/KwRegistrar.h"
#include "KwRegistryDump.h"
#include "KwTestScripts.h"
#include "common/ScopedScratchRegistry.h"

namespace {

bool FailEveryAllocation(unsigned long, std::size_t) { return true; }

TEST(Module, AllocationFailuresLeaveNothingBehindAndCanBeRetried)
{
    KwModule module;
    module.Attach(nullptr, KwFilterModuleDescription());
    ASSERT_EQ(0, KwModuleLockCount());

    void* out = reinterpret_cast<void*>(1);
    KwSetAllocationHook(&FailEveryAllocation);
    EXPECT_EQ(E_OUTOFMEMORY, module.GetClassObject(CLSID_KwFilterJPEG, IID_IClassFactory, &out));
    KwSetAllocationHook(nullptr);
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(S_OK, module.CanUnloadNow());

    KwComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, module.GetClassObject(CLSID_KwFilterJPEG, IID_IClassFactory,
                                          reinterpret_cast<void**>(factory.Receive())));
    KwSetAllocationHook(&FailEveryAllocation);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_OUTOFMEMORY, factory->CreateInstance(nullptr, IID_IKwFilter, &out));
    KwSetAllocationHook(nullptr);
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, KwModuleLockCount()); // only the caller's reference to the class object

    KwComPtr<IClassFactory> again;
    ASSERT_EQ(S_OK, module.GetClassObject(CLSID_KwFilterJPEG, IID_IClassFactory,
                                          reinterpret_cast<void**>(again.Receive())));
    EXPECT_EQ(factory.Get(), again.Get());
    factory.Reset();
    again.Reset();
    EXPECT_EQ(S_OK, module.CanUnloadNow());
    module.Detach(); // releases the cached class object (the leak checker would see it otherwise)
    EXPECT_EQ(0, KwModuleLockCount());
}

int g_starts = 0;
int g_ends = 0;

HRESULT NoObjects(IUnknown*, REFIID, void** ppv)
{
    *ppv = nullptr;
    return E_NOTIMPL;
}

const CLSID ClassA = {0xA0000001, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x61}};
const CLSID ClassB = {0xA0000002, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x62}};
const CLSID ClassC = {0xA0000003, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x63}};
const GUID Library = {0xA0000004, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x64}};

class ModuleRegistrationTest : public ::testing::Test {
protected:
    // First, so that every member below sees this test's registry.
    ScopedScratchRegistry m_Registry;

    void SetUp() override
    {
        // This test executable plays the library: its own module handle, with
        // the test scripts as resources and no version resource.
        m_Self = KwAttachTestScripts();
        ASSERT_NE(nullptr, m_Self);
        char path[MAX_PATH] = "";
        GetModuleFileNameA(m_Self, path, MAX_PATH);
        m_Path = path;
    }
    void TearDown() override
    {
        if (m_Self) KwDetachTestScripts(m_Self);
    }

    KwClassEntry m_Classes[3] = {
        {&ClassA, &NoObjects, 201, {nullptr}, [] { ++g_starts; }, [] { ++g_ends; }},
        {&ClassB, &NoObjects, 202, {nullptr}, nullptr, nullptr},
        {&ClassC, &NoObjects, 203, {nullptr}, [] { ++g_starts; }, [] { ++g_ends; }},
    };
    HMODULE m_Self = nullptr;
    std::string m_Path;
};

TEST_F(ModuleRegistrationTest, RegistrationRunsTheScriptsInTableOrderAndStopsAtTheFirstFailure)
{
    KwModule module;
    g_starts = g_ends = 0;
    module.Attach(m_Self, {m_Classes, 3, &Library, 1, 0, "Test library"});
    EXPECT_EQ(2, g_starts);

    EXPECT_EQ(KW_E_REGISTRAR_SCRIPT, module.RegisterServer());
    // The first class is registered, with the module path and, as the file has
    // no version resource, the version 0.0.0.0.
    EXPECT_EQ("HKCR\\KwT.ModuleA\n  @ = s \"" + m_Path + "\"\n  Version = s \"0.0.0.0\"\n",
              KwDumpRegistry("HKCR\\KwT.ModuleA"));
    EXPECT_EQ("", KwDumpRegistry("HKCR\\KwT.ModuleC")); // after the failing script: not run
    EXPECT_EQ("", KwDumpRegistry("HKCR\\TypeLib"));     // nor the type library

    EXPECT_EQ(KW_E_REGISTRAR_SCRIPT, module.UnregisterServer());
    EXPECT_EQ("", KwDumpRegistry("HKCR\\KwT.ModuleA"));

    // Classes not in the table are not available; classes in it are.
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, module.GetClassObject(CLSID_KwFilterJPEG, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    KwComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, module.GetClassObject(ClassC, IID_IClassFactory, reinterpret_cast<void**>(factory.Receive())));
    EXPECT_EQ(E_NOTIMPL, factory->CreateInstance(nullptr, IID_IUnknown, &out));
    factory.Reset();

    module.Detach();
    EXPECT_EQ(2, g_ends);
    EXPECT_EQ(0, KwModuleLockCount());
}

TEST_F(ModuleRegistrationTest, AMissingScriptResourceFailsTheRegistration)
{
    KwModule module;
    m_Classes[0].RegistryResource = 299;
    module.Attach(m_Self, {m_Classes, 1, nullptr, 0, 0, nullptr});
    EXPECT_TRUE(FAILED(module.RegisterServer()));
    EXPECT_TRUE(FAILED(module.UnregisterServer()));
    module.Detach();
}

} // namespace
