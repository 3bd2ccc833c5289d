// The document tree as filters rely on it: ordered attributes replaced in place,
// children found by index value, created by object type with the interfaces
// each type answers.
#include <gtest/gtest.h>

#include "KwAutomation.h"
#include "KwComPtr.h"
#include "KwHostDocument.h"
#include "KwHostEngine.h"
#include "KwHostNode.h"
#include "KwHostRasterBlock.h"
#include "KwHostVariant.h"

namespace {

// Values passed as [in] VARIANT arguments.
VARIANT Text(const char* text)
{
    static std::vector<KwHostVariant> keep; // owns the BSTRs for the test's lifetime
    keep.push_back(KwHostVariant::Text(text));
    return keep.back().Get();
}
VARIANT I4(LONG value) { return KwHostVariant::I4(value).Get(); }
VARIANT I2(SHORT value) { return KwHostVariant::I2(value).Get(); }

class KwHostTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_liveBefore = KwHostLiveObjects();
        ASSERT_EQ(S_OK, m_engine.CreateDocument(m_document.Receive()));
    }
    void TearDown() override
    {
        m_document.Reset();
        EXPECT_EQ(m_liveBefore, KwHostLiveObjects());
    }

    KwComPtr<IDispatch> CreateChild(IKwChildren* parent, const VARIANT& index, const VARIANT& type,
                                    VARIANT_BOOL protect = VARIANT_TRUE, HRESULT expected = S_OK)
    {
        KwComPtr<IDispatch> child;
        EXPECT_EQ(expected, parent->CreateChild(index, type, protect, nullptr, child.Receive()));
        return child;
    }

    KwHostEngine m_engine;
    KwComPtr<KwHostDocument> m_document;
    LONG m_liveBefore = 0;
};

TEST_F(KwHostTreeTest, AttributesKeepOrderAndReplaceInPlace)
{
    IKwDocument* document = m_document.Get();
    KwBstr docType = KwBstr::FromNarrow("DocType");
    KwBstr format = KwBstr::FromNarrow("Format");
    EXPECT_EQ(S_OK, document->PutAttribute(docType.Get(), I4(2), 2));
    EXPECT_EQ(S_OK, document->PutAttribute(format.Get(), Text("JPEG"), 0));
    EXPECT_EQ(S_OK, document->PutAttribute(format.Get(), Text("JPEG (Exif)"), 0));

    ASSERT_EQ((std::vector<std::string>{"DocType", "Format"}), m_document->AttributeNames());
    const KwHostAttributeEntry* entry = m_document->FindAttribute("Format");
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ("JPEG (Exif)", entry->value.ValueText());
    EXPECT_EQ(VT_BSTR, entry->value.Type());

    KwVariant value, type;
    EXPECT_EQ(S_OK, document->GetAttribute(docType.Get(), &type, &value));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(2, value.lVal);
    EXPECT_EQ(2, type.lVal);
    LONG count = 0;
    EXPECT_EQ(S_OK, document->get_AttributeCount(&count));
    EXPECT_EQ(2, count);

    KwBstr missing = KwBstr::FromNarrow("Missing");
    KwVariant none;
    EXPECT_EQ(E_INVALIDARG, document->GetAttribute(missing.Get(), nullptr, &none));
    EXPECT_EQ(VT_EMPTY, none.vt);
    EXPECT_EQ(3u, m_engine.Log().Count("PutAttribute"));
}

TEST_F(KwHostTreeTest, ChildrenAreCreatedByTypeAndFoundByIndexValue)
{
    KwComPtr<IDispatch> contents = CreateChild(static_cast<IKwChildren*>(m_document.Get()), Text("Contents"),
                                               I2(KW_CONTENTS));
    ASSERT_TRUE(contents);
    KwComPtr<IKwContents> asContents;
    EXPECT_EQ(S_OK, kw_query(contents.Get(), asContents.Receive()));
    KwComPtr<IKwContainer> notContainer;
    EXPECT_EQ(E_NOINTERFACE, kw_query(contents.Get(), notContainer.Receive()));

    KwComPtr<IKwChildren> children;
    ASSERT_EQ(S_OK, kw_query(contents.Get(), children.Receive()));
    KwComPtr<IDispatch> node = CreateChild(children.Get(), I4(1), I4(KW_CONTAINER));
    KwComPtr<IKwContainer> container;
    ASSERT_EQ(S_OK, kw_query(node.Get(), container.Receive()));
    KwComPtr<IKwAttribute> attributes;
    EXPECT_EQ(S_OK, kw_query(node.Get(), attributes.Receive()));

    // 1 as VT_I2, VT_I4 and VT_UI1 names the same child; "1" as text does not.
    for (VARTYPE vt : {VT_I2, VT_I4, VT_UI1}) {
        VARIANT index;
        VariantInit(&index);
        index.vt = vt;
        if (vt == VT_I2) index.iVal = 1;
        if (vt == VT_I4) index.lVal = 1;
        if (vt == VT_UI1) index.bVal = 1;
        KwComPtr<IDispatch> found;
        EXPECT_EQ(S_OK, children->GetChild(index, nullptr, nullptr, found.Receive())) << vt;
        EXPECT_EQ(node.Get(), found.Get());
    }
    KwComPtr<IDispatch> byText;
    EXPECT_TRUE(FAILED(children->GetChild(Text("1"), nullptr, nullptr, byText.Receive())));
    EXPECT_FALSE(byText);

    // Two raster blocks with the same empty index: both kept, lookups find the first.
    KwComPtr<IDispatch> first = CreateChild(reinterpret_cast<IKwChildren*>(static_cast<IKwChildren*>(
                                                static_cast<KwHostNode*>(m_document->Contents()->FindNode(1)))),
                                            Text(""), I2(KW_RASTER_BLOCK), VARIANT_FALSE);
    KwComPtr<IDispatch> second;
    ASSERT_EQ(S_OK, container->CreateChild(Text(""), I2(KW_RASTER_BLOCK), VARIANT_FALSE, nullptr, second.Receive()));
    EXPECT_NE(first.Get(), second.Get());
    KwComPtr<IDispatch> found;
    EXPECT_EQ(S_OK, container->GetChild(Text(""), nullptr, nullptr, found.Receive()));
    EXPECT_EQ(first.Get(), found.Get());
    EXPECT_EQ(2u, m_document->Contents()->FindNode(1)->RasterBlocks().size());
    KwComPtr<IKwRasterBlock> block;
    EXPECT_EQ(S_OK, kw_query(first.Get(), block.Receive()));
}

} // namespace
