// The engine's services: the attribute collection class reachable by ProgID
// while started, data objects as filters read them, the call log and its fault
// injection, and reading attributes back for a report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "engine/KwHostAttributeCollection.h"
#include "engine/KwHostAttributeReport.h"
#include "engine/KwHostDataObject.h"
#include "engine/KwHostDocument.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostMemoryStream.h"
#include "engine/KwHostNode.h"
#include "engine/KwHostStructuredStorage.h"

namespace {

using V = KwHostVariant;

HRESULT CreateByProgId(KwComPtr<IKwAttribute>* out)
{
    KwBstr progId = KwBstr::FromNarrow("VelEngine.KwAttribute");
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId.Get(), &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IKwAttribute, reinterpret_cast<void**>(out->Receive()));
}

std::string RegistryFileText()
{
    const char* path = std::getenv("KWPLATFORM_REGISTRY");
    if (!path) return std::string();
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(KwHostEngineTest, AttributeClassIsReachableByProgIdOnlyWhileStarted)
{
    LONG liveBefore = KwHostLiveObjects();
    KwComPtr<IKwAttribute> collection;
    {
        KwHostEngine engine;
        EXPECT_TRUE(FAILED(CreateByProgId(&collection))) << "not before Start";
        ASSERT_EQ(S_OK, engine.Start());
        EXPECT_EQ(S_FALSE, engine.Start());
        ASSERT_EQ(S_OK, CreateByProgId(&collection));
        CLSID clsid;
        KwBstr progId = KwBstr::FromNarrow("VelEngine.KwAttribute");
        ASSERT_EQ(S_OK, CLSIDFromProgID(progId.Get(), &clsid));
        EXPECT_TRUE(IsEqualGUID(KwHostEngine::AttributeClassId(), clsid));

        // The keys are volatile: they never reach the registry file.
        EXPECT_EQ(std::string::npos, RegistryFileText().find("VelEngine")) << RegistryFileText();

        // A usable collection, logged as the engine's.
        KwBstr make = KwBstr::FromNarrow("ExifMake");
        EXPECT_EQ(S_OK, collection->PutAttribute(make.Get(), V::Text("Canon").Get(), 2));
        EXPECT_EQ("attributes.PutAttribute(\"ExifMake\", VT_BSTR \"Canon\", Type 2) -> S_OK",
                  KwHostDouble(engine).Log().Lines().back());

        // No aggregation.
        KwComPtr<IUnknown> aggregated;
        EXPECT_EQ(CLASS_E_NOAGGREGATION,
                  CoCreateInstance(clsid, reinterpret_cast<IUnknown*>(collection.Get()), CLSCTX_ALL, IID_IUnknown,
                                   reinterpret_cast<void**>(aggregated.Receive())));

        engine.Stop();
        KwComPtr<IKwAttribute> after;
        EXPECT_TRUE(FAILED(CreateByProgId(&after))) << "not after Stop";
        EXPECT_FALSE(after);
        KwComPtr<IKwAttribute> byClsid;
        EXPECT_TRUE(FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IKwAttribute,
                                            reinterpret_cast<void**>(byClsid.Receive()))));
    }
    // A collection outlives the engine that made it.
    LONG count = -1;
    EXPECT_EQ(S_OK, collection->get_AttributeCount(&count));
    EXPECT_EQ(1, count);
    collection.Reset();
    EXPECT_EQ(liveBefore, KwHostLiveObjects());
}

TEST(KwHostEngineTest, AttributeClassCanBeMadeUnavailableOrFailing)
{
    KwHostEngine engine;
    KwHostDouble(engine).Switches().AttributeClassUnavailable = true;
    ASSERT_EQ(S_OK, engine.Start());
    KwComPtr<IKwAttribute> collection;
    EXPECT_TRUE(FAILED(CreateByProgId(&collection)));
    engine.Stop();

    KwHostDouble(engine).Switches().AttributeClassUnavailable = false;
    KwHostDouble(engine).Switches().AttributeCreateResult = E_OUTOFMEMORY;
    ASSERT_EQ(S_OK, engine.Start());
    EXPECT_EQ(E_OUTOFMEMORY, CreateByProgId(&collection));
    EXPECT_FALSE(collection);
}

