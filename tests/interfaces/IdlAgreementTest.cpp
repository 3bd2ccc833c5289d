// The interface definition file and the C++ declarations describe the same
// library: GUIDs, member order (vtable slots), DISPIDs, defaults, coclasses,
// enumerations and records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "KwIdlReader.h"
#include "KwInterfaceTable.h"

namespace {

std::string GuidText(const GUID& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g.Data1),
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                  g.Data4[6], g.Data4[7]);
    return text;
}

std::string Upper(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The member name without its accessor prefix: get_Storage -> Storage.
std::string PlainName(const std::string& name)
{
    for (const char* prefix : {"get_", "put_", "putref_"}) {
        std::string p = prefix;
        if (name.compare(0, p.size(), p) == 0) return name.substr(p.size());
    }
    return name;
}

// A parameter's type as C++ receives it: a fixed array is passed by address.
std::string PassedType(const std::string& idlType)
{
    size_t bracket = idlType.find('[');
    return bracket == std::string::npos ? idlType : idlType.substr(0, bracket) + "*";
}

// A parameter's direction attributes as one letter (see KwMemberSpec::directions).
char Direction(const KwIdlParameter& p)
{
    std::vector<std::string> flags;
    for (const auto& a : p.attributes)
        if (a.compare(0, 13, "defaultvalue(") != 0) flags.push_back(a);
    const std::vector<std::pair<std::vector<std::string>, char>> known = {
        {{}, '-'},         {{"in"}, 'i'},       {{"out"}, 'o'},          {{"in", "out"}, 'b'},
        {{"out", "retval"}, 'r'}, {{"in", "optional"}, 'p'}, {{"out", "optional"}, 'q'},
    };
    for (const auto& k : known)
        if (k.first == flags) return k.second;
    return '?';
}

class IdlAgreement : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::ifstream in(KW_TEST_SOURCE_DIR "/src/interfaces/KwFilter_JPEG.idl", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        s_read = in.good() || in.eof();
        if (s_read) s_read = KwReadIdl(text.str(), s_idl, s_error);
        else s_error = "cannot open KwFilter_JPEG.idl";
    }
    void SetUp() override { ASSERT_TRUE(s_read) << s_error; }

    static const KwIdlInterface& Interface(const std::string& name)
    {
        const KwIdlInterface* itf = s_idl.FindInterface(name);
        if (!itf) throw std::runtime_error("interface " + name + " is not defined");
        return *itf;
    }
    static const KwIdlParameter* Parameter(const std::string& itf, const std::string& member, const std::string& name)
    {
        for (const auto& m : Interface(itf).members)
            if (m.name == member)
                for (const auto& p : m.parameters)
                    if (p.name == name) return &p;
        return nullptr;
    }

    static KwIdlFile s_idl;
    static bool s_read;
    static std::string s_error;
};

KwIdlFile IdlAgreement::s_idl;
bool IdlAgreement::s_read = false;
std::string IdlAgreement::s_error;

TEST_F(IdlAgreement, LibraryAttributes)
{
    EXPECT_EQ(s_idl.libraryName, "KWFILTER_JPEGLib");
    EXPECT_EQ(Upper(KwIdlAttributeValue(s_idl.libraryAttributes, "uuid")), GuidText(LIBID_KWFILTER_JPEGLib));
    EXPECT_EQ(KwIdlAttributeValue(s_idl.libraryAttributes, "version"), "1.0");
    EXPECT_EQ(KwIdlAttributeValue(s_idl.libraryAttributes, "lcid"), "0");
    EXPECT_EQ(KwIdlAttributeValue(s_idl.libraryAttributes, "helpstring"), "\"KwFilter_JPEG 1.0 Type Library\"");
    for (const char* flag : {"restricted", "hidden", "control"})
        EXPECT_EQ(std::count(s_idl.libraryAttributes.begin(), s_idl.libraryAttributes.end(), flag), 0) << flag;
    ASSERT_EQ(s_idl.importlibs.size(), 1u);
    EXPECT_EQ(s_idl.importlibs[0], "stdole2.tlb");
}

