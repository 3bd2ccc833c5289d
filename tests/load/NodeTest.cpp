// GetNode: node selectors, the node's life, failures of the host, the node's
// attributes with the resolution rule, EXIF, and calls from a sink during a load.
#include <algorithm>

#include "common/ExifBuilder.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEventSink.h"
#include "com/KwModuleLock.h"
#include "LoadFixture.h"

namespace {

VARIANT Typed(VARTYPE vt, LONG value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    if (vt == VT_I2) v.iVal = static_cast<SHORT>(value);
    else if (vt == VT_UI1) v.bVal = static_cast<BYTE>(value);
    else if (vt == VT_BOOL) v.boolVal = static_cast<VARIANT_BOOL>(value);
    else if (vt == VT_R8) v.dblVal = value;
    else v.lVal = value;
    return v;
}

TestJpeg::Options Density(int unit, int x, int y)
{
    TestJpeg::Options o;
    o.DensityUnit = unit;
    o.XDensity = x;
    o.YDensity = y;
    return o;
}

} // namespace

class NodeTest : public LoadFixture {};

TEST_F(NodeTest, SelectorsOfNodeOne)
{
    ASSERT_EQ(Open(TestJpeg::Make(TestJpeg::Options())), S_OK);
    // Asking for the node alone creates it and reads nothing.
    KwComPtr<IDispatch> first;
    ASSERT_EQ(GetNode(Empty(), VARIANT_FALSE, first.Receive()), S_OK);
    ASSERT_NE(Node(), nullptr);
    KwComPtr<IDispatch> expected;
    ASSERT_EQ(KwQuery(static_cast<IKwContainer*>(Node()), expected.Receive()), S_OK);
    EXPECT_EQ(first.Get(), expected.Get());
    EXPECT_EQ(KwHostDouble(stream).ReadRequests().size(), 1u) << "only the acceptance test read";
    EXPECT_EQ(RasterCount(), 0u);
    EXPECT_EQ(NodePuts(), (std::vector<std::string>{"NodeID", "Default", "Loaded", "Compression"}));
    const KwHostChildEntry& entry = Contents()->Children()[0];
    EXPECT_EQ(entry.ObjectType, KW_CONTAINER);
    EXPECT_TRUE(entry.ProtectedChild);
    EXPECT_EQ(entry.Index.Type(), VT_I4);

    for (VARIANT selector : {Typed(VT_BOOL, VARIANT_FALSE), Typed(VT_BOOL, VARIANT_TRUE), Typed(VT_BOOL, 1),
                         Typed(VT_I2, 1), Typed(VT_I4, 1), Typed(VT_UI1, 1)}) {
        KwComPtr<IDispatch> node;
        EXPECT_EQ(GetNode(selector, VARIANT_FALSE, node.Receive()), S_OK) << selector.vt;
        EXPECT_EQ(node.Get(), expected.Get());
    }
    EXPECT_EQ(Contents()->ChildCount(), 1u);
    EXPECT_EQ(NodePuts().size(), 4u) << "creation attributes only once";
}

TEST_F(NodeTest, OtherSelectorsCreateNothing)
{
    ASSERT_EQ(Open(TestJpeg::Make(TestJpeg::Options())), S_OK);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(OLESTR("1"));
    for (VARIANT selector : {Typed(VT_I4, 0), Typed(VT_I4, 2), Typed(VT_I4, -1), Typed(VT_I2, -1), Typed(VT_UI1, 255),
                         Typed(VT_R8, 1), Typed(VT_UI4, 1), Typed(VT_NULL, 0), text}) {
        IDispatch* node = reinterpret_cast<IDispatch*>(0x1234);
        EXPECT_EQ(GetNode(selector, VARIANT_TRUE, &node), E_FAIL) << selector.vt;
        EXPECT_EQ(node, nullptr);
    }
    VariantClear(&text);
    EXPECT_EQ(Contents()->ChildCount(), 0u);
    // Without OpenDocument there is nothing to find.
    KwComPtr<IKwFilter> fresh = NewFilter();
    EXPECT_EQ(fresh->GetNode(Empty(), VARIANT_FALSE, nullptr), E_FAIL);
}

