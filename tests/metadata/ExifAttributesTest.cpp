// The EXIF attributes as the reference host receives them: the collection on
// the document, then its twelve entries in order, formatted, with their
// conditions; and what happens when the host has no attribute class.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "load/KwExifAttributes.h"
#include "engine/KwHostAttributeCollection.h"
#include "engine/KwHostDocument.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostObject.h"

namespace {

struct Put {
    std::string name;
    std::string value;
    VARTYPE vt;
    LONG type;
};

class ExifAttributes : public testing::Test {
protected:
    void SetUp() override { m_LiveBefore = KwHostLiveObjects(); }
    void TearDown() override
    {
        m_Document.Reset();
        m_Engine.reset();
        EXPECT_EQ(m_LiveBefore, KwHostLiveObjects()) << "every host object was released";
    }

    HRESULT Publish(const JpegMetadata& metadata, bool start = true)
    {
        m_Engine.reset(new KwHostEngine());
        if (start) {
            EXPECT_TRUE(SUCCEEDED(m_Engine->Start()));
        }
        KwHostDocument* document = nullptr;
        EXPECT_EQ(S_OK, m_Engine->CreateDocument(&document));
        m_Document.Attach(document);
        return KwPublishExifAttributes(document, metadata);
    }

    // The PutAttribute calls made on one host object, in order.
    std::vector<Put> PutsOn(const std::string& object) const
    {
        std::vector<Put> puts;
        for (const KwHostCall* call : KwHostDouble(*m_Engine).Log().Find("PutAttribute")) {
            if (call->Object == object)
                puts.push_back({call->Name, call->Value.ValueText(), call->Value.Type(), call->Type});
        }
        return puts;
    }
    std::vector<Put> CollectionPuts() const { return PutsOn("attributes"); }

    static std::vector<std::string> Names(const std::vector<Put>& puts)
    {
        std::vector<std::string> names;
        for (const Put& p : puts) names.push_back(p.name);
        return names;
    }
    static std::string ValueOf(const std::vector<Put>& puts, const std::string& name)
    {
        for (const Put& p : puts)
            if (p.name == name) return p.value;
        return "<absent>";
    }

    std::unique_ptr<KwHostEngine> m_Engine;
    KwComPtr<KwHostDocument> m_Document;
    LONG m_LiveBefore = 0;
};

JpegMetadata Camera()
{
    JpegMetadata m{};
    std::snprintf(m.ExifVersion, sizeof(m.ExifVersion), "0220");
    std::snprintf(m.Make, sizeof(m.Make), "Canon");
    std::snprintf(m.Model, sizeof(m.Model), "Canon EOS 400D DIGITAL");
    std::snprintf(m.DateTimeOriginal, sizeof(m.DateTimeOriginal), "2008:04:20 19:12:06");
    m.ExposureTime = 1.0f / 125.0f;
    m.FNumber = 2.8f;
    m.IsoSpeed = 100;
    m.BrightnessValue = -1.25f;
    m.FocalLength = 18.0f;
    m.FlashFired = 1;
    m.MeteringMode = 5;
    m.ExposureProgram = 3;
    // Fields that are never published.
    m.Orientation = 6;
    m.SubjectDistance = 3.0f;
    m.XResolution = 72.0f;
    std::snprintf(m.Comment, sizeof(m.Comment), "comment");
    m.HasExif = true;
    return m;
}

} // namespace

