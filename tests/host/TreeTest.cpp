// The document tree as filters rely on it: ordered attributes replaced in place,
// children found by index value and created by object type with the interfaces
// each type answers, and the switches that make the host refuse or leave out.
#include <gtest/gtest.h>

#include "com/KwAutomation.h"
#include "com/KwComPtr.h"
#include "engine/KwHostAttributeCollection.h"
#include "engine/KwHostDocument.h"
#include "hostdouble/KwHostDouble.h"
#include "engine/KwHostEngine.h"
#include "engine/KwHostNode.h"
#include "engine/KwHostRasterBlock.h"
#include "engine/KwHostVariant.h"

namespace {

using V = KwHostVariant;

class KwHostTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_LiveBefore = KwHostLiveObjects();
        ASSERT_EQ(S_OK, m_Engine.CreateDocument(m_Document.Receive()));
    }
    void TearDown() override
    {
        m_Document.Reset();
        EXPECT_EQ(m_LiveBefore, KwHostLiveObjects()) << "the tree released every object";
    }

    IKwDocument* Document() { return m_Document.Get(); }

    // Contents under the document and node 1 under it, as a load filter builds them.
    KwComPtr<IKwChildren> MakeContents()
    {
        KwComPtr<IDispatch> child;
        EXPECT_EQ(S_OK, Document()->CreateChild(V::Text("Contents").Get(), V::I2(KW_CONTENTS).Get(), VARIANT_TRUE,
                                                nullptr, child.Receive()));
        KwComPtr<IKwChildren> children;
        EXPECT_EQ(S_OK, KwQuery(child.Get(), children.Receive()));
        return children;
    }

    KwHostEngine m_Engine;
    KwComPtr<KwHostDocument> m_Document;
    LONG m_LiveBefore = 0;
};

TEST_F(KwHostTreeTest, AttributesKeepTheirOrderAndAreReplacedInPlace)
{
    KwBstr docType = KwBstr::FromNarrow("DocType");
    KwBstr format = KwBstr::FromNarrow("Format");
    KwBstr extra = KwBstr::FromNarrow("Extra");
    EXPECT_EQ(S_OK, Document()->PutAttribute(docType.Get(), V::I4(2).Get(), 2));
    EXPECT_EQ(S_OK, Document()->PutAttribute(format.Get(), V::Text("JPEG").Get(), 0));
    EXPECT_EQ(S_OK, Document()->PutAttribute(extra.Get(), V::Bool(true).Get(), 0));
    EXPECT_EQ(S_OK, Document()->PutAttribute(format.Get(), V::Text("JPEG (Exif)").Get(), 2));

    ASSERT_EQ((std::vector<std::string>{"DocType", "Format", "Extra"}), m_Document->AttributeNames());
    const KwHostAttributeEntry* entry = m_Document->FindAttribute("Format");
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(VT_BSTR, entry->Value.Type());
    EXPECT_EQ("JPEG (Exif)", entry->Value.ValueText());
    EXPECT_EQ(2, entry->Type);

    // Read back through the interface: a copy of the value and its Type.
    KwVariant value, type;
    EXPECT_EQ(S_OK, Document()->GetAttribute(docType.Get(), &type, &value));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(2, value.lVal);
    EXPECT_EQ(VT_I4, type.vt);
    EXPECT_EQ(2, type.lVal);

    // Names by position through IKwAttribute, and removal closing the gap.
    KwComPtr<IKwAttribute> attributes;
    ASSERT_EQ(S_OK, KwQuery(Document(), attributes.Receive()));
    KwBstr name;
    EXPECT_EQ(S_OK, attributes->GetAttributeName(1, name.Receive()));
    EXPECT_EQ("Format", KwNarrow(name.Get()));
    EXPECT_EQ(E_INVALIDARG, attributes->GetAttributeName(3, name.Receive()));
    EXPECT_EQ(E_INVALIDARG, attributes->GetAttributeName(-1, name.Receive()));
    EXPECT_EQ(S_OK, attributes->RemoveAttribute(format.Get()));
    ASSERT_EQ((std::vector<std::string>{"DocType", "Extra"}), m_Document->AttributeNames());
    LONG count = 0;
    EXPECT_EQ(S_OK, attributes->get_AttributeCount(&count));
    EXPECT_EQ(2, count);
}

