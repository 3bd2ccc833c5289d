// The registry's text file: a readable, .reg-like format.
//
//   ; kwplatform registry
//   [HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32]
//   @="/usr/lib/libKwFilter_JPEG.so"
//   "ThreadingModel"="Apartment"
//   "RasterSupport"=dword:00000108
//
// A header names its key's whole path, and makes every key on it; a key without
// values is written only when no header of a subkey makes it.
// Quoted text escapes \ " and control characters (\n, \r, \t, \xHH); key name
// components escape % and control characters as %HH. Strings that are not a
// single terminated string, and all types but REG_SZ/REG_DWORD/REG_BINARY,
// are written as hex(type):bytes so that every value round-trips exactly.
#include "KwRegistryModel.h"

#include <cstdio>

namespace kwposix {

namespace {

const char* const RootNames[RootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                            "HKEY_USERS"};

const char Hex[] = "0123456789abcdef";

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendQuoted(std::string& out, const char* data, size_t size)
{
    out += '"';
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += Hex[c >> 4];
                out += Hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

// Reads a quoted string at line[pos] (pos at the opening quote); pos ends after the closing quote.
bool ReadQuoted(const std::string& line, size_t& pos, std::string& out)
{
    if (pos >= line.size() || line[pos] != '"') return false;
    out.clear();
    for (size_t i = pos + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= line.size()) return false;
        switch (line[i]) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            if (i + 2 >= line.size()) return false;
            const int hi = HexDigit(line[i + 1]), lo = HexDigit(line[i + 2]);
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return false;
}

void AppendKeyComponent(std::string& out, const std::string& name)
{
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
}

bool DecodeKeyComponent(const std::string& text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        // A backslash separates names; no key name holds one.
        if (hi * 16 + lo == '\\') return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return !out.empty();
}

bool IsPlainString(const RegValue& v)
{
    if (v.Type != REG_SZ || v.Data.empty() || v.Data.back() != 0) return false;
    for (size_t i = 0; i + 1 < v.Data.size(); ++i)
        if (v.Data[i] == 0) return false;
    return true;
}

void AppendValue(std::string& out, const RegValue& v)
{
    if (v.Name.empty()) out += '@';
    else AppendQuoted(out, v.Name.data(), v.Name.size());
    out += '=';
    if (IsPlainString(v)) {
        AppendQuoted(out, reinterpret_cast<const char*>(v.Data.data()), v.Data.size() - 1);
    } else if (v.Type == REG_DWORD && v.Data.size() == 4) {
        uint32_t d;
        std::memcpy(&d, v.Data.data(), 4);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        out += buf;
    } else {
        if (v.Type == REG_BINARY) {
            out += "hex:";
        } else {
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.Type));
            out += buf;
        }
        for (size_t i = 0; i < v.Data.size(); ++i) {
            if (i) out += ',';
            out += Hex[v.Data[i] >> 4];
            out += Hex[v.Data[i] & 15];
        }
    }
    out += '\n';
}

void AppendKey(std::string& out, const RegKey& key, const std::string& path, bool isRoot)
{
    if (key.IsVolatile) return;
    // A key without values whose subkey is written needs no header: the
    // subkey's header makes it. A header for every key of a deep path would
    // make the file grow with the square of the depth.
    bool hasPersistentChild = false;
    for (const auto& child : key.Children) hasPersistentChild = hasPersistentChild || !child.second->IsVolatile;
    if (!key.Values.empty() || (!isRoot && !hasPersistentChild)) {
        out += '[';
        out += path;
        out += "]\n";
        for (const RegValue& v : key.Values) AppendValue(out, v);
    }
    for (const auto& child : key.Children) {
        std::string childPath = path;
        childPath += '\\';
        AppendKeyComponent(childPath, child.second->Name);
        AppendKey(out, *child.second, childPath, false);
    }
}

bool ParseHexBytes(const std::string& text, std::vector<BYTE>& out)
{
    out.clear();
    size_t i = 0;
    while (i < text.size()) {
        if (i + 1 >= text.size()) return false;
        const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<BYTE>(hi * 16 + lo));
        i += 2;
        if (i < text.size()) {
            if (text[i] != ',') return false;
            ++i;
        }
    }
    return true;
}

bool ParseValueLine(const std::string& line, RegValue& v)
{
    size_t pos = 0;
    if (line[0] == '@') {
        v.Name.clear();
        pos = 1;
    } else if (!ReadQuoted(line, pos, v.Name) || v.Name.empty()) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') return false;
    ++pos;
    const std::string rest = line.substr(pos);
    if (!rest.empty() && rest[0] == '"') {
        std::string text;
        size_t p = 0;
        if (!ReadQuoted(rest, p, text) || p != rest.size()) return false;
        v.Type = REG_SZ;
        v.Data.assign(text.begin(), text.end());
        v.Data.push_back(0);
        return true;
    }
    if (rest.compare(0, 6, "dword:") == 0) {
        const std::string digits = rest.substr(6);
        if (digits.size() != 8) return false;
        uint32_t d = 0;
        for (char c : digits) {
            const int h = HexDigit(c);
            if (h < 0) return false;
            d = (d << 4) | static_cast<uint32_t>(h);
        }
        v.Type = REG_DWORD;
        v.Data.resize(4);
        std::memcpy(v.Data.data(), &d, 4);
        return true;
    }
    if (rest.compare(0, 4, "hex:") == 0) {
        v.Type = REG_BINARY;
        return ParseHexBytes(rest.substr(4), v.Data);
    }
    if (rest.compare(0, 4, "hex(") == 0) {
        const size_t close = rest.find("):");
        if (close == std::string::npos || close == 4 || close > 12) return false;
        uint32_t t = 0;
        for (size_t i = 4; i < close; ++i) {
            const int h = HexDigit(rest[i]);
            if (h < 0) return false;
            t = (t << 4) | static_cast<uint32_t>(h);
        }
        v.Type = t;
        return ParseHexBytes(rest.substr(close + 2), v.Data);
    }
    return false;
}