TEST_F(ExifAttributes, CollectionOnTheDocumentThenTwelveEntriesInOrder)
{
    ASSERT_EQ(S_OK, Publish(Camera()));

    const std::vector<Put> onDocument = PutsOn("document");
    ASSERT_EQ(1u, onDocument.size());
    EXPECT_EQ("SummaryInformation", onDocument[0].name);
    EXPECT_EQ(VT_DISPATCH, onDocument[0].vt);
    EXPECT_EQ(2, onDocument[0].type);
    // The collection is on the document before it is filled.
    EXPECT_LT(KwHostDouble(*m_Engine).Log().IndexOf("PutAttribute", "SummaryInformation"),
              KwHostDouble(*m_Engine).Log().IndexOf("PutAttribute", "ExifVersion"));

    const std::vector<Put> puts = CollectionPuts();
    EXPECT_EQ((std::vector<std::string>{"ExifVersion", "ExifMake", "ExifModel", "ExifDateTime", "ExifExposure",
                                        "ExifAperture", "ExifIsoEquivalent", "ExifBrigthness", "ExifFocalLength",
                                        "ExifFlash", "ExifMetering", "ExifExposureProgram"}),
              Names(puts));
    for (const Put& p : puts) {
        EXPECT_EQ(VT_BSTR, p.vt) << p.name;
        EXPECT_EQ(2, p.type) << p.name;
    }
    EXPECT_EQ("0220", ValueOf(puts, "ExifVersion"));
    EXPECT_EQ("Canon", ValueOf(puts, "ExifMake"));
    EXPECT_EQ("Canon EOS 400D DIGITAL", ValueOf(puts, "ExifModel"));
    EXPECT_EQ("2008:04:20 19:12:06", ValueOf(puts, "ExifDateTime"));
    EXPECT_EQ("0.0080", ValueOf(puts, "ExifExposure"));
    EXPECT_EQ("2.8000", ValueOf(puts, "ExifAperture"));
    EXPECT_EQ("100", ValueOf(puts, "ExifIsoEquivalent"));
    EXPECT_EQ("-1.2500", ValueOf(puts, "ExifBrigthness"));
    EXPECT_EQ("18.0000", ValueOf(puts, "ExifFocalLength"));
    EXPECT_EQ("Yes", ValueOf(puts, "ExifFlash"));
    EXPECT_EQ("5", ValueOf(puts, "ExifMetering"));
    EXPECT_EQ("3", ValueOf(puts, "ExifExposureProgram"));

    // The document holds the very collection that was filled.
    const KwHostAttributeEntry* summary = m_Document->FindAttribute("SummaryInformation");
    ASSERT_NE(nullptr, summary);
    ASSERT_EQ(VT_DISPATCH, summary->Value.Type());
    KwComPtr<IKwAttribute> collection;
    ASSERT_EQ(S_OK, KwQuery<IKwAttribute>(summary->Value.Get().pdispVal, collection.Receive()));
    LONG count = 0;
    EXPECT_EQ(S_OK, collection->get_AttributeCount(&count));
    EXPECT_EQ(12, count);
}

TEST_F(ExifAttributes, ZeroFieldsAreSkippedButTextsAndFlashAlwaysCome)
{
    JpegMetadata m{};
    m.HasExif = true;
    ASSERT_EQ(S_OK, Publish(m));
    const std::vector<Put> puts = CollectionPuts();
    EXPECT_EQ((std::vector<std::string>{"ExifVersion", "ExifMake", "ExifModel", "ExifDateTime", "ExifFlash"}),
              Names(puts));
    EXPECT_EQ("", ValueOf(puts, "ExifMake"));
    EXPECT_EQ("", ValueOf(puts, "ExifModel"));
    EXPECT_EQ("No", ValueOf(puts, "ExifFlash"));

    // Each condition on its own: only the one non-zero field joins the fixed five.
    struct Case {
        const char* name;
        void (*set)(JpegMetadata&);
        const char* text;
    };
    for (const Case& c : {Case{"ExifExposure", [](JpegMetadata& x) { x.ExposureTime = 30.0f; }, "30.0000"},
                          Case{"ExifAperture", [](JpegMetadata& x) { x.FNumber = 22.0f; }, "22.0000"},
                          Case{"ExifIsoEquivalent", [](JpegMetadata& x) { x.IsoSpeed = -5; }, "-5"},
                          Case{"ExifBrigthness", [](JpegMetadata& x) { x.BrightnessValue = 0.00004f; }, "0.0000"},
                          Case{"ExifFocalLength", [](JpegMetadata& x) { x.FocalLength = 1e30f; },
                               "1000000015047466219876688855040.0000"},
                          Case{"ExifMetering", [](JpegMetadata& x) { x.MeteringMode = 255; }, "255"},
                          Case{"ExifExposureProgram", [](JpegMetadata& x) { x.ExposureProgram = 1; }, "1"}}) {
        JpegMetadata one{};
        c.set(one);
        ASSERT_EQ(S_OK, Publish(one)) << c.name;
        const std::vector<Put> p = CollectionPuts();
        EXPECT_EQ(6u, p.size()) << c.name;
        EXPECT_EQ(c.text, ValueOf(p, c.name)) << c.name;
    }
}

