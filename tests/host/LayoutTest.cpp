// The interface layout a filter compiled elsewhere relies on: each host method
// called through its virtual-table slot number reaches the intended method.
#include <gtest/gtest.h>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "engine/KwHostAttributeCollection.h"
#include "engine/KwHostDataObject.h"
#include "engine/KwHostDocument.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostEventSink.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostNode.h"
#include "engine/KwHostRasterBlock.h"

namespace {

using V = KwHostVariant;

// Calls slot `slot` of the interface's virtual table as a caller knowing only the slot number would.
template <typename... Args> HRESULT CallSlot(void* iface, int slot, Args... args)
{
    using Method = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
    void** table = *static_cast<void***>(iface);
    return reinterpret_cast<Method>(table[slot])(iface, args...);
}

class KwHostLayoutTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, m_Engine.CreateDocument(m_Document.Receive())); }

    KwHostEngine m_Engine;
    KwComPtr<KwHostDocument> m_Document;
};

TEST_F(KwHostLayoutTest, DocumentSlots)
{
    KwComPtr<IKwDocument> document;
    ASSERT_EQ(S_OK, KwQuery(static_cast<IKwDocument*>(m_Document.Get()), document.Receive()));
    KwBstr name = KwBstr::FromNarrow("DocType");
    EXPECT_EQ(S_OK, CallSlot(document.Get(), 12, name.Get(), V::I4(2).Get(), LONG(2))); // PutAttribute
    KwVariant value;
    EXPECT_EQ(S_OK, CallSlot(document.Get(), 11, name.Get(), static_cast<VARIANT*>(nullptr),
                             static_cast<VARIANT*>(&value))); // GetAttribute
    EXPECT_EQ(2, value.lVal);
    LONG count = 0;
    EXPECT_EQ(S_OK, CallSlot(document.Get(), 8, &count)); // AttributeCount
    EXPECT_EQ(1, count);

    IDispatch* child = nullptr;
    EXPECT_EQ(S_OK, CallSlot(document.Get(), 18, V::Text("Contents").Get(), V::I2(KW_CONTENTS).Get(),
                             VARIANT_BOOL(VARIANT_TRUE), static_cast<VARIANT*>(nullptr), &child)); // CreateChild
    ASSERT_NE(nullptr, child);
    child->Release();
    EXPECT_EQ(S_OK, CallSlot(document.Get(), 16, V::Text("Contents").Get(), static_cast<VARIANT*>(nullptr),
                             static_cast<VARIANT*>(nullptr), &child)); // GetChild
    ASSERT_NE(nullptr, child);
    child->Release();
    EXPECT_EQ(S_OK, CallSlot(document.Get(), 21, &count)); // ChildCount
    EXPECT_EQ(1, count);
    EXPECT_EQ(E_NOTIMPL, CallSlot(document.Get(), 31)); // ReleaseDoc
    EXPECT_EQ("PutAttribute(DocType)", KwHostDouble(m_Engine).Log().Steps()[0]);
}