TEST_F(IdlAgreement, InterfacesCarryTheCppIdentifiersKindsAndHelpStrings)
{
    for (const auto& described : KwLibraryInterfaces()) {
        SCOPED_TRACE(described.name);
        const auto& itf = Interface(described.name);
        EXPECT_EQ(Upper(itf.Uuid()), GuidText(*described.iid));
        EXPECT_EQ(itf.HelpString(), described.helpString);
        EXPECT_EQ(itf.base, described.dual ? "IDispatch" : "IUnknown");
        EXPECT_EQ(itf.Has("dual"), described.dual);
        EXPECT_EQ(itf.Has("oleautomation"), described.dual);
        EXPECT_TRUE(itf.Has("object"));
    }
    EXPECT_EQ(s_idl.interfaces.size(), KwLibraryInterfaces().size()) << "an interface without a C++ counterpart";
}

// Member i of the definition must be the C++ method in vtable slot firstSlot + i,
// with as many parameters of the same types, each in the direction the contract
// gives: a reordered or missing method, a changed type or pointer depth, or a
// changed [in]/[out]/[retval] on either side fails here.
TEST_F(IdlAgreement, MembersSitInTheCppVtableSlots)
{
    for (const auto& described : KwLibraryInterfaces()) {
        SCOPED_TRACE(described.name);
        const auto& itf = Interface(described.name);
        ASSERT_EQ(itf.members.size(), described.members.size());
        for (size_t i = 0; i < described.members.size(); ++i) {
            const auto& expected = described.members[i];
            SCOPED_TRACE(expected.name);
            EXPECT_EQ(itf.members[i].name, expected.name);
            EXPECT_EQ(expected.cppSlot, described.firstSlot + static_cast<int>(i));
            const auto& parameters = itf.members[i].parameters;
            ASSERT_EQ(static_cast<int>(parameters.size()), expected.cppParams);
            ASSERT_EQ(std::string(expected.directions).size(), parameters.size());
            for (size_t k = 0; k < parameters.size(); ++k) {
                SCOPED_TRACE("parameter " + std::to_string(k) + " " + parameters[k].name);
                EXPECT_EQ(PassedType(parameters[k].type), expected.cppTypes[k]);
                EXPECT_EQ(Direction(parameters[k]), expected.directions[k]);
            }
        }
    }
}

TEST_F(IdlAgreement, DispidsAndHelpStringsOfMembers)
{
    for (const auto& described : KwLibraryInterfaces()) {
        const auto& itf = Interface(described.name);
        for (size_t i = 0; i < described.members.size() && i < itf.members.size(); ++i) {
            const auto& expected = described.members[i];
            const auto& member = itf.members[i];
            SCOPED_TRACE(std::string(described.name) + "::" + expected.name);
            std::string id = member.Id();
            if (id == "DISPID_NEWENUM") id = "-4";
            if (id == "DISPID_VALUE") id = "0";
            if (expected.dispid == KW_DEFAULT_MEMID) EXPECT_EQ(id, "");
            else EXPECT_EQ(id, std::to_string(expected.dispid));

            bool property = member.Has("propget") || member.Has("propput");
            std::string help = (property ? "property " : "method ") + PlainName(member.name);
            if (std::string(described.name) == "IKwDocument" && member.name == "ReleaseDoc") help = "method Release";
            EXPECT_EQ(member.HelpString(), help);
        }
    }
    // The enumerator of a dual collection is hidden from scripting clients.
    for (const char* name : {"IKwDocument", "IKwFilters"}) {
        EXPECT_TRUE(Interface(name).members[8].Has("restricted")) << name;
    }
}

TEST_F(IdlAgreement, OptionalParametersCarryTheirDefaults)
{
    size_t withDefault = 0;
    for (const auto& itf : s_idl.interfaces)
        for (const auto& m : itf.members)
            for (const auto& p : m.parameters)
                if (!p.DefaultValue().empty()) ++withDefault;
    EXPECT_EQ(withDefault, KwLibraryDefaults().size()) << "a default the contract does not give";

    for (const auto& d : KwLibraryDefaults()) {
        SCOPED_TRACE(std::string(d.interfaceName) + "::" + d.member + " " + d.parameter);
        const KwIdlParameter* p = Parameter(d.interfaceName, d.member, d.parameter);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->Has("in"));
        EXPECT_TRUE(p->Has("optional"));
        EXPECT_EQ(std::stol(p->DefaultValue(), nullptr, 0), d.value);
        EXPECT_EQ(p->type, d.boolean ? "VARIANT_BOOL" : "long");
    }
}