TEST_F(KwHostTreeTest, AttributeValuesAreCopiesAndBadRequestsAreRefused)
{
    KwBstr name = KwBstr::FromNarrow("Format");
    {
        // The caller frees its value after the call; the host keeps its own copy.
        KwVariant text;
        text.SetBstr(KwBstr::FromNarrow("JPEG").Detach());
        EXPECT_EQ(S_OK, Document()->PutAttribute(name.Get(), text, 0));
    }
    EXPECT_EQ("JPEG", m_Document->FindAttribute("Format")->Value.ValueText());

    // Names compare exactly; a missing name fails with an empty value.
    KwBstr other = KwBstr::FromNarrow("format");
    KwVariant value;
    EXPECT_EQ(E_INVALIDARG, Document()->GetAttribute(other.Get(), nullptr, &value));
    EXPECT_EQ(VT_EMPTY, value.vt);
    EXPECT_EQ(E_POINTER, Document()->GetAttribute(name.Get(), nullptr, nullptr));

    // No empty names, no references into the caller's memory.
    KwBstr empty = KwBstr::FromNarrow("");
    EXPECT_EQ(E_INVALIDARG, Document()->PutAttribute(empty.Get(), V::I4(1).Get(), 0));
    EXPECT_EQ(E_INVALIDARG, Document()->PutAttribute(nullptr, V::I4(1).Get(), 0));
    LONG target = 5;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_I4 | VT_BYREF;
    byRef.plVal = &target;
    EXPECT_EQ(DISP_E_BADVARTYPE, Document()->PutAttribute(name.Get(), byRef, 0));
    EXPECT_EQ(1u, m_Document->Attributes().size());

    // A collection put as VT_DISPATCH is held with a reference of its own.
    KwComPtr<KwHostAttributeCollection> collection;
    ASSERT_EQ(S_OK, m_Engine.CreateAttributeCollection(collection.Receive()));
    KwBstr summary = KwBstr::FromNarrow("SummaryInformation");
    {
        KwVariant dispatch;
        dispatch.SetDispatch(static_cast<IKwAttribute*>(collection.Get()));
        EXPECT_EQ(S_OK, Document()->PutAttribute(summary.Get(), dispatch, 2));
    }
    EXPECT_EQ(2u, collection->References());
}

