// The save filter and the save-structure objects: how the output stream is
// taken and shared, which object kinds are made, and that every object and
// reference is released at the end.
#include <gtest/gtest.h>

#include "save/CKwFilterSaveJPEG.h"
#include "engine/KwHostDataObject.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostStructuredStorage.h"
#include "com/KwMemory.h"
#include "SaveTestSupport.h"

namespace {

KwComPtr<IKwFilterSave> NewFilter()
{
    KwComPtr<IKwFilterSave> filter;
    KwCreateComObject<CKwFilterSaveJPEG>(nullptr, IID_IKwFilterSave, reinterpret_cast<void**>(filter.Receive()));
    return filter;
}

KwComPtr<IKwDataObject> BoundTo(IUnknown* storage)
{
    KwComPtr<KwHostDataObject> data;
    KwHostDataObject::Create(storage, "out.jpg", data.Receive());
    return KwComPtr<IKwDataObject>(data.Get());
}

KwComPtr<KwHostMemoryStream> NewStream()
{
    KwComPtr<KwHostMemoryStream> stream;
    KwHostMemoryStream::Create(nullptr, 0, stream.Receive());
    return stream;
}

template <typename T> KwComPtr<T> Make(IKwSaveStructure* parent, LONG kind)
{
    KwComPtr<IUnknown> object;
    KwComPtr<T> typed;
    if (SUCCEEDED(parent->CreateObject(static_cast<KW_OBJECT_TYPE>(kind), EmptyVariant(), nullptr, object.Receive())))
        KwQuery(object.Get(), typed.Receive());
    return typed;
}

void SaveOnePixel(IKwSaveRasterData* raster, unsigned char gray)
{
    unsigned char line[4] = {gray, gray, gray, 0};
    ASSERT_EQ(raster->CreateRasterStorage(1, 1, 24, 0, 0, nullptr, 0, nullptr), S_OK);
    ASSERT_EQ(raster->AddScanline1(KW_RASTER_RGB, 0, 1, 4, line), S_OK);
    ASSERT_EQ(raster->EndObject(), S_OK);
}

unsigned long g_failingAllocation = 0;
bool FailOne(unsigned long number, std::size_t) { return number == g_failingAllocation; }

class SaveObjects : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(KwModuleLockCount(), m_Locks) << "a filter object was not released";
        EXPECT_EQ(KwHostLiveObjects(), m_HostObjects) << "a host object was not released";
    }
    LONG m_Locks = KwModuleLockCount();
    LONG m_HostObjects = KwHostLiveObjects();
};

} // namespace

TEST_F(SaveObjects, CreateDocumentTakesTheDataObjectsStreamUntilTheFilterGoes)
{
    KwComPtr<KwHostMemoryStream> first = NewStream(), second = NewStream();
    KwComPtr<IKwFilterSave> filter = NewFilter();
    EXPECT_EQ(filter->CloseDocument(), S_OK);
    const ULONG alone = first->References();

    KwComPtr<IUnknown> document;
    ASSERT_EQ(filter->CreateDocument(BoundTo(static_cast<IStream*>(first.Get())).Get(), nullptr, document.Receive()), S_OK);
    KwComPtr<IKwSaveStructure> structure;
    EXPECT_EQ(KwQuery(document.Get(), structure.Receive()), S_OK);
    document.Reset();
    structure.Reset();
    EXPECT_EQ(filter->CloseDocument(), S_OK);
    EXPECT_EQ(first->References(), alone + 1);

    // Refusals that leave the held stream alone: no out pointer, no memory.
    EXPECT_EQ(filter->CreateDocument(BoundTo(static_cast<IStream*>(second.Get())).Get(), nullptr, nullptr), E_POINTER);
    g_failingAllocation = 1;
    KwSetAllocationHook(&FailOne);
    IUnknown* refused = reinterpret_cast<IUnknown*>(filter.Get()); // must come back null
    EXPECT_EQ(filter->CreateDocument(BoundTo(static_cast<IStream*>(second.Get())).Get(), nullptr, &refused),
              E_OUTOFMEMORY);
    KwSetAllocationHook(nullptr);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(first->References(), alone + 1);
    EXPECT_EQ(second->References(), alone);

    // A storage that is no stream, or none at all: E_FAIL, and the old stream is let go.
    KwComPtr<IUnknown> storage;
    KwHostStructuredStorage::Create(storage.Receive());
    for (IUnknown* bound : {storage.Get(), static_cast<IUnknown*>(nullptr)}) {
        EXPECT_EQ(filter->CreateDocument(BoundTo(bound).Get(), nullptr, document.Receive()), E_FAIL);
        EXPECT_FALSE(document);
        EXPECT_EQ(first->References(), alone);
    }
    ASSERT_EQ(filter->CreateDocument(BoundTo(static_cast<IStream*>(second.Get())).Get(), nullptr, document.Receive()), S_OK);
    document.Reset();
    EXPECT_EQ(second->References(), alone + 1);
    filter.Reset();
    EXPECT_EQ(second->References(), alone);
}

