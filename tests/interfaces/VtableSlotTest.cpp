// The vtable slots of the host node interfaces, which the type library does not
// declare (those of the library's interfaces: ContractTest.cpp). The slot
// reading is proved against calls through the raw vtable of a mock. Also the
// one fact of the IDL that neither the header nor the vtables show.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <type_traits>

#include "KwFilterInterfaces.h"

namespace {

// The vtable slot of a virtual member function, read from its pointer to member.
// GCC and Clang follow the Itanium C++ ABI: a pointer to a virtual member holds
// 1 + the byte offset of its vtable entry. -1 if not virtual.
template <typename Pmf> int KwVtableSlot(Pmf member)
{
    static_assert(sizeof(Pmf) == 2 * sizeof(void*), "Itanium C++ ABI member pointer");
    struct {
        std::uintptr_t Ptr;
        std::ptrdiff_t Adj;
    } raw;
    std::memcpy(&raw, &member, sizeof raw);
    if ((raw.Ptr & 1) == 0 || raw.Adj != 0) return -1;
    return static_cast<int>((raw.Ptr - 1) / sizeof(void*));
}

// Two members take the same parameters and return the same type.
template <class R, class C, class D, class... A, class... B> constexpr bool SameSignature(R (C::*)(A...), R (D::*)(B...))
{
    return std::is_same_v<R(A...), R(B...)>;
}

// The node interfaces' members are those of IKwDocument, the raster block's those of IKwSaveRasterData.
static_assert(SameSignature(&IKwContents::PutAttribute, &IKwDocument::PutAttribute));
static_assert(SameSignature(&IKwContainer::PutAttribute, &IKwDocument::PutAttribute));
static_assert(SameSignature(&IKwContainer::CreateChild, &IKwDocument::CreateChild));
static_assert(SameSignature(&IKwContainer::GetParent, &IKwDocument::GetParent));
static_assert(SameSignature(&IKwChildren::GetChild, &IKwDocument::GetChild));
static_assert(SameSignature(&IKwChildren::CreateChild, &IKwDocument::CreateChild));
static_assert(SameSignature(&IKwAttribute::GetAttribute, &IKwDocument::GetAttribute));
static_assert(SameSignature(&IKwAttribute::PutAttribute, &IKwDocument::PutAttribute));
static_assert(SameSignature(&IKwRasterBlock::EndObject, &IKwSaveRasterData::EndObject));
static_assert(SameSignature(&IKwRasterBlock::CreateRasterStorage, &IKwSaveRasterData::CreateRasterStorage));
static_assert(SameSignature(&IKwRasterBlock::AddScanline1, &IKwSaveRasterData::AddScanline1));
static_assert(SameSignature(&IKwRasterBlock::AddScanline2, &IKwSaveRasterData::AddScanline2));

// Calls slot `slot` of `object` through its raw vtable, as a client compiled
// against the type library would; the mock touches no argument.
HRESULT CallSlot(IUnknown* object, int slot)
{
    using Function = HRESULT(STDMETHODCALLTYPE*)(IUnknown*);
    void** vtable = *reinterpret_cast<void***>(object);
    return reinterpret_cast<Function>(vtable[slot])(object);
}

// Each method records its own name.
struct MockAttribute : IKwAttribute {
    std::string Called;
    HRESULT Hit(const char* name)
    {
        Called = name;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return Hit("QueryInterface"); }
    ULONG STDMETHODCALLTYPE AddRef() override { return Hit("AddRef"), 1; }
    ULONG STDMETHODCALLTYPE Release() override { return Hit("Release"), 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Hit("GetTypeInfoCount"); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return Hit("GetTypeInfo"); }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return Hit("GetIDsOfNames");
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return Hit("Invoke");
    }
    HRESULT STDMETHODCALLTYPE get_AttributeCount(LONG*) override { return Hit("get_AttributeCount"); }
    HRESULT STDMETHODCALLTYPE GetAttribute(BSTR, VARIANT*, VARIANT*) override { return Hit("GetAttribute"); }
    HRESULT STDMETHODCALLTYPE PutAttribute(BSTR, VARIANT, LONG) override { return Hit("PutAttribute"); }
    HRESULT STDMETHODCALLTYPE RemoveAttribute(BSTR) override { return Hit("RemoveAttribute"); }
    HRESULT STDMETHODCALLTYPE GetAttributeName(LONG, BSTR*) override { return Hit("GetAttributeName"); }
};