TEST_F(NodeTest, LifeOfTheNode)
{
    const Bytes file = TestJpeg::Make(TestJpeg::Options());
    ASSERT_EQ(Open(file), S_OK);
    // A null NodeObject is accepted; the node is created and loaded.
    ASSERT_EQ(Load(nullptr), S_OK);
    EXPECT_EQ(NodePuts(), (std::vector<std::string>{"NodeID", "Default", "Loaded", "Compression", "BitsPerPixel",
                                                    "LpiX", "LpiY", "Loaded"}));
    // Loaded: a second load does nothing.
    const size_t reads = KwHostDouble(stream).ReadLog().size();
    {
        KwComPtr<IDispatch> node;
        EXPECT_EQ(Load(node.Receive()), S_OK);
        EXPECT_TRUE(node);
    }
    EXPECT_EQ(KwHostDouble(stream).ReadLog().size(), reads);
    EXPECT_EQ(RasterCount(), 1u);
    EXPECT_EQ(Raster()->EndObjectCalls(), 1u);

}

TEST_F(NodeTest, OnlyALoadedTrueNodeCountsAsLoaded)
{
    // A node that the host says is loaded is not loaded again; any other "Loaded" value is not loaded.
    ASSERT_EQ(Open(TestJpeg::Make(TestJpeg::Options())), S_OK);
    ASSERT_EQ(GetNode(Empty(), VARIANT_FALSE), S_OK);
    Node()->SetAttribute("Loaded", KwHostVariant::Bool(true));
    EXPECT_EQ(Load(), S_OK);
    EXPECT_EQ(RasterCount(), 0u);
    Node()->SetAttribute("Loaded", KwHostVariant::I4(-1));
    EXPECT_EQ(Load(), S_OK);
    EXPECT_EQ(RasterCount(), 1u);
    KwHostDouble(context).Switches().GetAttributeResult = E_FAIL;
    EXPECT_EQ(Load(), S_OK);
    EXPECT_EQ(RasterCount(), 2u) << "an unreadable Loaded counts as not loaded";
}

struct HostFailureCase {
    const char* what;
    void (*arrange)(KwHostSwitches&);
    bool withNode;
    HRESULT expected;
};
void PrintTo(const HostFailureCase& c, std::ostream* os) { *os << c.what; }
class HostFailureTest : public LoadCaseTest<HostFailureCase> {};

TEST_P(HostFailureTest, FailuresOfTheHost)
{
    const HostFailureCase& c = GetParam();
    ASSERT_EQ(Open(TestJpeg::Make(TestJpeg::Options())), S_OK);
    c.arrange(KwHostDouble(context).Switches());
    KwComPtr<IDispatch> node;
    EXPECT_EQ(Load(c.withNode ? node.Receive() : nullptr), c.expected);
    const KwHostAttributeEntry* loaded = NodeAttribute("Loaded");
    // Loaded only when the decode ran to its end (EndObject comes after the attributes).
    const bool complete = c.expected == S_OK || c.expected == E_NOTIMPL;
    if (loaded) {
        EXPECT_EQ(loaded->Value.Get().boolVal, complete ? VARIANT_TRUE : VARIANT_FALSE);
    }
    EXPECT_EQ(NodeAttribute("BitsPerPixel") != nullptr, complete);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostFailureTest,
    ::testing::Values(
        HostFailureCase{"container refused", [](KwHostSwitches& s) { s.Refuse(KW_CONTAINER, E_ACCESSDENIED); }, true,
                        E_FAIL},
        HostFailureCase{"container not made", [](KwHostSwitches& s) { s.Refuse(KW_CONTAINER, S_OK); }, true, E_FAIL},
        HostFailureCase{"no IKwContainer", [](KwHostSwitches& s) { s.Omit(KW_CONTAINER, IID_IKwContainer); }, true,
                        E_FAIL},
        HostFailureCase{"no IKwChildren", [](KwHostSwitches& s) { s.Omit(KW_CONTENTS, IID_IKwChildren); }, true,
                        E_FAIL},
        HostFailureCase{"no IDispatch", [](KwHostSwitches& s) { s.Omit(KW_CONTAINER, IID_IDispatch); }, true,
                        E_NOINTERFACE},
        HostFailureCase{"no IDispatch, none asked", [](KwHostSwitches& s) { s.Omit(KW_CONTAINER, IID_IDispatch); },
                        false, S_OK},
        HostFailureCase{"raster refused", [](KwHostSwitches& s) { s.Refuse(KW_RASTER_BLOCK, E_FAIL); }, true, E_FAIL},
        HostFailureCase{"no IKwRasterBlock",
                        [](KwHostSwitches& s) { s.Omit(KW_RASTER_BLOCK, IID_IKwRasterBlock); }, true, E_FAIL},
        HostFailureCase{"storage refused",
                        [](KwHostSwitches& s) { s.CreateRasterStorageResult = static_cast<HRESULT>(0x80041234); },
                        true, static_cast<HRESULT>(0x80041234)},
        HostFailureCase{"EndObject fails", [](KwHostSwitches& s) { s.EndObjectResult = E_NOTIMPL; }, true,
                        E_NOTIMPL}));

