// The registration-script interpreter on small scripts, in registration and
// removal mode, against a registry of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "module/KwModule.h"
#include "module/KwRegistrar.h"
#include "KwRegistryDump.h"
#include "common/ScopedScratchRegistry.h"
#include "generated/KwVersion.h"

namespace {

class RegistrarTest : public ::testing::Test {
protected:
    HRESULT Register(const std::string& script) { return m_Registrar.RegisterScript(script.data(), script.size()); }
    HRESULT Unregister(const std::string& script)
    {
        return m_Registrar.UnregisterScript(script.data(), script.size());
    }
    static bool Exists(const std::string& path)
    {
        HKEY key = KwOpenRegistryPath(path);
        if (key) RegCloseKey(key);
        return key != nullptr;
    }

    // First, so that the registrar only ever sees this test's registry.
    ScopedScratchRegistry m_Registry;
    KwRegistrar m_Registrar;
};

TEST_F(RegistrarTest, RegistrationWritesKeysDefaultAndNamedValuesOfBothTypes)
{
    ASSERT_EQ(S_OK, Register("HKCR\r\n{\r\n\tKwT.Reg = s 'Top ''quoted'' text'\r\n\t{\r\n"
                             "\t\t'Name With Spaces' = d '4294967295'\r\n"
                             "\t\tInner { val Count = d '264' val Hex = d '0x108' val Neg = d '-1' "
                             "val 'Spaced Name' = s '' val Text = s '100%%' }\r\n"
                             "\t}\r\n}\r\n"
                             "HKEY_LOCAL_MACHINE { Software { KwT.Reg = s 'machine' } }"));
    EXPECT_EQ("HKCR\\KwT.Reg\n"
              "  @ = s \"Top 'quoted' text\"\n"
              "HKCR\\KwT.Reg\\Inner\n"
              "  Count = d 264\n"
              "  Hex = d 264\n"
              "  Neg = d 4294967295\n"
              "  Spaced Name = s \"\"\n"
              "  Text = s \"100%\"\n"
              "HKCR\\KwT.Reg\\Name With Spaces\n"
              "  @ = d 4294967295\n",
              KwDumpRegistry("HKCR\\KwT.Reg"));
    EXPECT_EQ("HKLM\\Software\\KwT.Reg\n  @ = s \"machine\"\n", KwDumpRegistry("HKLM\\Software\\KwT.Reg"));

    // Running it again changes nothing; root spellings and keywords ignore case.
    ASSERT_EQ(S_OK, Register("hkey_classes_root { KwT.Reg = s 'Top ''quoted'' text' }"));
    EXPECT_EQ(S_OK, Register("HKLM { SOFTWARE { KwT.Reg { VAL Other = S 'x' } } }"));
    EXPECT_EQ("HKLM\\Software\\KwT.Reg\n  @ = s \"machine\"\n  Other = s \"x\"\n",
              KwDumpRegistry("HKLM\\Software\\KwT.Reg"));
}

TEST_F(RegistrarTest, ForceRemoveReplacesTheSubtreeExceptForProtectedNames)
{
    ASSERT_TRUE(KwCreateRegistryPath("HKCR\\KwT.Force\\Stale\\Deep", "Old", "1"));
    ASSERT_TRUE(KwCreateRegistryPath("HKCR\\KwT.Force", "OldValue", "1"));
    for (const char* name : {"CLSID", "software", "Component Categories", "TypeLib", "Interface", "AppID"}) {
        ASSERT_TRUE(KwCreateRegistryPath(std::string("HKCR\\KwT.Protect\\") + name + "\\Keep"));
    }

    ASSERT_EQ(S_OK, Register("HKCR { ForceRemove KwT.Force = s 'new' { Fresh = s 'f' } "
                             "KwT.Protect { ForceRemove CLSID { } ForceRemove software ForceRemove "
                             "'Component Categories' ForceRemove TypeLib ForceRemove Interface ForceRemove AppID } }"));
    EXPECT_EQ("HKCR\\KwT.Force\n  @ = s \"new\"\nHKCR\\KwT.Force\\Fresh\n  @ = s \"f\"\n",
              KwDumpRegistry("HKCR\\KwT.Force"));
    for (const char* name : {"CLSID", "software", "Component Categories", "TypeLib", "Interface", "AppID"}) {
        EXPECT_TRUE(Exists(std::string("HKCR\\KwT.Protect\\") + name + "\\Keep")) << name;
    }
    for (const char* name : {"AppID", "CLSID", "Component Categories", "FileType", "Interface", "Hardware", "Mime",
                             "SAM", "SECURITY", "SYSTEM", "Software", "TypeLib", "typelib"}) {
        EXPECT_TRUE(KwRegistrar::IsProtectedKeyName(name)) << name;
    }
    for (const char* name : {"CLSIDs", "Soft", "KwFilters", ""}) {
        EXPECT_FALSE(KwRegistrar::IsProtectedKeyName(name)) << name;
    }
}

TEST_F(RegistrarTest, RemovalDeletesListedValuesAndKeysThatAreLeftWithoutSubkeys)
{
    const std::string script = "HKCR { NoRemove KwT.Keep { KwT.Gone = s 'x' { val A = s 'a' Leaf = s 'l' } "
                               "KwT.Shared { val B = d '1' } KwT.ValuesOnly { val C = s 'c' } } }";
    ASSERT_EQ(S_OK, Register(script));
    ASSERT_TRUE(KwCreateRegistryPath("HKCR\\KwT.Keep\\KwT.Shared\\Foreign"));
    ASSERT_TRUE(KwCreateRegistryPath("HKCR\\KwT.Keep\\KwT.Shared", "Mine", "m"));
    ASSERT_TRUE(KwCreateRegistryPath("HKCR\\KwT.Keep\\KwT.ValuesOnly", "Foreign", "f"));

    ASSERT_EQ(S_OK, Unregister(script));
    // Values alone do not keep a key; a foreign subkey does, with what is not
    // listed in the script; NoRemove keeps the key even when it is empty.
    EXPECT_EQ("HKCR\\KwT.Keep\n"
              "HKCR\\KwT.Keep\\KwT.Shared\n"
              "  Mine = s \"m\"\n"
              "HKCR\\KwT.Keep\\KwT.Shared\\Foreign\n",
              KwDumpRegistry("HKCR\\KwT.Keep"));

    ASSERT_TRUE(KwCreateRegistryPath("HKCR\\KwT.Keep\\KwT.Shared\\Foreign"));
    EXPECT_EQ(S_OK, Unregister(script)); // a second removal finds nothing more to do
    EXPECT_TRUE(Exists("HKCR\\KwT.Keep\\KwT.Shared\\Foreign"));
}

TEST_F(RegistrarTest, RemovalSkipsWhatIsListedInsideAMissingKey)
{
    ASSERT_TRUE(KwCreateRegistryPath("HKCR\\KwT.Partial\\Present", "V", "v"));
    EXPECT_EQ(S_OK, Unregister("HKCR { KwT.Missing { Child { val V = s 'v' Grand { } } } "
                               "NoRemove KwT.Partial { Absent { Deeper { } } Present { val V = s 'v' } } }"));
    EXPECT_FALSE(Exists("HKCR\\KwT.Missing"));
    EXPECT_EQ("HKCR\\KwT.Partial\n", KwDumpRegistry("HKCR\\KwT.Partial"));
    // A syntax error inside a skipped part still fails the script.
    EXPECT_EQ(KW_E_REGISTRAR_SCRIPT, Unregister("HKCR { KwT.Missing { 'a\\b' } }"));
    EXPECT_EQ(KW_E_REGISTRAR_SCRIPT, Unregister("HKCR { KwT.Missing { val X = d 'many' } }"));
}

TEST_F(RegistrarTest, MalformedScriptsFailWithTheRegistrarError)
{
    const char* const bad[] = {
        "HKCU { KwT.Bad }",                          // a root this registrar does not serve
        "HKCR KwT.Bad",                              // no brace after the root
        "HKCR { KwT.Bad { }",                        // a list that is never closed
        "HKCR { KwT.Bad = s 'open }",                // a quote that is never closed
        "HKCR { KwT.Bad = s text }",                 // a value outside quotes
        "HKCR { KwT.Bad = x 'text' }",               // an unknown value type
        "HKCR { KwT.Bad = d '12a' }",                // not a number
        "HKCR { KwT.Bad = d '4294967296' }",         // more than 32 bits
        "HKCR { KwT.Bad = d '-2147483649' }",        // less than 32 bits
        "HKCR { KwT.Bad = d '' }",                   // no digits
        "HKCR { KwT.Bad = }",                        // no value after =
        "HKCR { val KwT.Bad = s 'x' }",              // a named value outside any key
        "HKCR { KwT.Bad { val = s 'x' } }",          // a named value without a name
        "HKCR { KwT.Bad { val Name s 'x' } }",       // a named value without =
        "HKCR { 'KwT.Bad\\Sub' = s 'x' }",           // a key name with a backslash
        "HKCR { KwT.Bad\\Sub }",                     // the same without quotes
        "HKCR { '' = s 'x' }",                       // an empty key name
        "HKCR { ForceRemove }",                      // a keyword without a key
        "HKCR { KwT.Bad } }",                        // a brace too many
        "HKCR { %UNKNOWN% }",                        // an unknown variable
        "HKCR { KwT.Bad = s '%MODULE }",             // a % that is never closed
    };
    ASSERT_EQ(S_OK, m_Registrar.AddReplacement("MODULE", "/lib/x.so"));
    for (const char* script : bad) {
        EXPECT_EQ(KW_E_REGISTRAR_SCRIPT, Register(script)) << script;
        EXPECT_EQ(KW_E_REGISTRAR_SCRIPT, Unregister(script)) << script;
    }
    EXPECT_FALSE(Exists("HKCR\\KwT.Bad\\Sub"));

    // A zero byte inside the text is not part of any script.
    const std::string withZero("HKCR { KwT.Zero\0 }", 18);
    EXPECT_EQ(KW_E_REGISTRAR_SCRIPT, Register(withZero));
    // Nesting deeper than the interpreter follows fails instead of exhausting the stack.
    std::string deep = "HKCR { ";
    for (int i = 0; i < KwRegistrar::MaxDepth + 1; ++i) deep += "KwT.Deep { ";
    for (int i = 0; i < KwRegistrar::MaxDepth + 2; ++i) deep += "} ";
    EXPECT_EQ(KW_E_REGISTRAR_SCRIPT, Register(deep));
    // An empty script does nothing and succeeds.
    EXPECT_EQ(S_OK, Register(""));
    EXPECT_EQ(S_OK, Register(" \r\n\t "));
}

TEST_F(RegistrarTest, ReplacementVariablesMatchWithoutRegardToCase)
{
    EXPECT_EQ(E_INVALIDARG, m_Registrar.AddReplacement(nullptr, "x"));
    EXPECT_EQ(E_INVALIDARG, m_Registrar.AddReplacement("", "x"));
    EXPECT_EQ(E_INVALIDARG, m_Registrar.AddReplacement("Name", nullptr));
    ASSERT_EQ(S_OK, m_Registrar.AddReplacement("Module", "/opt/it''s/lib.so"));
    ASSERT_EQ(S_OK, m_Registrar.AddReplacement("VERSION", KW_VERSION_TEXT));
    ASSERT_EQ(S_OK, m_Registrar.AddReplacement("Empty", ""));
    ASSERT_EQ(S_OK, Register("HKCR { KwT.Vars = s '%MODULE%' { val V = s 'v%version%' val P = s '50%% of %%' "
                             "val E = s '[%Empty%]' } }"));
    EXPECT_EQ("HKCR\\KwT.Vars\n"
              "  @ = s \"/opt/it's/lib.so\"\n"
              "  E = s \"[]\"\n"
              "  P = s \"50% of %\"\n"
              "  V = s \"v" KW_VERSION_TEXT "\"\n",
              KwDumpRegistry("HKCR\\KwT.Vars"));

    for (int i = 3; i < KwRegistrar::MaxReplacements; ++i) {
        EXPECT_EQ(S_OK, m_Registrar.AddReplacement("Filler", "f"));
    }
    EXPECT_EQ(E_OUTOFMEMORY, m_Registrar.AddReplacement("OneTooMany", "x"));
}

TEST(ModuleVersion, UnreadableVersionResourceReadsAsZeroes)
{
    char text[32] = "garbage";
    // Wide text is 16 bits on every build; the SDK spells it wchar_t on Windows.
    EXPECT_EQ(S_OK, KwModule::ReadProductVersion(reinterpret_cast<LPCWSTR>(u"/nonexistent/library.so"), text,
                                                 sizeof text));
    EXPECT_STREQ("0.0.0.0", text);
    EXPECT_EQ(S_OK, KwModule::ReadProductVersion(nullptr, text, sizeof text));
    EXPECT_STREQ("0.0.0.0", text);
    EXPECT_EQ(E_INVALIDARG, KwModule::ReadProductVersion(reinterpret_cast<LPCWSTR>(u"x"), text, 8));
}

} // namespace