// Every slot read from a member pointer, called through the raw vtable, lands
// in that member, after the IUnknown and IDispatch slots.
TEST(VtableSlots, MemberPointerReadingMatchesRawVtableCalls)
{
    MockAttribute mock;
    const struct {
        int Slot;
        const char* Name;
    } members[] = {{KwVtableSlot(&IKwAttribute::Release), "Release"},
                   {KwVtableSlot(&IKwAttribute::Invoke), "Invoke"},
                   {KwVtableSlot(&IKwAttribute::get_AttributeCount), "get_AttributeCount"},
                   {KwVtableSlot(&IKwAttribute::GetAttribute), "GetAttribute"},
                   {KwVtableSlot(&IKwAttribute::PutAttribute), "PutAttribute"},
                   {KwVtableSlot(&IKwAttribute::RemoveAttribute), "RemoveAttribute"},
                   {KwVtableSlot(&IKwAttribute::GetAttributeName), "GetAttributeName"}};
    for (const auto& m : members) {
        ASSERT_GE(m.Slot, 0) << m.Name;
        mock.Called.clear();
        CallSlot(&mock, m.Slot);
        EXPECT_EQ(mock.Called, m.Name);
    }
    EXPECT_EQ(members[0].Slot, 2);
    EXPECT_EQ(members[1].Slot, 6);
}

// The positions of the host node members that the filters call.
TEST(VtableSlots, HostNodeSlotsFixedByTheContract)
{
    EXPECT_EQ(KwVtableSlot(&IKwContents::PutAttribute), 12);
    EXPECT_EQ(KwVtableSlot(&IKwChildren::GetChild), 8);
    EXPECT_EQ(KwVtableSlot(&IKwChildren::CreateChild), 10);
    EXPECT_EQ(KwVtableSlot(&IKwContainer::PutAttribute), 12);
    EXPECT_EQ(KwVtableSlot(&IKwContainer::CreateChild), 18);
    EXPECT_EQ(KwVtableSlot(&IKwContainer::GetParent), 26);
    EXPECT_EQ(KwVtableSlot(&IKwRasterBlock::EndObject), 16);
    EXPECT_EQ(KwVtableSlot(&IKwRasterBlock::CreateRasterStorage), 17);
    EXPECT_EQ(KwVtableSlot(&IKwRasterBlock::AddScanline1), 18);
    EXPECT_EQ(KwVtableSlot(&IKwAttribute::GetAttribute), 8);
    EXPECT_EQ(KwVtableSlot(&IKwAttribute::PutAttribute), 9);
}

// What the generated header and the vtables cannot show: a property's value
// is unnamed in the IDL ("[propput, ...] HRESULT Name([in] TYPE);").
TEST(VtableSlots, PropertyValuesAreUnnamed)
{
    std::ifstream in(KW_TEST_SOURCE_DIR "/src/interfaces/KwFilter_JPEG.idl");
    const std::string idl{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::regex put(R"(\[propput[^\]]*\]\s*HRESULT\s+\w+\(([^)]*)\))");
    int properties = 0;
    for (std::sregex_iterator m(idl.begin(), idl.end(), put), end; m != end; ++m, ++properties)
        EXPECT_TRUE(std::regex_match((*m)[1].str(), std::regex(R"(\[in\]\s*\w+)"))) << (*m)[0];
    EXPECT_EQ(properties, 7) << "ProtectAttributes three times, ProtectChildren twice, FilterMainKey, FilterBaseKey";
}

} // namespace