TEST_F(SaveObjects, ObjectsOfAnEarlierDocumentKeepWritingToTheirOwnStream)
{
    KwComPtr<KwHostMemoryStream> first = NewStream(), second = NewStream();
    KwComPtr<IKwFilterSave> filter = NewFilter();
    KwComPtr<IUnknown> document;
    ASSERT_EQ(filter->CreateDocument(BoundTo(static_cast<IStream*>(first.Get())).Get(), nullptr, document.Receive()), S_OK);
    KwComPtr<IKwSaveStructure> structure;
    KwQuery(document.Get(), structure.Receive());
    KwComPtr<IKwSaveRasterData> early = Make<IKwSaveRasterData>(structure.Get(), KW_RASTER_BLOCK);
    ASSERT_EQ(filter->CreateDocument(BoundTo(static_cast<IStream*>(second.Get())).Get(), nullptr, document.Receive()), S_OK);
    KwComPtr<IKwSaveStructure> later;
    KwQuery(document.Get(), later.Receive());
    SaveOnePixel(Make<IKwSaveRasterData>(later.Get(), KW_RASTER_BLOCK).Get(), 200);
    EXPECT_TRUE(second->Bytes() == EncodeDirect({200, 200, 200}, 1, 1));

    // The host lets go of the filter and of the first stream before ending the early object.
    KwHostMemoryStream* firstStream = first.Get();
    first.Reset();
    filter.Reset();
    document.Reset();
    structure.Reset();
    SaveOnePixel(early.Get(), 100);
    EXPECT_TRUE(firstStream->Bytes() == EncodeDirect({100, 100, 100}, 1, 1));
}

TEST_F(SaveObjects, StructuresMakeNestedLevelsAndRasterDataOnly)
{
    SaveSession session;
    IKwSaveStructure* root = session.structure.Get();
    for (LONG kind : {KW_DOCUMENT, KW_CONTENTS, KW_CONTAINER}) {
        EXPECT_TRUE(Make<IKwSaveStructure>(root, kind)) << kind;
        EXPECT_FALSE(Make<IKwSaveRasterData>(root, kind)) << kind;
    }
    for (LONG kind : {1000, 1099, 1103, 1200, 1201, 1203, 1204, 1205, 2000, 2001, 3000, 3006, 0, -1}) {
        IUnknown* object = reinterpret_cast<IUnknown*>(root);
        EXPECT_EQ(root->CreateObject(static_cast<KW_OBJECT_TYPE>(kind), EmptyVariant(), nullptr, &object), E_INVALIDARG)
            << kind;
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(root->CreateObject(KW_CONTAINER, EmptyVariant(), nullptr, nullptr), E_POINTER);
    EXPECT_EQ(root->CreateObject(KW_RASTER_BLOCK, EmptyVariant(), nullptr, nullptr), E_POINTER);
    EXPECT_EQ(root->CreateObject(KW_TEXT_BLOCK, EmptyVariant(), nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(root->PutAttribute(nullptr, EmptyVariant()), S_OK);
    EXPECT_EQ(root->EndObject(), S_OK);

    // Two raster blocks deep in the tree: two complete files, one after the other.
    KwComPtr<IKwSaveStructure> container = Make<IKwSaveStructure>(
        Make<IKwSaveStructure>(Make<IKwSaveStructure>(root, KW_DOCUMENT).Get(), KW_CONTENTS).Get(), KW_CONTAINER);
    SaveOnePixel(Make<IKwSaveRasterData>(container.Get(), KW_RASTER_BLOCK).Get(), 10);
    SaveOnePixel(Make<IKwSaveRasterData>(container.Get(), KW_RASTER_BLOCK).Get(), 250);
    Bytes expected = EncodeDirect({10, 10, 10}, 1, 1), second = EncodeDirect({250, 250, 250}, 1, 1);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_TRUE(session.Output() == expected);
    EXPECT_TRUE(KwHostDouble(session.stream).WriteSizes() == std::vector<ULONG>({ULONG(expected.size() - second.size()), ULONG(second.size())}));
}

TEST_F(SaveObjects, ErrorInfoAndAggregation)
{
    SaveSession session;
    const struct {
        IUnknown* object;
        const IID* own;
    } cases[] = {{session.filter.Get(), &IID_IKwFilterSave},
                 {session.structure.Get(), &IID_IKwSaveStructure},
                 {session.raster.Get(), &IID_IKwSaveRasterData}};
    for (const auto& c : cases) {
        KwComPtr<ISupportErrorInfo> info;
        ASSERT_EQ(KwQuery(c.object, info.Receive()), S_OK);
        EXPECT_EQ(info->InterfaceSupportsErrorInfo(*c.own), S_OK);
        for (const IID* other : {&IID_IKwFilterSave, &IID_IKwSaveStructure, &IID_IKwSaveRasterData, &IID_IUnknown})
            if (other != c.own) {
                EXPECT_EQ(info->InterfaceSupportsErrorInfo(*other), S_FALSE);
            }
    }

    // Aggregated, the filter's interfaces count on the outer object.
    KwComPtr<KwHostMemoryStream> outer = NewStream();
    const ULONG outerRefs = outer->References();
    KwComPtr<IUnknown> inner;
    ASSERT_EQ(KwCreateComObject<CKwFilterSaveJPEG>(static_cast<IStream*>(outer.Get()), IID_IUnknown,
                                                   reinterpret_cast<void**>(inner.Receive())),
              S_OK);
    KwComPtr<IKwFilterSave> filter;
    ASSERT_EQ(KwQuery(inner.Get(), filter.Receive()), S_OK);
    EXPECT_EQ(outer->References(), outerRefs + 1);
    filter.Reset();
    EXPECT_EQ(outer->References(), outerRefs);
}
