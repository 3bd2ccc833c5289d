// The slots of the host node members that the filters call: no type library
// declares these interfaces, so nothing else holds them where hosts, built
// against their own declarations, expect them. Read from widl's C view of the
// vtables, which it lays out from the same declarations as the C++ classes.
// Also the one fact of the IDL that neither the header nor the vtables show.
#define CINTERFACE
#include "interfaces/KwFilter_JPEG.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

namespace {

#define KW_CHECK_SLOT(I, M, Slot)                                                                                      \
    static_assert(offsetof(I##Vtbl, M) == (Slot) * sizeof(void*), #I "::" #M " sits in slot " #Slot)
KW_CHECK_SLOT(IKwContents, PutAttribute, 12);
KW_CHECK_SLOT(IKwChildren, GetChild, 8);
KW_CHECK_SLOT(IKwChildren, CreateChild, 10);
KW_CHECK_SLOT(IKwContainer, PutAttribute, 12);
KW_CHECK_SLOT(IKwContainer, CreateChild, 18);
KW_CHECK_SLOT(IKwContainer, GetParent, 26);
KW_CHECK_SLOT(IKwRasterBlock, EndObject, 16);
KW_CHECK_SLOT(IKwRasterBlock, CreateRasterStorage, 17);
KW_CHECK_SLOT(IKwRasterBlock, AddScanline1, 18);
KW_CHECK_SLOT(IKwAttribute, GetAttribute, 8);
KW_CHECK_SLOT(IKwAttribute, PutAttribute, 9);

// What the generated header and the vtables cannot show: a property's value
// is unnamed in the IDL ("[propput, ...] HRESULT Name([in] TYPE);").
TEST(VtableSlots, PropertyValuesAreUnnamed)
{
    std::ifstream in(KW_TEST_SOURCE_DIR "/src/interfaces/KwFilter_JPEG.idl");
    const std::string idl{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // Members of the groups are written in macros, continued with a backslash.
    const std::regex put(R"(\[propput[^\]]*\][\s\\]*HRESULT\s+\w+\(([^)]*)\))");
    int properties = 0;
    for (std::sregex_iterator m(idl.begin(), idl.end(), put), end; m != end; ++m, ++properties)
        EXPECT_TRUE(std::regex_match((*m)[1].str(), std::regex(R"(\[in\]\s*\w+)"))) << (*m)[0];
    EXPECT_EQ(properties, 4) << "ProtectAttributes, ProtectChildren, FilterMainKey, FilterBaseKey";
}

} // namespace