TEST_F(KwHostLayoutTest, NodeSlots)
{
    KwComPtr<IDispatch> contentsObject;
    ASSERT_EQ(S_OK, static_cast<IKwDocument*>(m_Document.Get())
                        ->CreateChild(V::Text("Contents").Get(), V::I2(KW_CONTENTS).Get(), VARIANT_TRUE, nullptr,
                                      contentsObject.Receive()));
    KwComPtr<IKwContents> contents;
    ASSERT_EQ(S_OK, KwQuery(contentsObject.Get(), contents.Receive()));
    KwBstr total = KwBstr::FromNarrow("TotalNodes");
    EXPECT_EQ(S_OK, CallSlot(contents.Get(), 12, total.Get(), V::I4(1).Get(), LONG(2))); // PutAttribute
    EXPECT_TRUE(m_Document->Contents()->HasAttribute("TotalNodes"));

    // IKwChildren: GetChild 8, CreateChild 10, ChildCount 13, GetChildIndex 14.
    KwComPtr<IKwChildren> children;
    ASSERT_EQ(S_OK, KwQuery(contentsObject.Get(), children.Receive()));
    IDispatch* node = nullptr;
    EXPECT_EQ(S_OK, CallSlot(children.Get(), 10, V::I4(1).Get(), V::I4(KW_CONTAINER).Get(),
                             VARIANT_BOOL(VARIANT_TRUE), static_cast<VARIANT*>(nullptr), &node));
    ASSERT_NE(nullptr, node);
    KwComPtr<IDispatch> nodeHeld;
    nodeHeld.Attach(node);
    IDispatch* found = nullptr;
    EXPECT_EQ(S_OK, CallSlot(children.Get(), 8, V::I4(1).Get(), static_cast<VARIANT*>(nullptr),
                             static_cast<VARIANT*>(nullptr), &found));
    EXPECT_EQ(node, found);
    if (found) found->Release();
    LONG count = 0;
    EXPECT_EQ(S_OK, CallSlot(children.Get(), 13, &count));
    EXPECT_EQ(1, count);
    KwVariant index;
    EXPECT_EQ(S_OK, CallSlot(children.Get(), 14, LONG(0), static_cast<VARIANT*>(&index)));
    EXPECT_EQ(1, index.lVal);

    // IKwContainer: PutAttribute 12, CreateChild 18.
    KwComPtr<IKwContainer> container;
    ASSERT_EQ(S_OK, KwQuery(node, container.Receive()));
    KwBstr nodeId = KwBstr::FromNarrow("NodeID");
    EXPECT_EQ(S_OK, CallSlot(container.Get(), 12, nodeId.Get(), V::I4(1).Get(), LONG(2)));
    IDispatch* raster = nullptr;
    EXPECT_EQ(S_OK, CallSlot(container.Get(), 18, V::Text("").Get(), V::I2(KW_RASTER_BLOCK).Get(),
                             VARIANT_BOOL(VARIANT_FALSE), static_cast<VARIANT*>(nullptr), &raster));
    ASSERT_NE(nullptr, raster);
    KwComPtr<IDispatch> rasterHeld;
    rasterHeld.Attach(raster);

    // IKwAttribute: AttributeCount 7, GetAttribute 8, PutAttribute 9, GetAttributeName 11.
    KwComPtr<IKwAttribute> attributes;
    ASSERT_EQ(S_OK, KwQuery(node, attributes.Receive()));
    KwBstr loaded = KwBstr::FromNarrow("Loaded");
    EXPECT_EQ(S_OK, CallSlot(attributes.Get(), 9, loaded.Get(), V::Bool(true).Get(), LONG(2)));
    KwVariant value;
    EXPECT_EQ(S_OK, CallSlot(attributes.Get(), 8, loaded.Get(), static_cast<VARIANT*>(nullptr),
                             static_cast<VARIANT*>(&value)));
    EXPECT_EQ(VT_BOOL, value.vt);
    EXPECT_EQ(VARIANT_TRUE, value.boolVal);
    EXPECT_EQ(S_OK, CallSlot(attributes.Get(), 7, &count));
    EXPECT_EQ(2, count);
    KwBstr name;
    EXPECT_EQ(S_OK, CallSlot(attributes.Get(), 11, LONG(1), name.Receive()));
    EXPECT_EQ("Loaded", KwNarrow(name.Get()));
}

