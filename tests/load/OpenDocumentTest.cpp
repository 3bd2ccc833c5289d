// OpenDocument: the acceptance test (first 30 bytes, size, name) and the
// description of an accepted document.
#include <cstring>
#include <string>

#include "hostdouble/KwHostDouble.h"
#include "LoadFixture.h"
#include "ReportedSizeStream.h"

namespace {

// A header whose first segment is a JFIF APP0 with major version `major` (byte 11).
Bytes Jfif(unsigned char major, size_t total = 64, unsigned length = 16)
{
    Bytes b(total, 0);
    const unsigned char head[] = {0xFF, 0xD8, 0xFF, 0xE0, static_cast<unsigned char>(length >> 8),
                                  static_cast<unsigned char>(length & 0xFF), 'J', 'F', 'I', 'F', 0, major, 1};
    std::memcpy(b.data(), head, sizeof(head) < total ? sizeof(head) : total);
    return b;
}

// A header whose first segment carries `text` from byte 6 on (an APPn identifier).
Bytes Identified(const std::string& text, size_t total = 64)
{
    Bytes b(total, 0);
    const unsigned char head[] = {0xFF, 0xD8, 0xFF, 0xED, 0x00, 0x20};
    std::memcpy(b.data(), head, sizeof(head));
    std::memcpy(b.data() + 6, text.data(), text.size());
    return b;
}

} // namespace

class OpenDocumentTest : public LoadFixture {
protected:
    // OpenDocument on a fresh filter and document.
    HRESULT Try(const Bytes& file, const std::string& name, KwHostNameMode mode = KwHostNameMode::Normal)
    {
        KwComPtr<IKwFilter> fresh = NewFilter();
        KwComPtr<KwHostDocument> doc = NewDocument();
        KwComPtr<KwHostDataObject> data = Bind(file, name);
        data->SetNameMode(mode);
        return fresh->OpenDocument(data.Get(), doc.Get(), nullptr);
    }
};

TEST_F(OpenDocumentTest, HeaderSizeAndFirstSegmentLength)
{
    // Exactly 30 bytes, first segment no longer than the file: accepted.
    EXPECT_EQ(Try(Jfif(1, 30, 30), "a.JPG"), S_OK);
    EXPECT_EQ(Try(Jfif(1, 30, 16), "a.JPG"), S_OK);
    // 29 bytes: rejected whatever the name.
    EXPECT_EQ(Try(Jfif(1, 29, 16), "a.JPG"), E_FAIL);
    EXPECT_EQ(Try(Bytes(), "a.JPG"), E_FAIL);
    // A first segment longer than the file.
    EXPECT_EQ(Try(Jfif(1, 30, 31), "a.JPG"), E_FAIL);
    EXPECT_EQ(Try(Jfif(1, 1000, 0xFFFF), "a.jpg"), E_FAIL);
    EXPECT_EQ(Try(Jfif(1, 1000, 1000), "a.jpg"), S_OK);
    EXPECT_EQ(Try(Jfif(1, 1000, 1001), "a.jpg"), E_FAIL);
    // No start-of-image marker.
    Bytes noSoi = Jfif(1);
    noSoi[1] = 0xD9;
    EXPECT_EQ(Try(noSoi, "a.jpg"), E_FAIL);
    noSoi = Jfif(1);
    noSoi[0] = 0x00;
    EXPECT_EQ(Try(noSoi, "a.jpg"), E_FAIL);
    // The first segment's marker itself is not examined.
    Bytes anyMarker = Jfif(1);
    anyMarker[3] = 0x01;
    EXPECT_EQ(Try(anyMarker, "a.jpg"), S_OK);
}

