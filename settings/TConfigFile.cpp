#include "settings/TConfigFile.h"

#include "framework/HexDigit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool SameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

std::vector<std::string> SplitList(const std::vector<char>& buffer) {
    std::vector<std::string> names;
    for (const char* p = buffer.data(); *p; p += std::strlen(p) + 1)
        names.emplace_back(p);
    return names;
}

// Calls list(buffer, size) with ever larger buffers until the whole list fits.
template <typename List>
std::vector<std::string> ReadList(List list) {
    std::vector<char> buffer(1024);
    for (;;) {
        size_t need = list(buffer.data(), buffer.size());
        if (need < buffer.size())
            return SplitList(buffer);
        buffer.assign(need + 1, '\0');
    }
}

}  // namespace

void TConfigFile::CopyAllFrom(TConfigFile& other) {
    // A text of the maximum length reads like a missing one, so the buffer grows until the
    // text fits or reaches the registry's own limit for a value.
    constexpr size_t kFirstSize = 260;
    constexpr size_t kLargestSize = 1 << 20;
    std::vector<char> buffer(kFirstSize);
    for (const std::string& section : other.SectionNames()) {
        for (const std::string& entry : other.EntryNames(section)) {
            buffer.resize(kFirstSize);
            size_t n;
            while ((n = other.ReadString(section, entry, buffer.data(), buffer.size(), nullptr)) ==
                       0 &&
                   buffer.size() < kLargestSize)
                buffer.resize(buffer.size() * 4);
            (void)WriteString(section, entry, buffer.data());
        }
    }
}

bool TConfigFile::HasSection(const std::string& section) {
    char buffer[3];
    return ListEntries(section, buffer, sizeof buffer) != 0;
}

bool TConfigFile::ReadBytes(const std::string& section,
                            const std::string& entry,
                            void* buffer,
                            size_t count) {
    // Room for one character more than the exact form, so that a longer text is not cut to fit.
    std::vector<char> text(3 * count + 2);
    size_t n = ReadString(section, entry, text.data(), text.size(), nullptr);
    auto out = static_cast<unsigned char*>(buffer);
    size_t got = 0;
    for (size_t i = 0; i < n;) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        int high = HexDigit(text[i]);
        int low = i + 1 < n ? HexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0 || got == count)
            return false;
        out[got++] = static_cast<unsigned char>(high << 4 | low);
        i += 2;
    }
    return got == count;
}

bool TConfigFile::WriteBytes(const std::string& section,
                             const std::string& entry,
                             const void* data,
                             size_t count) {
    std::string text;
    auto in = static_cast<const unsigned char*>(data);
    char group[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(group, sizeof group, "%02X ", in[i]);
        text += group;
    }
    return WriteString(section, entry, text.c_str());
}

int32_t TConfigFile::ReadInteger(const std::string& section,
                                 const std::string& entry,
                                 int32_t defaultValue) {
    char text[32];
    if (ReadString(section, entry, text, sizeof text, nullptr) == 0)
        return defaultValue;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    // Too many digits stop at the type's limit instead of wrapping round.
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = std::min(value * 10 + (*p - '0'), 1LL << 31);
    if (negative)
        value = -value;
    value = std::min<long long>(value, std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(value);
}

bool TConfigFile::WriteInteger(const std::string& section,
                               const std::string& entry,
                               int32_t value) {
    return WriteString(section, entry, std::to_string(value).c_str());
}

bool TConfigFile::ReadBool(const std::string& section,
                           const std::string& entry,
                           bool defaultValue) {
    // A text of 20 characters or more does not fit and reads as missing.
    char text[20];
    if (ReadString(section, entry, text, sizeof text, "") == 0)
        return defaultValue;
    for (const char* yes : {"yes", "on", "true", "1"})
        if (SameText(text, yes))
            return true;
    for (const char* no : {"no", "off", "false", "0"})
        if (SameText(text, no))
            return false;
    return defaultValue;
}

bool TConfigFile::WriteBool(const std::string& section, const std::string& entry, bool value) {
    return WriteString(section, entry, value ? "yes" : "no");
}

std::vector<std::string> TConfigFile::EntryNames(const std::string& section) {
    return ReadList([&](char* buffer, size_t size) { return ListEntries(section, buffer, size); });
}

std::vector<std::string> TConfigFile::SectionNames() {
    return ReadList([&](char* buffer, size_t size) { return ListSections(buffer, size); });
}

size_t TConfigFile::FillList(const std::vector<std::string>& names, char* buffer, size_t size) {
    size_t need = 0;
    for (const std::string& name : names)
        need += name.size() + 1;
    if (buffer && size > 0) {
        size_t pos = 0;
        for (const std::string& name : names) {
            if (pos + name.size() + 2 > size)
                break;
            std::memcpy(buffer + pos, name.data(), name.size());
            pos += name.size();
            buffer[pos++] = '\0';
        }
        buffer[pos] = '\0';
    }
    return need;
}