TEST_F(KwHostLayoutTest, RasterBlockAndCollectionSlots)
{
    KwComPtr<KwHostRasterBlock> block;
    ASSERT_EQ(S_OK, KwHostRasterBlock::Create(block.Receive(), m_Engine.Context()));
    KwComPtr<IKwRasterBlock> raster;
    ASSERT_EQ(S_OK, KwQuery(static_cast<IKwRasterBlock*>(block.Get()), raster.Receive()));
    KwBstr compression = KwBstr::FromNarrow("JPEG");
    EXPECT_EQ(S_OK, CallSlot(raster.Get(), 17, LONG(10), LONG(2), LONG(24), LONG(0), LONG(0), compression.Get(),
                             LONG(0), static_cast<LONG*>(nullptr))); // CreateRasterStorage
    std::vector<unsigned char> row(32, 9);
    EXPECT_EQ(S_OK, CallSlot(raster.Get(), 18, KW_RASTER_RGB, LONG(1), LONG(1), LONG(32), row.data())); // AddScanline1
    EXPECT_EQ(S_OK, CallSlot(raster.Get(), 16)); // EndObject
    LONG width = 0, height = 0, bpp = 0, rows = 0;
    EXPECT_EQ(S_OK, CallSlot(raster.Get(), 20, &width, &height, &bpp, &rows)); // GetRasterInfo
    EXPECT_EQ(10, width);
    EXPECT_EQ(1, rows);
    EXPECT_TRUE(block->Ended());
    EXPECT_EQ((std::vector<std::string>{"raster.CreateRasterStorage", "raster.AddScanline1", "raster.EndObject"}),
              KwHostDouble(m_Engine).Log().Methods());

    KwComPtr<KwHostAttributeCollection> collection;
    ASSERT_EQ(S_OK, m_Engine.CreateAttributeCollection(collection.Receive()));
    KwBstr exposure = KwBstr::FromNarrow("ExifExposure");
    EXPECT_EQ(S_OK, CallSlot(static_cast<IKwAttribute*>(collection.Get()), 9, exposure.Get(),
                             V::Text("0.0080").Get(), LONG(2)));
    EXPECT_EQ("0.0080", collection->FindAttribute("ExifExposure")->Value.ValueText());
}

TEST_F(KwHostLayoutTest, DataObjectStreamAndSinkSlots)
{
    KwComPtr<KwHostMemoryStream> stream;
    ASSERT_EQ(S_OK, m_Engine.CreateMemoryStream("0123456789", 10, stream.Receive()));
    KwComPtr<KwHostDataObject> data;
    ASSERT_EQ(S_OK, m_Engine.CreateDataObject(static_cast<IStream*>(stream.Get()), "a.jpg", data.Receive()));
    IUnknown* storage = nullptr;
    EXPECT_EQ(S_OK, CallSlot(static_cast<IKwDataObject*>(data.Get()), 10, &storage)); // Storage
    ASSERT_NE(nullptr, storage);
    BSTR name = nullptr;
    EXPECT_EQ(S_OK, CallSlot(static_cast<IKwDataObject*>(data.Get()), 11, &name)); // StorageName
    EXPECT_EQ("a.jpg", KwNarrow(name));
    SysFreeString(name);
    EXPECT_EQ(E_NOTIMPL, CallSlot(static_cast<IKwDataObject*>(data.Get()), 19, static_cast<BSTR>(nullptr),
                                  KW_STORAGE_STRUCTURED)); // BindToStorageWrite

    KwComPtr<IStream> asStream;
    ASSERT_EQ(S_OK, KwQuery(storage, asStream.Receive()));
    storage->Release();
    char buffer[4] = {};
    ULONG n = 0;
    EXPECT_EQ(S_OK, CallSlot(asStream.Get(), 3, static_cast<void*>(buffer), ULONG(4), &n)); // Read
    EXPECT_EQ('3', buffer[3]);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    EXPECT_EQ(S_OK, CallSlot(asStream.Get(), 5, zero, DWORD(STREAM_SEEK_SET),
                             static_cast<ULARGE_INTEGER*>(nullptr))); // Seek
    EXPECT_EQ(0u, stream->Position());
    EXPECT_EQ(S_OK, CallSlot(asStream.Get(), 4, static_cast<const void*>("ab"), ULONG(2), &n)); // Write
    EXPECT_EQ('a', stream->Bytes()[0]);
    STATSTG stat;
    EXPECT_EQ(S_OK, CallSlot(asStream.Get(), 12, &stat, DWORD(STATFLAG_NONAME))); // Stat
    EXPECT_EQ(10u, stat.cbSize.QuadPart);

    KwComPtr<KwHostEventSink> sink;
    ASSERT_EQ(S_OK, KwHostEventSink::Create(sink.Receive(), m_Engine.Context()));
    VARIANT_BOOL abort = VARIANT_FALSE;
    EXPECT_EQ(S_OK, CallSlot(static_cast<_IKwFilterEvents*>(sink.Get()), 3, LONG(64), &abort)); // Progress
    EXPECT_EQ(std::vector<LONG>{64}, sink->ProgressValues());
}

} // namespace