TEST_F(KwHostTreeTest, ChildrenAreCreatedByObjectTypeWithTheirInterfaces)
{
    KwComPtr<IKwChildren> contents = MakeContents();
    ASSERT_TRUE(contents);
    KwComPtr<IKwContents> asContents;
    EXPECT_EQ(S_OK, KwQuery(contents.Get(), asContents.Receive()));
    KwComPtr<IKwContainer> notContainer;
    EXPECT_EQ(E_NOINTERFACE, KwQuery(contents.Get(), notContainer.Receive()));
    KwComPtr<IKwAttribute> contentsAttributes;
    EXPECT_EQ(S_OK, KwQuery(contents.Get(), contentsAttributes.Receive()));

    // Type given as VT_I4 or VT_I2 alike.
    KwComPtr<IDispatch> node;
    ASSERT_EQ(S_OK, contents->CreateChild(V::I4(1).Get(), V::I4(KW_CONTAINER).Get(), VARIANT_TRUE, nullptr,
                                          node.Receive()));
    KwComPtr<IKwContainer> container;
    ASSERT_EQ(S_OK, KwQuery(node.Get(), container.Receive()));
    KwComPtr<IKwContents> notContents;
    EXPECT_EQ(E_NOINTERFACE, KwQuery(node.Get(), notContents.Receive()));
    KwComPtr<IKwAttribute> nodeAttributes;
    EXPECT_EQ(S_OK, KwQuery(node.Get(), nodeAttributes.Receive()));
    KwComPtr<IKwChildren> nodeChildren;
    EXPECT_EQ(S_OK, KwQuery(node.Get(), nodeChildren.Receive()));

    KwComPtr<IDispatch> raster;
    ASSERT_EQ(S_OK, container->CreateChild(V::Text("").Get(), V::I2(KW_RASTER_BLOCK).Get(), VARIANT_FALSE, nullptr,
                                           raster.Receive()));
    KwComPtr<IKwRasterBlock> block;
    EXPECT_EQ(S_OK, KwQuery(raster.Get(), block.Receive()));
    KwComPtr<IKwAttribute> blockAttributes;
    EXPECT_EQ(S_OK, KwQuery(raster.Get(), blockAttributes.Receive()));
    KwComPtr<IKwChildren> noChildren;
    EXPECT_EQ(E_NOINTERFACE, KwQuery(raster.Get(), noChildren.Receive()));

    // The identity is the same whatever interface it is asked through.
    KwComPtr<IUnknown> identity1, identity2;
    EXPECT_EQ(S_OK, KwQuery(static_cast<IUnknown*>(container.Get()), identity1.Receive()));
    EXPECT_EQ(S_OK, KwQuery(static_cast<IUnknown*>(nodeAttributes.Get()), identity2.Receive()));
    EXPECT_EQ(identity1.Get(), identity2.Get());

    // Other object types, and types or indexes of the wrong kind, are refused with no child.
    for (LONG type : {KW_DOCUMENT, KW_TEXT_BLOCK, KW_VECTOR_BLOCK, KW_ATTRIBUTE}) {
        KwComPtr<IDispatch> refused;
        EXPECT_EQ(E_INVALIDARG, container->CreateChild(V::I4(7).Get(), V::I4(type).Get(), VARIANT_TRUE, nullptr,
                                                       refused.Receive()))
            << type;
        EXPECT_FALSE(refused);
    }
    KwComPtr<IDispatch> refused;
    EXPECT_EQ(E_INVALIDARG, container->CreateChild(V::I4(7).Get(), V::Text("1102").Get(), VARIANT_TRUE, nullptr,
                                                   refused.Receive()));
    EXPECT_EQ(E_INVALIDARG, container->CreateChild(V::R8(1.0).Get(), V::I4(KW_CONTAINER).Get(), VARIANT_TRUE,
                                                   nullptr, refused.Receive()));
    EXPECT_EQ(E_POINTER, container->CreateChild(V::I4(7).Get(), V::I4(KW_CONTAINER).Get(), VARIANT_TRUE, nullptr,
                                                nullptr));
    EXPECT_EQ(1u, m_Document->Contents()->FindNode(1)->Children().size());
}