// What the member table cannot say: property values are unnamed, and matrices
// are fixed arrays (directions and types of every parameter: above).
TEST_F(IdlAgreement, ParameterNamesAndArrays)
{
    // Property values are unnamed, as in the host's own library.
    const auto& put = Interface("IKwDocument").members[3];
    ASSERT_EQ(put.parameters.size(), 1u);
    EXPECT_EQ(put.parameters[0].name, "");
    // Matrices travel as C arrays of 16 doubles.
    const KwIdlParameter* matrix = Parameter("IKwDescriptorNative", "GetMatrix", "Matrix");
    ASSERT_NE(matrix, nullptr);
    EXPECT_EQ(matrix->type, "double[16]");
}

TEST_F(IdlAgreement, CoclassesMatchTheClassIdentifiers)
{
    ASSERT_EQ(s_idl.coclasses.size(), KwLibraryCoclasses().size());
    for (size_t i = 0; i < KwLibraryCoclasses().size(); ++i) {
        const auto& described = KwLibraryCoclasses()[i];
        SCOPED_TRACE(described.name);
        const auto& coclass = s_idl.coclasses[i];  // declaration order gives the library order
        EXPECT_EQ(coclass.name, described.name);
        EXPECT_EQ(Upper(coclass.Uuid()), GuidText(*described.clsid));
        EXPECT_EQ(coclass.HelpString(), std::string(described.name) + " Class");
        EXPECT_EQ(std::count(coclass.attributes.begin(), coclass.attributes.end(), "noncreatable"),
                  described.creatable ? 0 : 1);
        ASSERT_EQ(coclass.interfaces.size(), described.sourceInterface ? 2u : 1u);
        EXPECT_EQ(coclass.interfaces[0].interfaceName, described.defaultInterface);
        EXPECT_EQ(coclass.interfaces[0].attributes, std::vector<std::string>{"default"});
        if (described.sourceInterface) {
            EXPECT_EQ(coclass.interfaces[1].interfaceName, described.sourceInterface);
            EXPECT_EQ(coclass.interfaces[1].attributes, (std::vector<std::string>{"default", "source"}));
        }
    }
}

TEST_F(IdlAgreement, EnumerationsHaveTheCppValues)
{
    std::map<std::string, size_t> perEnumeration;
    for (const auto& c : KwLibraryEnumConstants()) {
        SCOPED_TRACE(c.name);
        auto e = s_idl.enums.find(c.enumeration);
        ASSERT_NE(e, s_idl.enums.end()) << c.enumeration;
        const auto& constants = e->second;
        size_t index = perEnumeration[c.enumeration]++;
        ASSERT_LT(index, constants.size());
        EXPECT_EQ(constants[index].first, c.name);
        EXPECT_EQ(constants[index].second, c.value);
    }
    EXPECT_EQ(s_idl.enums.size(), perEnumeration.size());
    for (const auto& e : s_idl.enums) EXPECT_EQ(e.second.size(), perEnumeration[e.first]) << e.first;
}

TEST_F(IdlAgreement, RecordsHaveTheCppLayout)
{
    EXPECT_EQ(s_idl.records["RECTD"], (std::vector<std::string>{"left", "top", "right", "bottom"}));
    EXPECT_EQ(s_idl.records["CUBE"], (std::vector<std::string>{"minX", "maxX", "minY", "maxY", "minZ", "maxZ"}));
    EXPECT_EQ(s_idl.records.size(), 2u) << "tagRECT comes from wtypes.idl, not from this file";
    static_assert(offsetof(RECTD, left) == 0 && offsetof(RECTD, top) == 8 && offsetof(RECTD, right) == 16 &&
                      offsetof(RECTD, bottom) == 24 && sizeof(RECTD) == 32,
                  "RECTD layout");
    static_assert(offsetof(CUBE, minX) == 0 && offsetof(CUBE, maxX) == 8 && offsetof(CUBE, minY) == 16 &&
                      offsetof(CUBE, maxY) == 24 && offsetof(CUBE, minZ) == 32 && offsetof(CUBE, maxZ) == 40 &&
                      sizeof(CUBE) == 48,
                  "CUBE layout");
    static_assert(sizeof(RECT) == 16 && offsetof(RECT, bottom) == 12, "RECT layout");
    const KwIdlParameter* rect = Parameter("IKwDescriptorNative", "TransformRect", "Rectangle");
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->type, "RECT*");
}

}  // namespace
