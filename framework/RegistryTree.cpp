#include "framework/RegistryTree.h"

#include "framework/HexDigit.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "framework/RegistryKey.h"

namespace {

constexpr size_t kMaxDepth = 512;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    while (end > begin && IsBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && RegistryNameEqual()(s.substr(0, prefix.size()), prefix);
}

// 1 to `maxDigits` hexadecimal digits and nothing else.
bool ParseHexNumber(std::string_view s, size_t maxDigits, uint32_t& value) {
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
bool ParseHexBytes(std::string_view s, std::string& bytes) {
    bytes.clear();
    if (Trim(s).empty())
        return true;
    size_t start = 0;
    for (;;) {
        size_t comma = s.find(',', start);
        bool last = comma == std::string_view::npos;
        std::string_view token = Trim(s.substr(start, last ? s.npos : comma - start));
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
bool ParseQuoted(std::string_view s, size_t& pos, std::string& text) {
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
    if (!isRoot || key.ValueCount() > 0) {
        out += '[';
        out += path;
        out += "]\n";
        for (size_t i = 0; i < key.ValueCount(); ++i)
            AppendValue(out, key.ValueAt(i));
        out += '\n';
    }
    for (size_t i = 0; i < key.SubkeyCount(); ++i) {
        const RegistryTree::Key& sub = key.SubkeyAt(i);
        AppendKey(out, sub, path + '\\' + sub.Name(), false);
    }
}

// One value line, lines[i], with the continuation lines a long hex value may have; i ends on
// the last line used.
bool ParseValue(const std::vector<std::string_view>& lines, size_t& i, RegistryTree::Value& value) {
    std::string_view line = Trim(lines[i]);
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
    std::string_view data = Trim(line.substr(pos + 1));
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
        if (close == data.npos || close + 1 >= data.size() || data[close + 1] != ':' ||
            !ParseHexNumber(data.substr(4, close - 4), 8, value.type))
            return false;
        colon = close + 1;
    } else {
        return false;
    }
    std::string_view firstLine = data.substr(colon + 1);
    if (firstLine.empty() || firstLine.back() != '\\')
        return ParseHexBytes(firstLine, value.data);
    std::string bytes(firstLine);
    while (!bytes.empty() && bytes.back() == '\\') {
        bytes.pop_back();
        // A header or value after a cut-off value is not part of it.
        std::string_view next = i + 1 < lines.size() ? Trim(lines[i + 1]) : std::string_view();
        if (next.empty() || next[0] == '[' || next[0] == '"' || next[0] == '@')
            break;
        bytes += next;
        ++i;
    }
    return ParseHexBytes(bytes, value.data);
}

}  // namespace

bool SameRegistryName(const std::string& a, const std::string& b) {
    return RegistryNameEqual()(a, b);
}

RegistryTree::Key* RegistryTree::Key::FindSubkey(std::string_view subkeyName) {
    return subkeys_.Find(subkeyName);
}

const RegistryTree::Key* RegistryTree::Key::FindSubkey(std::string_view subkeyName) const {
    return subkeys_.Find(subkeyName);
}

const RegistryTree::Value* RegistryTree::Key::FindValue(std::string_view valueName) const {
    return values_.Find(valueName);
}

RegistryTree::Key& RegistryTree::Key::AddSubkey(const std::string& subkeyName) {
    if (Key* existing = FindSubkey(subkeyName))
        return *existing;
    return subkeys_.Add(std::make_unique<Key>(subkeyName));
}

bool RegistryTree::Key::SetValue(const std::string& valueName, uint32_t type, std::string data) {
    Value* v = values_.Find(valueName);
    if (!v) {
        values_.Add(std::make_unique<Value>(Value{valueName, type, std::move(data)}));
        return true;
    }
    if (v->type == type && v->data == data)
        return false;
    v->type = type;
    v->data = std::move(data);
    return true;
}

bool RegistryTree::Key::RemoveValue(std::string_view valueName) {
    return values_.Remove(valueName);
}

bool RegistryTree::Key::RemoveSubkey(std::string_view subkeyName) {
    return subkeys_.Remove(subkeyName);
}

RegistryTree RegistryTree::Parse(const std::string& text) {
    const std::string_view whole(text);
    std::vector<std::string_view> lines;
    size_t start = 0;
    // A byte-order mark from an editor would spoil the first line.
    if (whole.substr(0, 3) == "\xEF\xBB\xBF")
        start = 3;
    while (start < whole.size()) {
        size_t end = whole.find('\n', start);
        if (end == whole.npos)
            end = whole.size();
        lines.push_back(whole.substr(start, end - start));
        start = end + 1;
    }

    RegistryTree tree;
    Key* current = nullptr;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = Trim(lines[i]);
        if (line.empty())
            continue;
        if (line[0] == '[') {
            current = nullptr;
            if (line.size() >= 2 && line.back() == ']') {
                bool created;
                current = tree.FindOrCreate(std::string(line.substr(1, line.size() - 2)), created);
            }
        } else if (current && (line[0] == '"' || line[0] == '@')) {
            Value v;
            if (ParseValue(lines, i, v))
                (void)current->SetValue(v.name, v.type, std::move(v.data));
        }
        // Anything else, the REGEDIT4 line and comments included, says nothing about the tree.
    }
    return tree;
}

std::string RegistryTree::Format() const {
    std::string out = "REGEDIT4\n\n";
    for (size_t i = 0; i < top_.SubkeyCount(); ++i)
        AppendKey(out, top_.SubkeyAt(i), top_.SubkeyAt(i).Name(), true);
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
    // Walked without splitting, as every call of the key API makes one. Names that SplitPath
    // refuses never get into the tree, so a path holding one is simply not found.
    if (path.empty())
        return nullptr;
    Key* key = &top_;
    size_t start = 0;
    for (size_t depth = 0; key && depth < kMaxDepth; ++depth) {
        size_t slash = path.find('\\', start);
        key = key->FindSubkey(std::string_view(path).substr(start, slash - start));
        if (slash == std::string::npos)
            return key;
        start = slash + 1;
    }
    return nullptr;
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