TEST_F(KwHostTreeTest, ChildrenAreFoundByIndexValueInCreationOrder)
{
    KwComPtr<IKwChildren> contents = MakeContents();
    KwComPtr<IDispatch> node;
    ASSERT_EQ(S_OK, contents->CreateChild(V::I4(1).Get(), V::I4(KW_CONTAINER).Get(), VARIANT_TRUE, nullptr,
                                          node.Receive()));

    // 1 as VT_I2, VT_I4 and VT_UI1 names the same child; the text "1" does not.
    VARIANT ui1;
    VariantInit(&ui1);
    ui1.vt = VT_UI1;
    ui1.bVal = 1;
    for (const VARIANT& index : {V::I2(1).Get(), V::I4(1).Get(), ui1}) {
        KwComPtr<IDispatch> found;
        EXPECT_EQ(S_OK, contents->GetChild(index, nullptr, nullptr, found.Receive())) << index.vt;
        EXPECT_EQ(node.Get(), found.Get());
    }
    KwComPtr<IDispatch> missing;
    EXPECT_TRUE(FAILED(contents->GetChild(V::Text("1").Get(), nullptr, nullptr, missing.Receive())));
    EXPECT_FALSE(missing);
    EXPECT_TRUE(FAILED(contents->GetChild(V::I4(2).Get(), nullptr, nullptr, missing.Receive())));
    EXPECT_FALSE(missing);

    // Descriptor and ParentIndex, when asked for, come back empty.
    VARIANT descriptor, parentIndex;
    descriptor.vt = VT_I4;
    parentIndex.vt = VT_I4;
    KwComPtr<IDispatch> found;
    EXPECT_EQ(S_OK, contents->GetChild(V::I4(1).Get(), &descriptor, &parentIndex, found.Receive()));
    EXPECT_EQ(VT_EMPTY, descriptor.vt);
    EXPECT_EQ(VT_EMPTY, parentIndex.vt);

    // Texts compare as texts: "" and a null BSTR are the same index.
    KwComPtr<IKwContainer> container;
    ASSERT_EQ(S_OK, KwQuery(node.Get(), container.Receive()));
    KwComPtr<IDispatch> first, second, byNull;
    ASSERT_EQ(S_OK, container->CreateChild(V::Text("").Get(), V::I2(KW_RASTER_BLOCK).Get(), VARIANT_FALSE, nullptr,
                                           first.Receive()));
    ASSERT_EQ(S_OK, container->CreateChild(V::Text("").Get(), V::I2(KW_RASTER_BLOCK).Get(), VARIANT_FALSE, nullptr,
                                           second.Receive()));
    EXPECT_NE(first.Get(), second.Get()) << "a second block with the same index is another child";
    VARIANT nullText;
    VariantInit(&nullText);
    nullText.vt = VT_BSTR;
    nullText.bstrVal = nullptr;
    EXPECT_EQ(S_OK, container->GetChild(nullText, nullptr, nullptr, byNull.Receive()));
    EXPECT_EQ(first.Get(), byNull.Get()) << "lookups find the first";

    KwHostNode* hostNode = m_Document->Contents()->FindNode(1);
    ASSERT_NE(nullptr, hostNode);
    EXPECT_EQ(2u, hostNode->RasterBlocks().size());
    LONG count = 0;
    EXPECT_EQ(S_OK, container->get_ChildCount(&count));
    EXPECT_EQ(2, count);
    KwComPtr<IKwChildren> children;
    ASSERT_EQ(S_OK, KwQuery(node.Get(), children.Receive()));
    KwVariant index;
    EXPECT_EQ(S_OK, children->GetChildIndex(1, &index));
    EXPECT_EQ(VT_BSTR, index.vt);
    index.Clear(); // an [out] VARIANT is overwritten, not cleared, by the callee
    EXPECT_EQ(E_INVALIDARG, children->GetChildIndex(2, &index));
    EXPECT_EQ("document/\"Contents\"/1/\"\"", KwHostLabel(hostNode->RasterBlocks()[1]));
}

TEST_F(KwHostTreeTest, ProtectedChildrenStayAndRemovalReleases)
{
    KwComPtr<IKwChildren> contents = MakeContents();
    KwComPtr<IDispatch> kept, loose;
    ASSERT_EQ(S_OK, contents->CreateChild(V::I4(1).Get(), V::I4(KW_CONTAINER).Get(), VARIANT_TRUE, nullptr,
                                          kept.Receive()));
    ASSERT_EQ(S_OK, contents->CreateChild(V::I4(2).Get(), V::I4(KW_CONTAINER).Get(), VARIANT_FALSE, nullptr,
                                          loose.Receive()));
    EXPECT_EQ(E_ACCESSDENIED, contents->RemoveChild(V::I4(1).Get()));
    LONG liveWithLoose = KwHostLiveObjects();
    loose.Reset();
    EXPECT_EQ(S_OK, contents->RemoveChild(V::I4(2).Get()));
    EXPECT_EQ(liveWithLoose - 1, KwHostLiveObjects());
    EXPECT_EQ(E_INVALIDARG, contents->RemoveChild(V::I4(2).Get()));
    EXPECT_EQ(S_FALSE, contents->RemoveAllChildren()) << "the protected child stays";
    LONG count = 0;
    EXPECT_EQ(S_OK, contents->get_ChildCount(&count));
    EXPECT_EQ(1, count);
}

