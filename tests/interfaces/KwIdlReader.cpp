#include "KwIdlReader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsWord(const std::string& token) { return !token.empty() && IsWordChar(token[0]); }

// Comments and preprocessor lines removed; words, string literals and single
// punctuation characters as tokens.
std::vector<std::string> Tokenize(const std::string& text)
{
    std::vector<std::string> tokens;
    size_t i = 0;
    const size_t n = text.size();
    bool lineStart = true;
    while (i < n) {
        char c = text[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (lineStart && c == '#') {  // preprocessor line
            while (i < n && text[i] != '\n') ++i;
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < n && text[i + 1] == '/') {
            while (i < n && text[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            size_t end = text.find("*/", i + 2);
            if (end == std::string::npos) throw std::runtime_error("unterminated comment");
            i = end + 2;
            continue;
        }
        if (c == '"') {
            size_t j = i + 1;
            while (j < n && text[j] != '"') {
                if (text[j] == '\\') ++j;
                ++j;
            }
            if (j >= n) throw std::runtime_error("unterminated string");
            tokens.push_back(text.substr(i, j - i + 1));
            i = j + 1;
            continue;
        }
        if (IsWordChar(c)) {
            size_t j = i;
            while (j < n && IsWordChar(text[j])) ++j;
            tokens.push_back(text.substr(i, j - i));
            i = j;
            continue;
        }
        tokens.push_back(std::string(1, c));
        ++i;
    }
    return tokens;
}

class Parser {
public:
    Parser(std::vector<std::string> tokens, KwIdlFile& file) : m_T(std::move(tokens)), m_File(file) {}

    void File()
    {
        while (!AtEnd()) Statement(false);
    }

private:
    bool AtEnd() const { return m_I >= m_T.size(); }
    const std::string& Peek(size_t ahead = 0) const
    {
        static const std::string end;
        return m_I + ahead < m_T.size() ? m_T[m_I + ahead] : end;
    }
    std::string Next()
    {
        if (AtEnd()) throw std::runtime_error("unexpected end of file");
        return m_T[m_I++];
    }
    void Expect(const std::string& token)
    {
        std::string got = Next();
        if (got != token) throw std::runtime_error("expected '" + token + "', found '" + got + "'");
    }
    std::string Word()
    {
        std::string got = Next();
        if (!IsWord(got)) throw std::runtime_error("expected a name, found '" + got + "'");
        return got;
    }
    bool Accept(const std::string& token)
    {
        if (Peek() == token) {
            ++m_I;
            return true;
        }
        return false;
    }

    // The tokens up to the bracket that closes `open` (already consumed).
    std::vector<std::string> Until(const std::string& open, const std::string& close)
    {
        std::vector<std::string> inner;
        int depth = 1;
        for (;;) {
            std::string t = Next();
            if (t == open) ++depth;
            if (t == close && --depth == 0) return inner;
            inner.push_back(t);
        }
    }

    // Splits at commas outside parentheses and brackets.
    static std::vector<std::vector<std::string>> SplitTop(const std::vector<std::string>& tokens)
    {
        std::vector<std::vector<std::string>> parts(1);
        int depth = 0;
        for (const auto& t : tokens) {
            if (t == "(" || t == "[") ++depth;
            if (t == ")" || t == "]") --depth;
            if (t == "," && depth == 0) {
                parts.emplace_back();
                continue;
            }
            parts.back().push_back(t);
        }
        if (parts.size() == 1 && parts[0].empty()) parts.clear();
        return parts;
    }

    // "[a, b(x), c]" (opening bracket consumed) as {"a", "b(x)", "c"}.
    std::vector<std::string> Attributes()
    {
        std::vector<std::string> result;
        for (const auto& part : SplitTop(Until("[", "]"))) {
            std::string text;
            for (const auto& t : part) text += t;
            result.push_back(text);
        }
        return result;
    }

    void Statement(bool inLibrary)
    {
        std::vector<std::string> attributes;
        if (Accept("import")) {
            m_File.imports.push_back(Unquote(Next()));
            Expect(";");
            return;
        }
        if (Accept("importlib")) {
            Expect("(");
            m_File.importlibs.push_back(Unquote(Next()));
            Expect(")");
            Expect(";");
            return;
        }
        if (Accept("cpp_quote")) {
            Expect("(");
            Until("(", ")");
            return;
        }
        if (Accept("[")) attributes = Attributes();
        std::string keyword = Word();
        if (keyword == "interface") {
            Interface(attributes);
        } else if (keyword == "typedef") {
            Typedef();
        } else if (keyword == "library" && !inLibrary) {
            Library(attributes);
        } else if (keyword == "coclass" && inLibrary) {
            Coclass(attributes);
        } else {
            throw std::runtime_error("unexpected '" + keyword + "'");
        }
    }

    static std::string Unquote(const std::string& s)
    {
        if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
        return s;
    }

    void Interface(const std::vector<std::string>& attributes)
    {
        KwIdlInterface itf;
        itf.name = Word();
        itf.attributes = attributes;
        if (Accept(";")) return;  // forward declaration
        if (Accept(":")) itf.base = Word();
        Expect("{");
        while (!Accept("}")) itf.members.push_back(Member());
        Accept(";");
        m_File.interfaces.push_back(std::move(itf));
    }

    KwIdlMember Member()
    {
        KwIdlMember member;
        if (Accept("[")) member.attributes = Attributes();
        // Return type, then the name just before "(".
        std::string name;
        while (Peek(1) != "(") {
            Next();
            if (AtEnd()) throw std::runtime_error("member without parameter list");
        }
        name = Word();
        Expect("(");
        for (auto& part : SplitTop(Until("(", ")"))) {
            if (part.size() == 1 && part[0] == "void") continue;
            member.parameters.push_back(Parameter(part));
        }
        Expect(";");
        if (member.Has("propget")) name = "get_" + name;
        if (member.Has("propput")) name = "put_" + name;
        if (member.Has("propputref")) name = "putref_" + name;
        member.name = name;
        return member;
    }

    static KwIdlParameter Parameter(std::vector<std::string> tokens)
    {
        KwIdlParameter p;
        size_t i = 0;
        if (!tokens.empty() && tokens[0] == "[") {
            size_t close = std::find(tokens.begin(), tokens.end(), "]") - tokens.begin();
            if (close == tokens.size()) throw std::runtime_error("unterminated parameter attributes");
            std::vector<std::string> inner(tokens.begin() + 1, tokens.begin() + close);
            for (const auto& part : SplitTop(inner)) {
                std::string text;
                for (const auto& t : part) text += t;
                p.attributes.push_back(text);
            }
            i = close + 1;
        }
        std::vector<std::string> rest(tokens.begin() + i, tokens.end());
        std::string suffix;
        if (rest.size() >= 3 && rest.back() == "]") {  // fixed array: Matrix[16]
            size_t open = std::find(rest.begin(), rest.end(), "[") - rest.begin();
            for (size_t k = open; k < rest.size(); ++k) suffix += rest[k];
            rest.resize(open);
        }
        if (rest.empty()) throw std::runtime_error("parameter without type");
        if (rest.size() >= 2 && IsWord(rest.back())) {
            p.name = rest.back();
            rest.pop_back();
        }
        for (const auto& t : rest) {
            if (!p.type.empty() && IsWord(t) && IsWord(std::string(1, p.type.back()))) p.type += ' ';
            p.type += t;
        }
        p.type += suffix;
        return p;
    }

    void Typedef()
    {
        if (Accept("[")) Attributes();
        std::string kind = Word();
        if (kind != "enum" && kind != "struct") {
            // A plain alias: skip to the end of the declaration.
            while (Next() != ";") {
            }
            return;
        }
        std::string tag;
        if (IsWord(Peek())) tag = Word();
        Expect("{");
        std::vector<std::string> body = Until("{", "}");
        std::string alias = IsWord(Peek()) ? Word() : tag;
        while (Next() != ";") {
        }
        if (kind == "enum") {
            std::vector<std::pair<std::string, long long>> constants;
            long long next = 0;
            for (const auto& part : SplitTop(body)) {
                if (part.empty()) continue;
                long long value = next;
                if (part.size() >= 3 && part[1] == "=") {
                    std::string number;
                    for (size_t k = 2; k < part.size(); ++k) number += part[k];
                    value = std::strtoll(number.c_str(), nullptr, 0);
                }
                constants.emplace_back(part[0], value);
                next = value + 1;
            }
            m_File.enums[alias] = constants;
        } else {
            std::vector<std::string> fields;
            std::vector<std::string> field;
            for (const auto& t : body) {
                if (t == ";") {
                    if (!field.empty()) fields.push_back(field.back());
                    field.clear();
                } else {
                    field.push_back(t);
                }
            }
            m_File.records[alias] = fields;
        }
    }

    void Library(const std::vector<std::string>& attributes)
    {
        m_File.libraryName = Word();
        m_File.libraryAttributes = attributes;
        Expect("{");
        while (!Accept("}")) Statement(true);
        Accept(";");
    }

    void Coclass(const std::vector<std::string>& attributes)
    {
        KwIdlCoclass coclass;
        coclass.name = Word();
        coclass.attributes = attributes;
        Expect("{");
        while (!Accept("}")) {
            KwIdlCoclassEntry entry;
            if (Accept("[")) entry.attributes = Attributes();
            std::string keyword = Word();
            if (keyword != "interface" && keyword != "dispinterface")
                throw std::runtime_error("unexpected '" + keyword + "' in coclass");
            entry.interfaceName = Word();
            Expect(";");
            coclass.interfaces.push_back(entry);
        }
        Accept(";");
        m_File.coclasses.push_back(std::move(coclass));
    }

    std::vector<std::string> m_T;
    size_t m_I = 0;
    KwIdlFile& m_File;
};

bool HasAttribute(const std::vector<std::string>& attributes, const std::string& name)
{
    return std::find(attributes.begin(), attributes.end(), name) != attributes.end();
}

std::string Unquoted(const std::string& s)
{
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

}  // namespace

std::string KwIdlAttributeValue(const std::vector<std::string>& attributes, const std::string& name)
{
    for (const auto& a : attributes) {
        if (a.size() > name.size() + 1 && a.compare(0, name.size(), name) == 0 && a[name.size()] == '(' &&
            a.back() == ')')
            return a.substr(name.size() + 1, a.size() - name.size() - 2);
    }
    return {};
}

bool KwIdlParameter::Has(const std::string& attribute) const { return HasAttribute(attributes, attribute); }
std::string KwIdlParameter::DefaultValue() const { return KwIdlAttributeValue(attributes, "defaultvalue"); }
bool KwIdlMember::Has(const std::string& attribute) const { return HasAttribute(attributes, attribute); }
std::string KwIdlMember::Id() const { return KwIdlAttributeValue(attributes, "id"); }
std::string KwIdlMember::HelpString() const { return Unquoted(KwIdlAttributeValue(attributes, "helpstring")); }
bool KwIdlInterface::Has(const std::string& attribute) const { return HasAttribute(attributes, attribute); }
std::string KwIdlInterface::Uuid() const { return KwIdlAttributeValue(attributes, "uuid"); }
std::string KwIdlInterface::HelpString() const { return Unquoted(KwIdlAttributeValue(attributes, "helpstring")); }
std::string KwIdlCoclass::Uuid() const { return KwIdlAttributeValue(attributes, "uuid"); }
std::string KwIdlCoclass::HelpString() const { return Unquoted(KwIdlAttributeValue(attributes, "helpstring")); }

const KwIdlInterface* KwIdlFile::FindInterface(const std::string& name) const
{
    for (const auto& i : interfaces)
        if (i.name == name) return &i;
    return nullptr;
}

const KwIdlCoclass* KwIdlFile::FindCoclass(const std::string& name) const
{
    for (const auto& c : coclasses)
        if (c.name == name) return &c;
    return nullptr;
}

bool KwReadIdl(const std::string& text, KwIdlFile& file, std::string& error)
{
    try {
        Parser(Tokenize(text), file).File();
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}