struct ResolutionCase {
    TestJpeg::Options options;
    bool jfif;
    double lpiX;
    double lpiY;
    // An EXIF block whose first directory gives this resolution (unit 0: no
    // unit tag) and whose thumbnail's directory says 72 dpi; -1: none.
    int exifUnit = -1;
    uint32_t exifX = 0;
    uint32_t exifY = 0;
};
void PrintTo(const ResolutionCase& c, std::ostream* os)
{
    *os << c.options.DensityUnit << " " << c.options.XDensity << "x" << c.options.YDensity
        << (c.jfif ? "" : " without JFIF");
    if (c.exifUnit >= 0) *os << ", EXIF unit " << c.exifUnit << " " << c.exifX << "x" << c.exifY;
}
class ResolutionTest : public LoadCaseTest<ResolutionCase> {};

TEST_P(ResolutionTest, AttributesAndResolution)
{
    const ResolutionCase& c = GetParam();
    TestJpeg::Options options = c.options;
    options.JfifMarker = c.jfif;
    Bytes file = TestJpeg::Make(options);
    if (c.exifUnit >= 0) {
        ExifBuilder exif;
        const int thumbnail = exif.AddDirectory();
        exif.AddRational(0, 0x011A, c.exifX, 1).AddRational(0, 0x011B, c.exifY, 1).SetNext(0, thumbnail);
        if (c.exifUnit > 0) exif.AddShort(0, 0x0128, static_cast<uint16_t>(c.exifUnit));
        exif.AddRational(thumbnail, 0x011A, 72, 1).AddRational(thumbnail, 0x011B, 72, 1).AddShort(thumbnail, 0x0128, 2);
        file = ExifBuilder::InsertAfterSoi(file, ExifBuilder::App1(exif.Payload()));
    }
    OpenAndLoad(file);
    // A second load of the same node publishes what the first did.
    for (int load = 0; load < 2; ++load) {
        if (load == 1) {
            Node()->SetAttribute("Loaded", KwHostVariant::Bool(false));
            ASSERT_EQ(Load(), S_OK);
        }
        const KwHostAttributeEntry* x = NodeAttribute("LpiX");
        const KwHostAttributeEntry* y = NodeAttribute("LpiY");
        ASSERT_TRUE(x && y);
        EXPECT_EQ(x->Value.Type(), VT_R8);
        EXPECT_DOUBLE_EQ(x->Value.Get().dblVal, c.lpiX) << load;
        EXPECT_DOUBLE_EQ(y->Value.Get().dblVal, c.lpiY) << load;
        EXPECT_EQ(x->Type, 0);
    }
    // The completion attributes, with their types.
    const KwHostAttributeEntry* bits = NodeAttribute("BitsPerPixel");
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(bits->Value.Type(), VT_I4);
    EXPECT_EQ(bits->Type, 2);
    const KwHostAttributeEntry* loaded = NodeAttribute("Loaded");
    EXPECT_EQ(loaded->Value.Type(), VT_BOOL);
    EXPECT_EQ(loaded->Value.Get().boolVal, VARIANT_TRUE);
    EXPECT_EQ(loaded->Type, 2);
    const KwHostAttributeEntry* compression = NodeAttribute("Compression");
    EXPECT_EQ(compression->Value.ValueText(), "JPEG");
    EXPECT_EQ(compression->Type, 2);
    EXPECT_EQ(NodeAttribute("NodeID")->Value.Get().lVal, 1);
    EXPECT_EQ(NodeAttribute("Default")->Value.Get().boolVal, VARIANT_TRUE);
    // A whole file without EXIF: nothing beyond what every load publishes.
    EXPECT_EQ(NodeAttribute("Orientation"), nullptr);
    EXPECT_EQ(NodeAttribute("Damage"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Densities, ResolutionTest,
    ::testing::Values(ResolutionCase{Density(1, 300, 300), true, 300.0, 300.0},
                      ResolutionCase{Density(2, 118, 118), true, 118 * 2.54, 118 * 2.54},
                      ResolutionCase{Density(0, 1, 1), true, 96.0, 96.0},
                      ResolutionCase{Density(0, 1, 1), false, 96.0, 96.0},
                      ResolutionCase{Density(1, 300, 5), true, 300.0, 96.0},
                      ResolutionCase{Density(0, 72, 150), true, 72.0, 150.0},
                      ResolutionCase{Density(1, 10, 11), true, 96.0, 11.0},
                      ResolutionCase{Density(2, 0, 1), true, 96.0, 2.54},
                      ResolutionCase{Density(3, 300, 300), true, 96.0, 96.0},
                      ResolutionCase{Density(0, 1, 1), true, 240.0, 240.0, 2, 240, 240},
                      ResolutionCase{Density(0, 1, 1), false, 300.0, 150.0, 0, 300, 150},
                      ResolutionCase{Density(1, 300, 5), true, 300.0, 118 * 2.54, 3, 200, 118},
                      ResolutionCase{Density(0, 1, 1), true, 96.0, 96.0, 1, 240, 240}));

TEST_F(NodeTest, ExifAndResolutionBelongToTheirDocument)
{
    ExifBuilder exif;
    exif.AddAscii(0, 0x010F, "Maker");
    exif.AddShort(0, 0x0112, 6);
    const Bytes withExif = ExifBuilder::InsertAfterSoi(TestJpeg::Make(Density(1, 300, 200)),
                                                       ExifBuilder::App1(exif.Payload()));
    TestJpeg::Options noDensity;
    noDensity.JfifMarker = false;
    const Bytes plain = TestJpeg::Make(noDensity);

    OpenAndLoad(plain);
    EXPECT_EQ(DocumentAttribute("Format")->Value.ValueText(), "JPEG");
    EXPECT_EQ(DocumentAttribute("SummaryInformation"), nullptr);

    KwComPtr<KwHostDocument> exifDocument = NewDocument();
    KwComPtr<KwHostDataObject> data = Bind(withExif, "camera.jpg");
    ASSERT_EQ(filter->OpenDocument(data.Get(), exifDocument.Get(), nullptr), S_OK);
    ASSERT_EQ(filter->GetNode(Empty(), VARIANT_TRUE, nullptr), S_OK);
    EXPECT_EQ(exifDocument->FindAttribute("Format")->Value.ValueText(), "JPEG (Exif)");
    ASSERT_NE(exifDocument->FindAttribute("SummaryInformation"), nullptr);
    EXPECT_EQ(exifDocument->FindAttribute("SummaryInformation")->Value.Type(), VT_DISPATCH);
    KwHostNode* exifNode = exifDocument->Contents()->FindNode(1);
    EXPECT_DOUBLE_EQ(exifNode->FindAttribute("LpiY")->Value.Get().dblVal, 200.0);
    // The orientation comes last, as a number the host can use.
    ASSERT_EQ(exifNode->Attributes().back().Name, "Orientation");
    EXPECT_EQ(exifNode->Attributes().back().Value.Type(), VT_I4);
    EXPECT_EQ(exifNode->Attributes().back().Value.Get().lVal, 6);

    // The next document on the same filter gets what a new filter gives it.
    KwComPtr<KwHostDocument> later = NewDocument();
    data = Bind(plain, "later.jpg");
    ASSERT_EQ(filter->OpenDocument(data.Get(), later.Get(), nullptr), S_OK);
    ASSERT_EQ(filter->GetNode(Empty(), VARIANT_TRUE, nullptr), S_OK);
    EXPECT_EQ(later->FindAttribute("Format")->Value.ValueText(), "JPEG");
    EXPECT_EQ(later->FindAttribute("SummaryInformation"), nullptr);
    KwHostNode* laterNode = later->Contents()->FindNode(1);
    EXPECT_DOUBLE_EQ(laterNode->FindAttribute("LpiX")->Value.Get().dblVal, 96.0);
    EXPECT_DOUBLE_EQ(laterNode->FindAttribute("LpiY")->Value.Get().dblVal, 96.0);
    EXPECT_EQ(laterNode->FindAttribute("Orientation"), nullptr);
}

TEST_F(NodeTest, ProfileChunksAreJoinedInSequenceOrderAndABrokenSequenceIsDamage)
{
    auto chunk = [](int sequence, int count, const char* data) {
        const std::string payload = std::string("ICC_PROFILE", 12) + char(sequence) + char(count) + data;
        return ExifBuilder::Section(0xE2, Bytes(payload.begin(), payload.end()));
    };
    // Stored second chunk first.
    Bytes chunks = chunk(2, 2, "tail");
    const Bytes first = chunk(1, 2, "head-");
    chunks.insert(chunks.end(), first.begin(), first.end());
    OpenAndLoad(ExifBuilder::InsertAfterSoi(TestJpeg::Make(TestJpeg::Options()), chunks));
    const KwHostAttributeEntry* profile = NodeAttribute("ICCProfile");
    ASSERT_NE(profile, nullptr);
    LONG lower = -1;
    ASSERT_EQ(SafeArrayGetLBound(profile->Value.Get().parray, 1, &lower), S_OK);
    EXPECT_EQ(lower, 0);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(KwHostVariant::Bytes(profile->Value.Get(), &bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "head-tail");
    EXPECT_EQ(NodeAttribute("Damage"), nullptr);

    // The first of two chunks alone, or a chunk of a count of none, makes no profile.
    for (const Bytes& sections : {first, chunk(1, 0, "none")}) {
        KwComPtr<KwHostDocument> broken = NewDocument();
        KwComPtr<KwHostDataObject> data =
            Bind(ExifBuilder::InsertAfterSoi(TestJpeg::Make(TestJpeg::Options()), sections), "b.jpg");
        ASSERT_EQ(filter->OpenDocument(data.Get(), broken.Get(), nullptr), S_OK);
        ASSERT_EQ(filter->GetNode(Empty(), VARIANT_TRUE, nullptr), S_OK);
        KwHostNode* node = broken->Contents()->FindNode(1);
        EXPECT_EQ(node->FindAttribute("ICCProfile"), nullptr);
        ASSERT_NE(node->FindAttribute("Damage"), nullptr);
        EXPECT_EQ(node->FindAttribute("Damage")->Value.ValueText(), "Corrupt JPEG data: bad ICC marker");
    }
}

TEST_F(NodeTest, WithoutTheAttributeClassExifIsSkipped)
{
    ExifBuilder exif;
    exif.AddAscii(0, 0x010F, "Maker");
    engine->Stop();
    OpenAndLoad(ExifBuilder::InsertAfterSoi(TestJpeg::Make(TestJpeg::Options()), ExifBuilder::App1(exif.Payload())));
    EXPECT_EQ(DocumentAttribute("SummaryInformation"), nullptr);
    EXPECT_EQ(DocumentAttribute("Format")->Value.ValueText(), "JPEG");
}

TEST_F(NodeTest, OneLoadMakesTheseHostCallsInOrder)
{
    // Two gray rows and an EXIF block: every kind of call a load makes.
    TestJpeg::Options options;
    options.Kind = TestJpeg::Gray;
    options.Width = 8;
    options.Height = 2;
    ExifBuilder exif;
    exif.AddAscii(0, 0x010F, "Maker");
    const Bytes app1 = ExifBuilder::App1(exif.Payload());
    const Bytes file = ExifBuilder::InsertAfterSoi(TestJpeg::Make(options), app1);
    ASSERT_EQ(Open(file), S_OK);
    KwHostDouble(context).Log().Clear();
    ASSERT_EQ(Load(), S_OK);

    // Each call as the log shows it, with the VARIANT type of a child index.
    std::vector<std::string> calls;
    for (const KwHostCall& call : KwHostDouble(context).Log().Calls()) {
        calls.push_back(call.Text);
        if (call.Index.Type() != VT_EMPTY) calls.back() += std::string(" index ") + KwHostVariant::TypeName(call.Index.Type());
    }
    const std::string node = "document/\"Contents\"/1";
    const std::string raster = node + "/\"\"";
    const std::string oneByte = "stream.Read(1 bytes, 1 read) -> S_OK";
    const std::vector<std::string> expected = {
        // The node, found or made, and its creation attributes.
        "document/\"Contents\".GetChild(1) -> E_INVALIDARG index VT_I4",
        "document/\"Contents\".CreateChild(1, VT_I4 1102, Protected -1) -> S_OK index VT_I4",
        node + ".PutAttribute(\"NodeID\", VT_I4 1, Type 2) -> S_OK",
        node + ".PutAttribute(\"Default\", VT_BOOL -1, Type 0) -> S_OK",
        node + ".PutAttribute(\"Loaded\", VT_BOOL 0, Type 0) -> S_OK",
        node + ".PutAttribute(\"Compression\", VT_BSTR \"JPEG\", Type 2) -> S_OK",
        // The header scan: SOI, the APP1 marker and length a byte at a time, its body at once.
        "stream.Seek(0, origin 0) -> S_OK", oneByte, oneByte, oneByte, oneByte, oneByte, oneByte,
        "stream.Read(" + std::to_string(app1.size() - 4) + " bytes, " + std::to_string(app1.size() - 4) +
            " read) -> S_OK",
        "document.PutAttribute(\"SummaryInformation\", VT_DISPATCH <object>, Type 2) -> S_OK",
        "attributes.PutAttribute(\"ExifVersion\", VT_BSTR \"\", Type 2) -> S_OK",
        "attributes.PutAttribute(\"ExifMake\", VT_BSTR \"Maker\", Type 2) -> S_OK",
        "attributes.PutAttribute(\"ExifModel\", VT_BSTR \"\", Type 2) -> S_OK",
        "attributes.PutAttribute(\"ExifDateTime\", VT_BSTR \"\", Type 2) -> S_OK",
        "attributes.PutAttribute(\"ExifFlash\", VT_BSTR \"No\", Type 2) -> S_OK",
        // The decode: a raster block, the whole file, two rows.
        "stream.Seek(0, origin 0) -> S_OK",
        node + ".CreateChild(\"\", VT_I2 1202, Protected 0) -> S_OK index VT_BSTR",
        "stream.Read(" + std::to_string(file.size()) + " bytes, " + std::to_string(file.size()) +
            " read) -> S_OK",
        raster + ".CreateRasterStorage(8, 2, 8, 0, 0, \"JPEG\", 256, table) -> S_OK",
        raster + ".AddScanline1(5, 0, 1, 8) -> S_OK",
        raster + ".AddScanline1(5, 1, 1, 8) -> S_OK",
        // Completion.
        node + ".PutAttribute(\"BitsPerPixel\", VT_I4 8, Type 2) -> S_OK",
        node + ".PutAttribute(\"LpiX\", VT_R8 96.0000, Type 0) -> S_OK",
        node + ".PutAttribute(\"LpiY\", VT_R8 96.0000, Type 0) -> S_OK",
        node + ".PutAttribute(\"Loaded\", VT_BOOL -1, Type 2) -> S_OK",
        "document.PutAttribute(\"Format\", VT_BSTR \"JPEG (Exif)\", Type 0) -> S_OK",
        raster + ".EndObject() -> S_OK",
    };
    EXPECT_EQ(calls, expected);

    // A progressive file: the host is asked for the storage as soon as the
    // header is read, before the scans (the rest of the file) are.
    options.Kind = TestJpeg::Rgb;
    options.Width = options.Height = 128;
    options.Progressive = true;
    ASSERT_EQ(Open(TestJpeg::Make(options)), S_OK);
    KwHostDouble(context).Log().Clear();
    ASSERT_EQ(Load(), S_OK);
    calls.clear();
    for (const KwHostCall& call : KwHostDouble(context).Log().Calls()) calls.push_back(call.Text);
    const auto decode =
        std::find(calls.begin(), calls.end(), node + ".CreateChild(\"\", VT_I2 1202, Protected 0) -> S_OK");
    ASSERT_LT(decode + 3, calls.end());
    EXPECT_EQ(std::vector<std::string>(decode + 1, decode + 4),
              (std::vector<std::string>{"stream.Read(4096 bytes, 4096 read) -> S_OK",
                                        raster + ".CreateRasterStorage(128, 128, 24, 0, 0, \"JPEG\", 0, null) -> S_OK",
                                        "stream.Read(4096 bytes, 4096 read) -> S_OK"}));
}

TEST_F(NodeTest, SinkCannotDisturbARunningLoad)
{
    TestJpeg::Options options;
    options.Width = 16;
    options.Height = 200;
    const Bytes file = TestJpeg::Make(options);
    ASSERT_EQ(Open(file), S_OK);
    KwComPtr<KwHostEventSink> sink;
    ASSERT_EQ(KwHostEventSink::Create(sink.Receive(), context), S_OK);
    ASSERT_EQ(sink->Connect(filter.Get()), S_OK);
    KwComPtr<KwHostDataObject> other = Bind(TestJpeg::Make(TestJpeg::Options()), "other.jpg");
    KwComPtr<KwHostDocument> otherDocument = NewDocument();
    std::vector<HRESULT> answers;
    IKwFilter* running = filter.Get();
    sink->SetCallback([&](LONG, VARIANT_BOOL*) {
        KwComPtr<IDispatch> node;
        answers.push_back(running->GetNode(Empty(), VARIANT_TRUE, node.Receive()));
        answers.push_back(node ? E_UNEXPECTED : S_OK);
        answers.push_back(running->OpenDocument(other.Get(), otherDocument.Get(), nullptr));
    });
    EXPECT_EQ(Load(), S_OK);
    EXPECT_EQ(answers, (std::vector<HRESULT>{E_UNEXPECTED, S_OK, E_UNEXPECTED, E_UNEXPECTED, S_OK, E_UNEXPECTED,
                                             E_UNEXPECTED, S_OK, E_UNEXPECTED}));
    ExpectRowsOfReference(file);
    EXPECT_EQ(RasterCount(), 1u);
    EXPECT_EQ(otherDocument->ChildCount(), 0u);
    sink->SetCallback(nullptr);
    EXPECT_EQ(sink->Disconnect(filter.Get()), S_OK);
    // Once the load returned, the filter takes calls again.
    EXPECT_EQ(Load(), S_OK);

    // A sink that lets go of the host's last reference: the object lives until the load returns.
    ASSERT_EQ(Open(file), S_OK);
    ASSERT_EQ(sink->Connect(filter.Get()), S_OK);
    IKwFilter* last = filter.Get();
    std::vector<LONG> aliveInSink;
    sink->SetCallback([&](LONG, VARIANT_BOOL*) {
        filter.Reset();
        aliveInSink.push_back(KwModuleLockCount());
    });
    VARIANT selector = Empty();
    EXPECT_EQ(last->GetNode(selector, VARIANT_TRUE, nullptr), S_OK);
    EXPECT_EQ(aliveInSink, (std::vector<LONG>{1, 1, 1}));
    EXPECT_EQ(KwModuleLockCount(), 0) << "released when the load returned";
    ExpectRowsOfReference(file);
}