TEST_F(KwHostTreeTest, SwitchesRefuseChildrenAndLeaveOutInterfaces)
{
    KwHostSwitches& switches = KwHostDouble(m_Engine).Switches();
    switches.Omit(KW_CONTENTS, IID_IKwContents);
    switches.Omit(KW_CONTAINER, IID_IKwAttribute);
    switches.Omit(KW_RASTER_BLOCK, IID_IKwRasterBlock);
    switches.Refuse(KW_TEXT_BLOCK); // no effect on other types

    KwComPtr<IKwChildren> contents = MakeContents();
    ASSERT_TRUE(contents) << "IKwChildren is still answered";
    KwComPtr<IKwContents> noContents;
    EXPECT_EQ(E_NOINTERFACE, KwQuery(contents.Get(), noContents.Receive()));
    KwComPtr<IDispatch> node;
    ASSERT_EQ(S_OK, contents->CreateChild(V::I4(1).Get(), V::I4(KW_CONTAINER).Get(), VARIANT_TRUE, nullptr,
                                          node.Receive()));
    KwComPtr<IKwAttribute> noAttributes;
    EXPECT_EQ(E_NOINTERFACE, KwQuery(node.Get(), noAttributes.Receive()));
    KwComPtr<IKwContainer> container;
    ASSERT_EQ(S_OK, KwQuery(node.Get(), container.Receive()));
    KwComPtr<IDispatch> raster;
    ASSERT_EQ(S_OK, container->CreateChild(V::Text("").Get(), V::I2(KW_RASTER_BLOCK).Get(), VARIANT_FALSE, nullptr,
                                           raster.Receive()));
    KwComPtr<IKwRasterBlock> noBlock;
    EXPECT_EQ(E_NOINTERFACE, KwQuery(raster.Get(), noBlock.Receive()));

    // A refusal with a failure, and one that "succeeds" without a child.
    switches.Refuse(KW_CONTAINER, E_OUTOFMEMORY);
    switches.Refuse(KW_RASTER_BLOCK, S_OK);
    KwComPtr<IDispatch> none;
    EXPECT_EQ(E_OUTOFMEMORY, contents->CreateChild(V::I4(2).Get(), V::I4(KW_CONTAINER).Get(), VARIANT_TRUE, nullptr,
                                                   none.Receive()));
    EXPECT_FALSE(none);
    EXPECT_EQ(S_OK, container->CreateChild(V::Text("").Get(), V::I2(KW_RASTER_BLOCK).Get(), VARIANT_FALSE, nullptr,
                                           none.Receive()));
    EXPECT_FALSE(none);
    EXPECT_EQ(1u, m_Document->Contents()->ChildCount());
    EXPECT_EQ(1u, m_Document->Contents()->FindNode(1)->ChildCount());

    // GetAttribute failing everywhere, as a host that cannot read "Loaded".
    switches.GetAttributeResult = E_UNEXPECTED;
    KwComPtr<IKwAttribute> contentsAttributes;
    ASSERT_EQ(S_OK, KwQuery(contents.Get(), contentsAttributes.Receive()));
    KwBstr name = KwBstr::FromNarrow("Loaded");
    m_Document->Contents()->SetAttribute("Loaded", V::Bool(true));
    KwVariant value;
    EXPECT_EQ(E_UNEXPECTED, contentsAttributes->GetAttribute(name.Get(), nullptr, &value));
    EXPECT_EQ(VT_EMPTY, value.vt);
}

} // namespace