TEST_F(OpenDocumentTest, NameDecidesWhenByteElevenIsAboveTwo)
{
    const Bytes file = Jfif(3);
    EXPECT_EQ(Try(file, "photo.jpg"), S_OK);
    EXPECT_EQ(Try(file, "photo.jpeg"), S_OK) << "the name is upper-cased first";
    EXPECT_EQ(Try(file, "C:\\Pictures\\PHOTO.JPEG"), S_OK);
    EXPECT_EQ(Try(file, "backup.JPG.BAK"), S_OK) << "the extension may appear anywhere";
    EXPECT_EQ(Try(file, "dir.jpg/file"), S_OK);
    EXPECT_EQ(Try(file, "image.jfif"), E_FAIL);
    EXPECT_EQ(Try(file, "image.jp"), E_FAIL);
    EXPECT_EQ(Try(file, "jpg"), E_FAIL);
    EXPECT_EQ(Try(file, "bild-\xC3\xA4.jpg"), S_OK);
    // An empty name, or a null one, is tested as "stream.jpg".
    EXPECT_EQ(Try(file, "x.png", KwHostNameMode::Empty), S_OK);
    EXPECT_EQ(Try(file, "x.png", KwHostNameMode::Null), S_OK);
    // A failing StorageName leaves a new filter without a name.
    EXPECT_EQ(Try(file, "x.jpg", KwHostNameMode::Fail), E_FAIL);
    // The same file with a JFIF version of 1 or 2 passes on byte 11.
    EXPECT_EQ(Try(Jfif(1), "image.jfif"), S_OK);
    EXPECT_EQ(Try(Jfif(2), "image.jfif"), S_OK);
}

TEST_F(OpenDocumentTest, LongNamesKeepTheirExtension)
{
    const Bytes file = Jfif(3);
    EXPECT_EQ(Try(file, std::string(300, 'a') + ".jpg"), S_OK);
    EXPECT_EQ(Try(file, std::string(258, 'a') + ".jpeg"), S_OK);
    EXPECT_EQ(Try(file, std::string(5000, 'b') + ".JPEG"), S_OK);
    // Multi-byte characters all the way.
    std::string wide;
    for (int i = 0; i < 400; ++i) wide += "\xE2\x82\xAC"; // the euro sign, three bytes each
    EXPECT_EQ(Try(file, wide + ".jpg"), S_OK);
    EXPECT_EQ(Try(file, std::string(1000, 'c') + ".png"), E_FAIL);
}

TEST_F(OpenDocumentTest, EarlierNameStaysWhenStorageNameFails)
{
    ASSERT_EQ(Open(Jfif(1), "first.jpg"), S_OK);
    KwComPtr<KwHostDocument> second = NewDocument();
    KwComPtr<KwHostDataObject> data = Bind(Jfif(3), "ignored.png");
    data->SetNameMode(KwHostNameMode::Fail);
    EXPECT_EQ(filter->OpenDocument(data.Get(), second.Get(), nullptr), S_OK) << "FIRST.JPG is still the name";
    KwComPtr<KwHostDataObject> named = Bind(Jfif(3), "ignored.png");
    EXPECT_EQ(filter->OpenDocument(named.Get(), second.Get(), nullptr), E_FAIL) << "IGNORED.PNG replaced it";
}

TEST_F(OpenDocumentTest, IdentifiersOfTheFirstSegment)
{
    // "Photoshop" accepts under any name, although byte 11 is a letter.
    EXPECT_EQ(Try(Identified("Photoshop 3.0"), "layer.bin"), S_OK);
    // Ending exactly at byte 29 still counts; one byte later it does not fit.
    EXPECT_EQ(Try(Identified(std::string(15, 'x') + "Photoshop"), "layer.bin"), S_OK);
    EXPECT_EQ(Try(Identified(std::string(16, 'x') + "Photoshop"), "layer.bin"), E_FAIL);
    // Text after the first zero byte is not looked at.
    EXPECT_EQ(Try(Identified(std::string("AB\0Photoshop", 12)), "layer.bin"), E_FAIL);
    // EXIF: byte 11 is the second zero after "Exif".
    EXPECT_EQ(Try(Identified(std::string("Exif\0\0", 6)), "camera.bin"), S_OK);
}

