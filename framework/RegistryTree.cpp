#include "framework/RegistryTree.h"

#include "framework/HexDigit.h"

#include <algorithm>
#include <cstdio>

#include "framework/RegistryKey.h"

namespace {

unsigned char Upper(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// The order in which the registry lists subkeys.
bool LessName(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Upper(x) < Upper(y); });
}

constexpr size_t kMaxDepth = 512;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trim(const std::string& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    return s.size() >= n && SameRegistryName(s.substr(0, n), prefix);
}

// 1 to `maxDigits` hexadecimal digits and nothing else.
bool ParseHexNumber(const std::string& s, size_t maxDigits, uint32_t& value) {
    if (s.empty() || s.size() > maxDigits)
        return false;
    value = 0;
    for (char c : s) {
        int d = HexDigit(c);
        if (d < 0)
            return false;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    return true;
}

// "01,02,ff": bytes of one or two digits; one trailing comma is tolerated, as hand edits
// that drop a continuation leave one.
bool ParseHexBytes(const std::string& s, std::string& bytes) {
    bytes.clear();
    if (Trim(s).empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t comma = s.find(',', start);
        std::string token =
            Trim(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        bool last = comma == std::string::npos;
        if (token.empty() && last && !bytes.empty())
            return true;
        uint32_t byte;
        if (!ParseHexNumber(token, 2, byte))
            return false;
        bytes.push_back(static_cast<char>(byte));
        if (last)
            return true;
        start = comma + 1;
    }
}

// A quoted text starting at s[pos]; on success pos is just past the closing quote.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& text) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    text.clear();
    for (size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (++i == s.size())
                return false;
            // Only \\ and \" are escapes; any other backslash stays as typed.
            if (s[i] != '\\' && s[i] != '"')
                text.push_back('\\');
            c = s[i];
        }
        text.push_back(c);
    }
    return false;
}

void AppendQuoted(std::string& out, const std::string& text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

// Text that a quoted value can carry: one terminating NUL and no line breaks.
bool IsPlainText(const std::string& data) {
    if (data.empty() || data.back() != '\0')
        return false;
    return data.find_first_of(std::string("\0\r\n", 3)) == data.size() - 1;
}

void AppendValue(std::string& out, const RegistryTree::Value& v) {
    if (v.name.empty())
        out += '@';
    else
        AppendQuoted(out, v.name);
    out += '=';
    char number[16];
    if (v.type == kRegString && IsPlainText(v.data)) {
        AppendQuoted(out, v.data.substr(0, v.data.size() - 1));
    } else if (v.type == kRegDword && v.data.size() == 4) {
        uint32_t x = 0;
        for (int i = 3; i >= 0; --i)
            x = x << 8 | static_cast<unsigned char>(v.data[static_cast<size_t>(i)]);
        std::snprintf(number, sizeof number, "dword:%08x", x);
        out += number;
    } else {
        if (v.type == kRegBinary) {
            out += "hex:";
        } else {
            std::snprintf(number, sizeof number, "hex(%x):", v.type);
            out += number;
        }
        for (size_t i = 0; i < v.data.size(); ++i) {
            std::snprintf(number, sizeof number, i ? ",%02x" : "%02x",
                          static_cast<unsigned char>(v.data[i]));
            out += number;
        }
    }
    out += '\n';
}

void AppendKey(std::string& out,
               const RegistryTree::Key& key,
               const std::string& path,
               bool isRoot) {
    // A root always exists, so its header says nothing unless it carries values.
    if (!isRoot || !key.values.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const RegistryTree::Value& v : key.values)
            AppendValue(out, v);
        out += '\n';
    }
    for (const RegistryTree::Key& sub : key.subkeys)
        AppendKey(out, sub, path + '\\' + sub.name, false);
}

// One value line, lines[i], with the continuation lines a long hex value may have; i ends on
// the last line used.
bool ParseValue(const std::vector<std::string>& lines, size_t& i, RegistryTree::Value& value) {
    std::string line = Trim(lines[i]);
    size_t pos = 0;
    if (line[0] == '@') {
        value.name.clear();
        pos = 1;
    } else if (!ParseQuoted(line, pos, value.name)) {
        return false;
    }
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    if (pos == line.size() || line[pos] != '=')
        return false;
    std::string data = Trim(line.substr(pos + 1));
    if (!data.empty() && data[0] == '"') {
        size_t end = 0;
        if (!ParseQuoted(data, end, value.data) || end != data.size())
            return false;
        value.type = kRegString;
        value.data.push_back('\0');
        return true;
    }
    if (StartsWithNoCase(data, "dword:")) {
        uint32_t x;
        if (!ParseHexNumber(data.substr(6), 8, x))
            return false;
        value.type = kRegDword;
        value.data.clear();
        for (int b = 0; b < 4; ++b)
            value.data.push_back(static_cast<char>(x >> (8 * b) & 0xff));
        return true;
    }
    size_t colon;
    if (StartsWithNoCase(data, "hex:")) {
        value.type = kRegBinary;
        colon = 3;
    } else if (StartsWithNoCase(data, "hex(")) {
        size_t close = data.find(')');
        if (close == std::string::npos || close + 1 >= data.size() || data[close + 1] != ':' ||
            !ParseHexNumber(data.substr(4, close - 4), 8, value.type))
            return false;
        colon = close + 1;
    } else {
        return false;
    }
    std::string bytes = data.substr(colon + 1);
    while (!bytes.empty() && bytes.back() == '\\') {
        bytes.pop_back();
        // A header or value after a cut-off value is not part of it.
        std::string next = i + 1 < lines.size() ? Trim(lines[i + 1]) : std::string();
        if (next.empty() || next[0] == '[' || next[0] == '"' || next[0] == '@')
            break;
        bytes += next;
        ++i;
    }
    return ParseHexBytes(bytes, value.data);
}

}  // namespace