// Windows' own bounds: a key path of at most 512 levels, names of at most 255
// characters, value names of at most 16383. Windows makes no more, and our
// registry functions refuse the longer names; a header or value beyond them is
// damage, and skipping it keeps a hand-edited file from building a tree too
// deep to walk.
const size_t MaxKeyDepth = 512;
const size_t MaxKeyName = 255;
const size_t MaxValueName = 16383;

// Finds or makes the key a header line names; null when the header is malformed.
RegKey* KeyForHeader(RegTree& tree, const std::string& path)
{
    size_t end = path.find('\\');
    const std::string rootName = RegFold(path.substr(0, end));
    int root = -1;
    for (int r = 0; r < RootCount; ++r)
        if (rootName == RootNames[r]) root = r;
    if (root < 0) return nullptr;
    // Every component is checked before any key is made.
    std::vector<std::string> names;
    while (end != std::string::npos) {
        const size_t start = end + 1;
        end = path.find('\\', start);
        std::string name;
        if (names.size() == MaxKeyDepth ||
            !DecodeKeyComponent(path.substr(start, end == std::string::npos ? std::string::npos : end - start), name) ||
            name.size() > MaxKeyName)
            return nullptr;
        names.push_back(std::move(name));
    }
    RegKey* key = &tree.Roots[root];
    for (std::string& name : names) {
        auto& slot = key->Children[RegFold(name)];
        if (!slot) {
            slot.reset(new RegKey);
            slot->Name = std::move(name);
        }
        key = slot.get();
    }
    return key;
}

} // namespace

const char* RegRootName(int root)
{
    return root >= 0 && root < RootCount ? RootNames[root] : "";
}

std::string RegFold(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

RegKey* RegKey::Child(const std::string& childName) const
{
    auto it = Children.find(RegFold(childName));
    return it == Children.end() ? nullptr : it->second.get();
}

RegValue* RegKey::FindValue(const std::string& valueName)
{
    const std::string folded = RegFold(valueName);
    for (RegValue& v : Values)
        if (RegFold(v.Name) == folded) return &v;
    return nullptr;
}

bool RegKey::HasPersistentContent() const
{
    if (IsVolatile) return false;
    if (!Values.empty()) return true;
    for (const auto& child : Children)
        if (!child.second->IsVolatile) return true;
    return false;
}

std::string RegSerialize(const RegTree& tree)
{
    std::string out = "; kwplatform registry\n";
    for (int r = 0; r < RootCount; ++r) AppendKey(out, tree.Roots[r], RootNames[r], true);
    return out;
}

size_t RegParse(const std::string& text, RegTree& tree)
{
    RegKey* current = nullptr;
    // Where each value of a key is, by folded name: a key may hold many
    // thousands, and a search of them all for each line would be quadratic.
    std::map<const RegKey*, std::map<std::string, size_t>> index;
    size_t firstDamaged = 0, lineNumber = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Blank lines, spaces and tabs included, hold nothing to lose.
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == ';') continue;
        bool understood;
        if (line[0] == '[') {
            current = line.size() >= 3 && line.back() == ']' ? KeyForHeader(tree, line.substr(1, line.size() - 2))
                                                              : nullptr;
            understood = current != nullptr;
        } else {
            RegValue v;
            understood = current && ParseValueLine(line, v) && v.Name.size() <= MaxValueName;
            if (understood) {
                auto found = index.find(current);
                if (found == index.end()) {
                    found = index.emplace(current, std::map<std::string, size_t>()).first;
                    for (size_t i = 0; i < current->Values.size(); ++i)
                        found->second.emplace(RegFold(current->Values[i].Name), i);
                }
                const auto slot = found->second.emplace(RegFold(v.Name), current->Values.size());
                if (slot.second) current->Values.push_back(std::move(v));
                else current->Values[slot.first->second] = std::move(v);
            }
        }
        if (!understood && !firstDamaged) firstDamaged = lineNumber;
    }
    return firstDamaged;
}

namespace {

void CopyKey(const RegKey& from, RegKey& to)
{
    to.Name = from.Name;
    to.IsVolatile = from.IsVolatile;
    to.Values = from.Values;
    for (const auto& child : from.Children) {
        std::unique_ptr<RegKey> copy(new RegKey);
        CopyKey(*child.second, *copy);
        to.Children.emplace(child.first, std::move(copy));
    }
}

} // namespace

std::unique_ptr<RegTree> RegCopy(const RegTree& tree)
{
    std::unique_ptr<RegTree> copy(new RegTree);
    for (int r = 0; r < RootCount; ++r) CopyKey(tree.Roots[r], copy->Roots[r]);
    return copy;
}

} // namespace kwposix