TEST_F(OpenDocumentTest, NullArguments)
{
    KwComPtr<KwHostDataObject> data = Bind(Jfif(1), "a.jpg");
    EXPECT_EQ(filter->OpenDocument(nullptr, document.Get(), nullptr), E_POINTER);
    EXPECT_EQ(filter->OpenDocument(data.Get(), nullptr, nullptr), E_POINTER);
    EXPECT_EQ(filter->OpenDocument(nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_TRUE(document->Attributes().empty());
    EXPECT_EQ(document->ChildCount(), 0u);
    EXPECT_EQ(data->References(), 1u) << "nothing kept";
    EXPECT_EQ(document->References(), 1u) << "nothing kept";
    // Filters is neither read nor required.
    EXPECT_EQ(filter->OpenDocument(data.Get(), document.Get(), nullptr), S_OK);
}

TEST_F(OpenDocumentTest, DescribesTheAcceptedDocument)
{
    ASSERT_EQ(Open(Jfif(1), "a.jpg"), S_OK);
    const std::vector<KwHostAttributeEntry>& attributes = document->Attributes();
    ASSERT_EQ(attributes.size(), 2u);
    EXPECT_EQ(attributes[0].Name, "DocType");
    EXPECT_EQ(attributes[0].Value.Type(), VT_I4);
    EXPECT_EQ(attributes[0].Value.Get().lVal, 2);
    EXPECT_EQ(attributes[0].Type, 2);
    EXPECT_EQ(attributes[1].Name, "Format");
    EXPECT_EQ(attributes[1].Value.Type(), VT_BSTR);
    EXPECT_EQ(attributes[1].Value.ValueText(), "JPEG");
    EXPECT_EQ(attributes[1].Type, 0);

    ASSERT_EQ(document->ChildCount(), 1u);
    const KwHostChildEntry& child = document->Children()[0];
    EXPECT_EQ(child.Index.ValueText(), "Contents");
    EXPECT_EQ(child.ObjectType, KW_CONTENTS);
    EXPECT_TRUE(child.ProtectedChild);
    std::vector<const KwHostCall*> creates = KwHostDouble(context).Log().Find("CreateChild");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0]->Value.Type(), VT_I2) << "the Contents type goes as VT_I2";

    KwHostNode* contents = Contents();
    ASSERT_NE(contents, nullptr);
    ASSERT_EQ(contents->Attributes().size(), 1u);
    EXPECT_EQ(contents->Attributes()[0].Name, "TotalNodes");
    EXPECT_EQ(contents->Attributes()[0].Value.Type(), VT_I4);
    EXPECT_EQ(contents->Attributes()[0].Value.Get().lVal, 1);
    EXPECT_EQ(contents->Attributes()[0].Type, 2);

    // One read of 30 bytes and the size without the name; the stream is left after the header.
    EXPECT_EQ(KwHostDouble(stream).ReadRequests(), std::vector<ULONG>{30});
    std::vector<const KwHostCall*> stats = KwHostDouble(context).Log().Find("Stat");
    ASSERT_EQ(stats.size(), 1u);
    EXPECT_EQ(stats[0]->Args.at(0), STATFLAG_NONAME);
    EXPECT_EQ(stream->Position(), 30u);
    EXPECT_EQ(KwHostDouble(context).Log().Methods(),
              (std::vector<std::string>{"data object.Storage", "data object.StorageName", "document.PutAttribute",
                                        "document.PutAttribute", "document.CreateChild",
                                        "document/\"Contents\".PutAttribute"}));
}

TEST_F(OpenDocumentTest, HostWithoutStreamOrContents)
{
    // No storage at all, and a storage that is no stream.
    KwComPtr<KwHostDataObject> none;
    ASSERT_EQ(KwHostDataObject::Create(nullptr, "a.jpg", none.Receive(), context), S_OK);
    EXPECT_EQ(filter->OpenDocument(none.Get(), document.Get(), nullptr), E_FAIL);
    KwComPtr<KwHostDocument> notAStream = NewDocument();
    KwComPtr<KwHostDataObject> wrong;
    ASSERT_EQ(KwHostDataObject::Create(static_cast<IKwDocument*>(notAStream.Get()), "a.jpg", wrong.Receive(), context),
              S_OK);
    EXPECT_EQ(filter->OpenDocument(wrong.Get(), document.Get(), nullptr), E_FAIL);
    EXPECT_TRUE(document->Attributes().empty());
    EXPECT_EQ(GetNode(Empty(), VARIANT_TRUE), E_FAIL);

    // The Contents child refused, created without an answer, or without IKwContents.
    for (int variant = 0; variant < 3; ++variant) {
        KwComPtr<IKwFilter> fresh = NewFilter();
        KwComPtr<KwHostDocument> doc = NewDocument();
        KwHostDouble(context).Switches() = KwHostSwitches();
        if (variant == 0) KwHostDouble(context).Switches().Refuse(KW_CONTENTS, E_FAIL);
        if (variant == 1) KwHostDouble(context).Switches().Refuse(KW_CONTENTS, S_OK);
        if (variant == 2) KwHostDouble(context).Switches().Omit(KW_CONTENTS, IID_IKwContents);
        KwComPtr<KwHostDataObject> data = Bind(Jfif(1), "a.jpg");
        EXPECT_EQ(fresh->OpenDocument(data.Get(), doc.Get(), nullptr), E_FAIL) << variant;
        EXPECT_TRUE(doc->HasAttribute("DocType")) << variant;
        EXPECT_TRUE(doc->HasAttribute("Format")) << variant;
        VARIANT selector = Empty();
        EXPECT_EQ(fresh->GetNode(selector, VARIANT_TRUE, nullptr), E_FAIL) << variant;
    }
}