TEST_F(ExifAttributes, TextFieldsAreReadNoFurtherThanTheirSize)
{
    // Fields filled to the brim without a terminator (a record not made by the reader).
    JpegMetadata m{};
    std::memset(m.ExifVersion, '9', sizeof(m.ExifVersion));
    std::memset(m.Make, 'M', sizeof(m.Make));
    std::memset(m.Model, 'm', sizeof(m.Model));
    std::memset(m.DateTimeOriginal, 'd', sizeof(m.DateTimeOriginal));
    ASSERT_EQ(S_OK, Publish(m));
    const std::vector<Put> puts = CollectionPuts();
    EXPECT_EQ(std::string(5, '9'), ValueOf(puts, "ExifVersion"));
    EXPECT_EQ(std::string(32, 'M'), ValueOf(puts, "ExifMake"));
    EXPECT_EQ(std::string(40, 'm'), ValueOf(puts, "ExifModel"));
    EXPECT_EQ(std::string(20, 'd'), ValueOf(puts, "ExifDateTime"));
}

TEST_F(ExifAttributes, WithoutTheAttributeClassNothingIsPublished)
{
    // Not registered at all.
    EXPECT_EQ(S_FALSE, Publish(Camera(), /*start=*/false));
    EXPECT_TRUE(PutsOn("document").empty());
    EXPECT_FALSE(m_Document->HasAttribute("SummaryInformation"));

    // Registered, but its class object refuses to create the collection.
    m_Engine.reset(new KwHostEngine());
    KwHostDouble(*m_Engine).Switches().AttributeCreateResult = E_OUTOFMEMORY;
    ASSERT_TRUE(SUCCEEDED(m_Engine->Start()));
    KwHostDocument* document = nullptr;
    ASSERT_EQ(S_OK, m_Engine->CreateDocument(&document));
    m_Document.Attach(document);
    EXPECT_EQ(S_FALSE, KwPublishExifAttributes(document, Camera()));
    EXPECT_TRUE(PutsOn("document").empty());
    EXPECT_TRUE(CollectionPuts().empty());
}

TEST_F(ExifAttributes, FailingPutsAreIgnoredAndANullDocumentIsRefused)
{
    m_Engine.reset(new KwHostEngine());
    ASSERT_TRUE(SUCCEEDED(m_Engine->Start()));
    EXPECT_EQ(E_POINTER, KwPublishExifAttributes(nullptr, Camera()));

    // The third PutAttribute (ExifMake) fails; the rest still arrive.
    KwHostDocument* document = nullptr;
    ASSERT_EQ(S_OK, m_Engine->CreateDocument(&document));
    m_Document.Attach(document);
    KwHostDouble(*m_Engine).Switches().FailCall(3, "PutAttribute");
    EXPECT_EQ(S_OK, KwPublishExifAttributes(document, Camera()));
    EXPECT_EQ(12u, CollectionPuts().size());
    LONG count = 0;
    KwComPtr<IKwAttribute> collection;
    ASSERT_EQ(S_OK, KwQuery<IKwAttribute>(m_Document->FindAttribute("SummaryInformation")->Value.Get().pdispVal,
                                           collection.Receive()));
    collection->get_AttributeCount(&count);
    EXPECT_EQ(11, count);
}
