// A small reader of the interface definition file: enough of IDL to list the
// interfaces, their members, attributes and parameters, the enumerations, the
// records, the coclasses and the library attributes of KwFilter_JPEG.idl.
#pragma once

#include <map>
#include <string>
#include <vector>

struct KwIdlParameter {
    std::string name;                // may be empty (an unnamed property value)
    std::string type;                // the type text, e.g. "long*"
    std::vector<std::string> attributes;  // "in", "out", "retval", "optional", "defaultvalue(0)", ...
    bool Has(const std::string& attribute) const;
    // The text inside defaultvalue(...), or empty.
    std::string DefaultValue() const;
};

struct KwIdlMember {
    std::string name;                // the C++ name: propget/propput members get "get_"/"put_"
    std::vector<std::string> attributes;
    std::vector<KwIdlParameter> parameters;
    bool Has(const std::string& attribute) const;
    // The argument of id(...), or empty.
    std::string Id() const;
    std::string HelpString() const;
};

struct KwIdlInterface {
    std::string name;
    std::string base;
    std::vector<std::string> attributes;
    std::vector<KwIdlMember> members;
    bool Has(const std::string& attribute) const;
    std::string Uuid() const;
    std::string HelpString() const;
};

struct KwIdlCoclassEntry {
    std::string interfaceName;
    std::vector<std::string> attributes;  // "default", "source"
};

struct KwIdlCoclass {
    std::string name;
    std::vector<std::string> attributes;
    std::vector<KwIdlCoclassEntry> interfaces;
    std::string Uuid() const;
    std::string HelpString() const;
};

struct KwIdlFile {
    std::vector<KwIdlInterface> interfaces;
    std::map<std::string, std::vector<std::pair<std::string, long long>>> enums;  // in declaration order
    std::map<std::string, std::vector<std::string>> records;                        // field names in order
    std::string libraryName;
    std::vector<std::string> libraryAttributes;
    std::vector<std::string> imports;
    std::vector<std::string> importlibs;
    std::vector<KwIdlCoclass> coclasses;

    const KwIdlInterface* FindInterface(const std::string& name) const;
    const KwIdlCoclass* FindCoclass(const std::string& name) const;
};

// Reads `text`; returns false with a message in `error` when the text is not
// understood.
bool KwReadIdl(const std::string& text, KwIdlFile& file, std::string& error);

// The value of `name(value)` among attributes ("uuid" -> "A5A9..."), or empty.
std::string KwIdlAttributeValue(const std::vector<std::string>& attributes, const std::string& name);