TEST_F(OpenDocumentTest, FailingPutAttributeIsNotExamined)
{
    KwHostDouble(context).Switches().FailCall(1, "PutAttribute");
    EXPECT_EQ(Open(Jfif(1), "a.jpg"), S_OK);
    EXPECT_FALSE(document->HasAttribute("DocType"));
    EXPECT_TRUE(document->HasAttribute("Format"));
    EXPECT_NE(Contents(), nullptr);
}

TEST_F(OpenDocumentTest, StreamSizeOutsideWhatTheSourceCanCount)
{
    // A stream that cannot tell its size is rejected.
    dataObject = Bind(Jfif(1), "a.jpg", &stream);
    KwHostDouble(stream).Switches().StatResult = E_NOTIMPL;
    EXPECT_EQ(filter->OpenDocument(dataObject.Get(), document.Get(), nullptr), E_FAIL);

    // 2 GiB and more, including sizes whose low 32 bits look harmless.
    for (ULONGLONG size : {0x80000000ull, 0xFFFFFFFFull, 0x100000000ull + 1000, 0x500000040ull}) {
        KwComPtr<IKwFilter> fresh = NewFilter();
        KwComPtr<KwHostDocument> doc = NewDocument();
        KwComPtr<ReportedSizeStream> big = ReportedSizeStream::Create(context, Jfif(1, 2000), size);
        KwComPtr<KwHostDataObject> data;
        ASSERT_EQ(KwHostDataObject::Create(static_cast<IStream*>(big.Get()), "big.jpg", data.Receive(), context), S_OK);
        EXPECT_EQ(fresh->OpenDocument(data.Get(), doc.Get(), nullptr), E_FAIL) << size;
        EXPECT_EQ(doc->ChildCount(), 0u);
    }
    // Just below 2 GiB is still a size the source counts.
    KwComPtr<ReportedSizeStream> large = ReportedSizeStream::Create(context, Jfif(1, 2000), 0x7FFFFFFFull);
    KwComPtr<KwHostDataObject> data;
    ASSERT_EQ(KwHostDataObject::Create(static_cast<IStream*>(large.Get()), "large.jpg", data.Receive(), context), S_OK);
    KwComPtr<IKwFilter> fresh = NewFilter();
    KwComPtr<KwHostDocument> doc = NewDocument();
    EXPECT_EQ(fresh->OpenDocument(data.Get(), doc.Get(), nullptr), S_OK);
}

TEST_F(OpenDocumentTest, ReopeningReplacesTheDocument)
{
    const Bytes image = TestJpeg::Make(TestJpeg::Options());
    ASSERT_EQ(Open(image), S_OK);
    KwHostNode* firstContents = Contents();
    ASSERT_NE(firstContents, nullptr);

    // A rejected second file: nothing may be loaded from it into the first document.
    KwComPtr<KwHostDocument> second = NewDocument();
    KwComPtr<KwHostDataObject> rejected = Bind(Jfif(9), "data.bin");
    EXPECT_EQ(filter->OpenDocument(rejected.Get(), second.Get(), nullptr), E_FAIL);
    EXPECT_EQ(GetNode(Empty(), VARIANT_TRUE), E_FAIL);
    EXPECT_EQ(firstContents->ChildCount(), 0u);

    // An accepted third file loads into its own document only.
    KwComPtr<KwHostDocument> third = NewDocument();
    KwComPtr<KwHostDataObject> accepted = Bind(image, "third.jpg");
    ASSERT_EQ(filter->OpenDocument(accepted.Get(), third.Get(), nullptr), S_OK);
    EXPECT_EQ(GetNode(Empty(), VARIANT_TRUE), S_OK);
    EXPECT_EQ(firstContents->ChildCount(), 0u);
    ASSERT_NE(third->Contents(), nullptr);
    ASSERT_NE(third->Contents()->FindNode(1), nullptr);
    EXPECT_EQ(third->Contents()->FindNode(1)->RasterBlocks().size(), 1u);
}