TEST(KwHostEngineTest, DataObjectHandsOutItsStorageAndName)
{
    LONG liveBefore = KwHostLiveObjects();
    KwHostEngine engine;
    {
        KwComPtr<KwHostMemoryStream> stream;
        ASSERT_EQ(S_OK, engine.CreateMemoryStream("abc", 3, stream.Receive()));
        KwComPtr<KwHostDataObject> data;
        ASSERT_EQ(S_OK, engine.CreateDataObject(static_cast<IStream*>(stream.Get()), "photo.jpg", data.Receive()));
        IKwDataObject* object = data.Get();

        ULONG refsBefore = stream->References();
        KwComPtr<IUnknown> storage;
        EXPECT_EQ(S_OK, object->get_Storage(storage.Receive()));
        EXPECT_EQ(refsBefore + 1, stream->References()) << "the storage comes with a reference";
        KwComPtr<IStream> asStream;
        EXPECT_EQ(S_OK, KwQuery(storage.Get(), asStream.Receive()));

        KwBstr name;
        EXPECT_EQ(S_OK, object->get_StorageName(name.Receive()));
        EXPECT_EQ("photo.jpg", KwNarrow(name.Get()));
        data->SetNameMode(KwHostNameMode::Empty);
        EXPECT_EQ(S_OK, object->get_StorageName(name.Receive()));
        EXPECT_TRUE(name.Ok());
        EXPECT_EQ(0u, name.Length());
        data->SetNameMode(KwHostNameMode::Null);
        EXPECT_EQ(S_OK, object->get_StorageName(name.Receive()));
        EXPECT_FALSE(name.Ok());
        data->SetNameMode(KwHostNameMode::Fail);
        EXPECT_EQ(E_FAIL, object->get_StorageName(name.Receive()));

        KW_STORAGE_TYPE type = KW_STORAGE_NONE;
        EXPECT_EQ(S_OK, object->get_StorageType(&type));
        EXPECT_EQ(KW_STORAGE_STREAM, type);
        LONG size = 0;
        EXPECT_EQ(S_OK, object->get_FileSize(VARIANT_FALSE, &size));
        EXPECT_EQ(3, size);
        EXPECT_EQ(S_OK, object->get_FileSize(VARIANT_TRUE, &size));
        EXPECT_EQ(0, size);

        EXPECT_EQ((std::vector<std::string>{"data object.Storage", "data object.StorageName",
                                            "data object.StorageName", "data object.StorageName",
                                            "data object.StorageName"}),
                  KwHostDouble(engine).Log().Methods());
    }
    {
        // A structured storage answers no IStream; an unbound data object has no storage.
        KwComPtr<IUnknown> structured;
        ASSERT_EQ(S_OK, KwHostStructuredStorage::Create(structured.Receive(), engine.Context()));
        KwComPtr<KwHostDataObject> data;
        ASSERT_EQ(S_OK, engine.CreateDataObject(structured.Get(), "x.jpg", data.Receive()));
        KwComPtr<IUnknown> storage;
        EXPECT_EQ(S_OK, data->get_Storage(storage.Receive()));
        KwComPtr<IStream> noStream;
        EXPECT_EQ(E_NOINTERFACE, KwQuery(storage.Get(), noStream.Receive()));
        KW_STORAGE_TYPE type = KW_STORAGE_NONE;
        EXPECT_EQ(S_OK, data->get_StorageType(&type));
        EXPECT_EQ(KW_STORAGE_STRUCTURED, type);

        KwComPtr<KwHostDataObject> unbound;
        ASSERT_EQ(S_OK, engine.CreateDataObject(nullptr, "", unbound.Receive()));
        EXPECT_TRUE(FAILED(unbound->get_Storage(storage.Receive())));
        EXPECT_FALSE(storage);
    }
    EXPECT_EQ(liveBefore, KwHostLiveObjects());
}