bool SameRegistryName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Upper(x) == Upper(y); });
}

RegistryTree::Key* RegistryTree::Key::FindSubkey(const std::string& subkeyName) {
    auto at = std::lower_bound(
        subkeys.begin(), subkeys.end(), subkeyName,
        [](const Key& k, const std::string& name) { return LessName(k.name, name); });
    return at != subkeys.end() && SameRegistryName(at->name, subkeyName) ? &*at : nullptr;
}

RegistryTree::Value* RegistryTree::Key::FindValue(const std::string& valueName) {
    for (Value& v : values)
        if (SameRegistryName(v.name, valueName))
            return &v;
    return nullptr;
}

RegistryTree::Key& RegistryTree::Key::AddSubkey(const std::string& subkeyName) {
    if (Key* existing = FindSubkey(subkeyName))
        return *existing;
    auto at = std::upper_bound(
        subkeys.begin(), subkeys.end(), subkeyName,
        [](const std::string& name, const Key& k) { return LessName(name, k.name); });
    Key added;
    added.name = subkeyName;
    return *subkeys.insert(at, std::move(added));
}

void RegistryTree::Key::SetValue(const std::string& valueName, uint32_t type, std::string data) {
    Value* v = FindValue(valueName);
    if (!v) {
        values.push_back(Value());
        v = &values.back();
        v->name = valueName;
    }
    v->type = type;
    v->data = std::move(data);
}

bool RegistryTree::Key::RemoveValue(const std::string& valueName) {
    Value* v = FindValue(valueName);
    if (!v)
        return false;
    values.erase(values.begin() + (v - values.data()));
    return true;
}

bool RegistryTree::Key::RemoveSubkey(const std::string& subkeyName) {
    Key* k = FindSubkey(subkeyName);
    if (!k)
        return false;
    subkeys.erase(subkeys.begin() + (k - subkeys.data()));
    return true;
}

RegistryTree RegistryTree::Parse(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    // A byte-order mark from an editor would spoil the first line.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }

    RegistryTree tree;
    Key* current = nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = Trim(lines[i]);
        if (line.empty())
            continue;
        if (line[0] == '[') {
            current = nullptr;
            if (line.size() >= 2 && line.back() == ']') {
                bool created;
                current = tree.FindOrCreate(line.substr(1, line.size() - 2), created);
            }
        } else if (current && (line[0] == '"' || line[0] == '@')) {
            Value v;
            if (ParseValue(lines, i, v))
                current->SetValue(v.name, v.type, std::move(v.data));
        }
        // Anything else, the REGEDIT4 line and comments included, says nothing about the tree.
    }
    return tree;
}

std::string RegistryTree::Format() const {
    std::string out = "REGEDIT4\n\n";
    for (const Key& root : top_.subkeys)
        AppendKey(out, root, root.name, true);
    return out;
}

bool RegistryTree::SplitPath(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    if (path.empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t slash = path.find('\\', start);
        std::string name = path.substr(start, slash == std::string::npos ? slash : slash - start);
        if (name.empty() || name.find_first_of(std::string("\0\r\n", 3)) != std::string::npos)
            return false;
        // The registry's own limit; it also bounds the recursion of formatting a damaged file.
        if (names.size() == kMaxDepth)
            return false;
        names.push_back(std::move(name));
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

RegistryTree::Key* RegistryTree::Find(const std::string& path) {
    std::vector<std::string> names;
    if (!SplitPath(path, names) || names.empty())
        return nullptr;
    Key* key = &top_;
    for (const std::string& name : names) {
        key = key->FindSubkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

RegistryTree::Key* RegistryTree::FindOrCreate(const std::string& path, bool& created) {
    created = false;
    std::vector<std::string> names;
    if (!SplitPath(path, names) || names.empty())
        return nullptr;
    Key* key = &top_;
    for (const std::string& name : names) {
        Key* next = key->FindSubkey(name);
        if (!next) {
            next = &key->AddSubkey(name);
            created = true;
        }
        key = next;
    }
    return key;
}

bool RegistryTree::Remove(const std::string& path) {
    std::vector<std::string> names;
    if (!SplitPath(path, names) || names.empty())
        return false;
    Key* parent = &top_;
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        parent = parent->FindSubkey(names[i]);
        if (!parent)
            return false;
    }
    return parent->RemoveSubkey(names.back());
}
