// The class objects, aggregation and the lock count of the built library,
// loaded into this process.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "com/KwComPtr.h"
#include "engine/KwHostDataObject.h"
#include "engine/KwHostMemoryStream.h"
#include "generated/KwVersion.h"
#include "KwLibraryFixture.h"
#include "module/KwModule.h"

namespace {

const CLSID UnknownClass = {0x1F2E3D4C, 0x5B6A, 0x4978, {0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0, 0xF1}};

// A controlling object that aggregates one inner object and counts what reaches it.
class OuterObject final : public IUnknown {
public:
    IUnknown* inner = nullptr;
    ULONG refs = 1;
    int addRefs = 0;
    int releases = 0;
    int queries = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        ++queries;
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        if (inner) return inner->QueryInterface(riid, ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++addRefs;
        return ++refs;
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ++releases;
        return --refs;
    }
};

typedef KwLibraryFixture ClassObjectTest;

TEST_F(ClassObjectTest, EachClassHasOneCachedClassObject)
{
    for (const CLSID* clsid : {&CLSID_KwFilterJPEG, &CLSID_KwFilterSaveJPEG}) {
        KwComPtr<IClassFactory> first;
        first.Attach(Factory(*clsid));
        ASSERT_TRUE(first);
        KwComPtr<IUnknown> second;
        ASSERT_EQ(S_OK, DllGetClassObject(*clsid, IID_IUnknown, reinterpret_cast<void**>(second.Receive())));
        EXPECT_EQ(static_cast<IUnknown*>(first.Get()), second.Get());
        void* cached = first.Get();
        first.Reset();
        second.Reset();
        // Still the same object once every caller has let go: the cache keeps it.
        KwComPtr<IClassFactory> third;
        third.Attach(Factory(*clsid));
        EXPECT_EQ(cached, static_cast<void*>(third.Get()));
    }
    KwComPtr<IClassFactory> load, save;
    load.Attach(Factory(CLSID_KwFilterJPEG));
    save.Attach(Factory(CLSID_KwFilterSaveJPEG));
    EXPECT_NE(static_cast<void*>(load.Get()), static_cast<void*>(save.Get()));

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_KwFilterJPEG, IID_IKwFilter, &out));
    EXPECT_EQ(nullptr, out);
}

TEST_F(ClassObjectTest, ClassObjectsAreTheSameForConcurrentFirstRequests)
{
    std::vector<void*> seen(8, nullptr);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] {
            while (!go) std::this_thread::yield();
            DllGetClassObject(CLSID_KwFilterSaveJPEG, IID_IClassFactory, &seen[i]);
        });
    }
    go = true;
    for (std::thread& t : threads) t.join();
    for (void* p : seen) {
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(seen[0], p);
    }
    for (void* p : seen) static_cast<IClassFactory*>(p)->Release();
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassObjectTest, OnlyTheTwoFilterClassesAreAvailable)
{
    for (const CLSID* clsid : {&CLSID_KwSaveStructure, &CLSID_KwSaveRasterData, &UnknownClass,
                               static_cast<const CLSID*>(&LIBID_KWFILTER_JPEGLib), &IID_IKwFilter}) {
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(*clsid, IID_IClassFactory, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_KwFilterJPEG, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_POINTER, DllGetClassObject(UnknownClass, IID_IClassFactory, nullptr));
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassObjectTest, CreateInstanceMakesPlainObjectsAndChecksItsArguments)
{
    KwComPtr<IClassFactory> load, save;
    load.Attach(Factory(CLSID_KwFilterJPEG));
    save.Attach(Factory(CLSID_KwFilterSaveJPEG));
    ASSERT_TRUE(load && save);

    KwComPtr<IKwFilter> filter;
    ASSERT_EQ(S_OK, load->CreateInstance(nullptr, IID_IKwFilter, reinterpret_cast<void**>(filter.Receive())));
    KwComPtr<IKwFilterSave> saveFilter;
    ASSERT_EQ(S_OK, save->CreateInstance(nullptr, IID_IKwFilterSave, reinterpret_cast<void**>(saveFilter.Receive())));
    KwComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, load->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(identity.Receive())));
    EXPECT_NE(static_cast<IUnknown*>(filter.Get()), identity.Get()); // a new object each time

    EXPECT_EQ(E_POINTER, load->CreateInstance(nullptr, IID_IKwFilter, nullptr));
    void* out = reinterpret_cast<void*>(1);
    // The wrong interface for the class: nothing is created and nothing stays locked.
    EXPECT_EQ(E_NOINTERFACE, load->CreateInstance(nullptr, IID_IKwFilterSave, &out));
    EXPECT_EQ(nullptr, out);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, save->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);

    filter.Reset();
    saveFilter.Reset();
    identity.Reset();
    load.Reset();
    save.Reset();
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassObjectTest, AggregationOnlyThroughIUnknownAndTheOuterObjectControls)
{
    for (const CLSID* clsid : {&CLSID_KwFilterJPEG, &CLSID_KwFilterSaveJPEG}) {
        const IID& own = (clsid == &CLSID_KwFilterJPEG) ? IID_IKwFilter : IID_IKwFilterSave;
        KwComPtr<IClassFactory> factory;
        factory.Attach(Factory(*clsid));
        ASSERT_TRUE(factory);

        OuterObject outer;
        void* out = reinterpret_cast<void*>(1);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, own, &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(&outer, IID_ISupportErrorInfo, &out));
        EXPECT_EQ(1u, outer.refs);

        ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
        ASSERT_NE(nullptr, outer.inner);
        EXPECT_NE(static_cast<IUnknown*>(&outer), outer.inner);
        EXPECT_EQ(1u, outer.refs); // the inner unknown counts for itself

        IUnknown* ownInterface = nullptr;
        ASSERT_EQ(S_OK, outer.inner->QueryInterface(own, reinterpret_cast<void**>(&ownInterface)));
        EXPECT_EQ(2u, outer.refs); // the interface handed out holds the outer object
        int addRefs = outer.addRefs, releases = outer.releases, queries = outer.queries;
        ownInterface->AddRef();
        ownInterface->Release();
        EXPECT_EQ(addRefs + 1, outer.addRefs);
        EXPECT_EQ(releases + 1, outer.releases);

        IUnknown* identity = nullptr;
        ASSERT_EQ(S_OK, ownInterface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
        EXPECT_EQ(static_cast<IUnknown*>(&outer), identity); // the identity is the outer object's
        EXPECT_EQ(queries + 1, outer.queries);
        identity->Release();

        ISupportErrorInfo* errorInfo = nullptr;
        ASSERT_EQ(S_OK, ownInterface->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&errorInfo)));
        EXPECT_EQ(queries + 2, outer.queries);
        errorInfo->Release();
        ownInterface->Release();
        EXPECT_EQ(1u, outer.refs);

        EXPECT_EQ(S_FALSE, DllCanUnloadNow());
        EXPECT_EQ(0u, outer.inner->Release()); // destroys the aggregated object
        outer.inner = nullptr;
        factory.Reset();
        EXPECT_EQ(S_OK, DllCanUnloadNow());
    }
}