TEST(KwHostEngineTest, DataObjectBindsFilesByName)
{
    KwHostEngine engine;
    std::string path = std::string(KW_TEST_BINARY_DIR) + "/host-bind-test.jpg";
    KwComPtr<KwHostDataObject> data;
    ASSERT_EQ(S_OK, engine.CreateDataObject(nullptr, "", data.Receive()));
    KwBstr name = KwBstr::FromNarrow(path.c_str());
    ASSERT_EQ(S_OK, data->BindToStorageWrite(name.Get(), KW_STORAGE_STREAM));
    EXPECT_EQ(E_NOTIMPL, data->BindToStorageWrite(name.Get(), KW_STORAGE_STRUCTURED));
    {
        KwComPtr<IUnknown> storage;
        ASSERT_EQ(S_OK, data->get_Storage(storage.Receive()));
        KwComPtr<IStream> stream;
        ASSERT_EQ(S_OK, KwQuery(storage.Get(), stream.Receive()));
        ULONG n = 0;
        EXPECT_EQ(S_OK, stream->Write("\xFF\xD8", 2, &n));
    }
    EXPECT_EQ(S_OK, data->ResetStorage());
    ASSERT_EQ(S_OK, data->BindToStorage(name.Get(), VARIANT_FALSE));
    KW_STORAGE_SCHEME scheme = KW_STORAGE_SCHEME_UNKNOWN;
    EXPECT_EQ(S_OK, data->get_StorageScheme(&scheme));
    EXPECT_EQ(KW_STORAGE_SCHEME_FILE, scheme);
    LONG size = 0;
    EXPECT_EQ(S_OK, data->get_FileSize(VARIANT_FALSE, &size));
    EXPECT_EQ(2, size);
    KwBstr storageName;
    EXPECT_EQ(S_OK, data->get_StorageName(storageName.Receive()));
    EXPECT_EQ(path, KwNarrow(storageName.Get()));
    data.Reset();
    std::remove(path.c_str());

    KwBstr missing = KwBstr::FromNarrow((path + ".missing").c_str());
    ASSERT_EQ(S_OK, engine.CreateDataObject(nullptr, "", data.Receive()));
    EXPECT_EQ(STG_E_FILENOTFOUND, data->BindToStorage(missing.Get(), VARIANT_FALSE));
}

TEST(KwHostEngineTest, CallLogRecordsCallsInOrderAndInjectsFaults)
{
    KwHostEngine engine;
    KwComPtr<KwHostDocument> document;
    ASSERT_EQ(S_OK, engine.CreateDocument(document.Receive()));
    KwBstr a = KwBstr::FromNarrow("A");
    KwBstr b = KwBstr::FromNarrow("B");
    IKwDocument* doc = document.Get();

    // The third PutAttribute fails and stores nothing; the others go through.
    KwHostDouble(engine).Switches().FailCall(3, "PutAttribute", E_OUTOFMEMORY);
    KwComPtr<IDispatch> contents;
    EXPECT_EQ(S_OK, doc->PutAttribute(a.Get(), V::I4(1).Get(), 2));
    EXPECT_EQ(S_OK, doc->CreateChild(V::Text("Contents").Get(), V::I2(KW_CONTENTS).Get(), VARIANT_TRUE, nullptr,
                                     contents.Receive()));
    EXPECT_EQ(S_OK, doc->PutAttribute(a.Get(), V::I4(2).Get(), 2));
    EXPECT_EQ(E_OUTOFMEMORY, doc->PutAttribute(b.Get(), V::I4(3).Get(), 0));
    EXPECT_EQ(S_OK, doc->PutAttribute(b.Get(), V::I4(4).Get(), 0));
    EXPECT_EQ(2, document->FindAttribute("A")->Value.Get().lVal);
    EXPECT_EQ(4, document->FindAttribute("B")->Value.Get().lVal);

    const KwHostCallLog& log = KwHostDouble(engine).Log();
    EXPECT_EQ((std::vector<std::string>{"PutAttribute(A)", "CreateChild(\"Contents\")", "PutAttribute(A)",
                                        "PutAttribute(B)", "PutAttribute(B)"}),
              log.Steps());
    EXPECT_EQ("document.PutAttribute(\"A\", VT_I4 1, Type 2) -> S_OK", log[0].Text);
    EXPECT_EQ("document.CreateChild(\"Contents\", VT_I2 1101, Protected -1) -> S_OK", log[1].Text);
    EXPECT_EQ(KW_CONTENTS, log[1].Type);
    EXPECT_EQ(VT_I2, log[1].Value.Type());
    EXPECT_EQ(VT_BSTR, log[1].Index.Type());
    EXPECT_EQ(VARIANT_TRUE, log[1].Flag);
    EXPECT_EQ(E_OUTOFMEMORY, log[3].Result);
    EXPECT_EQ(2u, log.IndexOf("PutAttribute", "A", 1));
    EXPECT_EQ(5u, log.IndexOf("EndObject"));
    EXPECT_EQ(5u, KwHostDouble(engine).CallCount());

    // Counting every method from now on: the second call fails, whatever it is.
    KwHostDouble(engine).Switches().FailCall(2, "", E_FAIL);
    KwComPtr<IDispatch> none;
    EXPECT_EQ(S_OK, doc->PutAttribute(a.Get(), V::I4(5).Get(), 2));
    EXPECT_EQ(E_FAIL, doc->CreateChild(V::Text("Other").Get(), V::I2(KW_CONTENTS).Get(), VARIANT_TRUE, nullptr,
                                       none.Receive()));
    EXPECT_FALSE(none);
    EXPECT_EQ(1u, document->ChildCount());
}

TEST(KwHostEngineTest, ReportReadsAttributesAndNestedCollections)
{
    KwHostEngine engine;
    KwComPtr<KwHostDocument> document;
    ASSERT_EQ(S_OK, engine.CreateDocument(document.Receive()));
    KwComPtr<KwHostAttributeCollection> exif;
    ASSERT_EQ(S_OK, engine.CreateAttributeCollection(exif.Receive()));
    exif->SetAttribute("ExifMake", V::Text("Canon"), 2);
    exif->SetAttribute("ExifFlash", V::Text("Yes"), 2);
    document->SetAttribute("Format", V::Text("JPEG (Exif)"));
    KwVariant dispatch;
    dispatch.SetDispatch(static_cast<IKwAttribute*>(exif.Get()));
    document->SetAttribute("SummaryInformation", KwHostVariant(dispatch), 2);
    document->SetAttribute("DocType", V::I4(2), 2);

    std::vector<KwHostReportedAttribute> entries;
    ASSERT_EQ(S_OK, KwHostAttributeReport::Read(static_cast<IKwDocument*>(document.Get()), &entries));
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ("Format", entries[0].Name);
    EXPECT_EQ("JPEG (Exif)", entries[0].Value.ValueText());
    const KwHostReportedAttribute* summary = KwHostAttributeReport::Find(entries, "SummaryInformation");
    ASSERT_NE(nullptr, summary);
    ASSERT_EQ(2u, summary->Children.size());
    EXPECT_EQ("ExifMake", summary->Children[0].Name);
    EXPECT_EQ("Canon", summary->Children[0].Value.ValueText());
    EXPECT_EQ(0u, KwHostDouble(engine).Log().Size()) << "reading a report is not a filter's call";

    // A collection holding itself is not followed for ever.
    KwVariant self;
    self.SetDispatch(static_cast<IKwAttribute*>(exif.Get()));
    exif->SetAttribute("Self", KwHostVariant(self));
    ASSERT_EQ(S_OK, KwHostAttributeReport::Read(static_cast<IKwAttribute*>(exif.Get()), &entries));
    exif->SetAttribute("Self", V::I4(0)); // break the cycle again

    // The tree report reads the host's own attributes even where a switch leaves IKwAttribute out.
    KwHostDouble(engine).Switches().Omit(KW_DOCUMENT, IID_IKwAttribute);
    ASSERT_EQ(S_OK, KwHostAttributeReport::Read(static_cast<IKwDocument*>(document.Get()), &entries));
    EXPECT_TRUE(entries.empty());
    std::string tree = KwHostAttributeReport::DescribeTree(document.Get());
    EXPECT_NE(std::string::npos, tree.find("document\n  Format = JPEG (Exif) (VT_BSTR)\n")) << tree;
    EXPECT_NE(std::string::npos, tree.find("  SummaryInformation = <object> (VT_DISPATCH)\n      ExifMake = Canon"))
        << tree;
}

} // namespace