TEST_F(ClassObjectTest, EveryLiveObjectAndServerLockKeepsTheLibraryLoaded)
{
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    KwComPtr<IClassFactory> load, save;
    load.Attach(Factory(CLSID_KwFilterJPEG));
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()); // a caller's reference to a class object
    load.Reset();
    EXPECT_EQ(S_OK, DllCanUnloadNow()); // the cache's own reference does not count

    load.Attach(Factory(CLSID_KwFilterJPEG));
    save.Attach(Factory(CLSID_KwFilterSaveJPEG));
    ASSERT_TRUE(load && save);
    EXPECT_EQ(S_OK, load->LockServer(TRUE));
    EXPECT_EQ(S_OK, save->LockServer(TRUE));
    load.Reset();
    save.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    load.Attach(Factory(CLSID_KwFilterJPEG));
    save.Attach(Factory(CLSID_KwFilterSaveJPEG));
    EXPECT_EQ(S_OK, load->LockServer(FALSE));
    EXPECT_EQ(S_OK, save->LockServer(FALSE));
    // An unlock that no lock matches is refused instead of freeing a live object's lock.
    EXPECT_EQ(E_UNEXPECTED, load->LockServer(FALSE));

    // Objects of all four classes: the filters, a save structure, a raster-data object.
    KwComPtr<IKwFilter> filter;
    ASSERT_EQ(S_OK, load->CreateInstance(nullptr, IID_IKwFilter, reinterpret_cast<void**>(filter.Receive())));
    KwComPtr<IKwFilterSave> saveFilter;
    ASSERT_EQ(S_OK, save->CreateInstance(nullptr, IID_IKwFilterSave, reinterpret_cast<void**>(saveFilter.Receive())));
    load.Reset();
    save.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    filter.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());

    KwComPtr<KwHostMemoryStream> stream;
    ASSERT_EQ(S_OK, KwHostMemoryStream::Create(std::vector<unsigned char>{}, stream.Receive()));
    KwComPtr<KwHostDataObject> dataObject;
    ASSERT_EQ(S_OK, KwHostDataObject::Create(static_cast<IStream*>(stream.Get()), "out.jpg", dataObject.Receive()));
    KwComPtr<IUnknown> structureUnknown;
    ASSERT_EQ(S_OK, saveFilter->CreateDocument(dataObject.Get(), nullptr, structureUnknown.Receive()));
    KwComPtr<IKwSaveStructure> structure;
    ASSERT_EQ(S_OK, KwQuery(structureUnknown.Get(), structure.Receive()));
    structureUnknown.Reset();
    VARIANT index;
    VariantInit(&index);
    KwComPtr<IUnknown> raster;
    ASSERT_EQ(S_OK, structure->CreateObject(KW_RASTER_BLOCK, index, nullptr, raster.Receive()));
    KwComPtr<IKwSaveRasterData> rasterData;
    ASSERT_EQ(S_OK, KwQuery(raster.Get(), rasterData.Receive()));
    raster.Reset();

    structure.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()); // the save filter and the raster data
    rasterData.Reset();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()); // the save filter
    saveFilter.Reset();
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST_F(ClassObjectTest, VersionOfTheLoadedLibraryFile)
{
    char text[32] = "";
    ASSERT_EQ(S_OK, KwModule::ReadProductVersion(reinterpret_cast<LPCWSTR>(u"" KW_FILTER_LIBRARY), text, sizeof text));
    EXPECT_STREQ(KW_VERSION_TEXT, text);
}

} // namespace
