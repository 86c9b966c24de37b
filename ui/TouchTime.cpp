#include "ui/TouchTime.h"

#include <cctype>
#include <cstdint>

#include "framework/LocalTime.h"

namespace {

// Reads exactly `digits` decimal digits at `at`.
bool Number(const std::string& s, size_t& at, size_t digits, int& value) {
    if (at + digits > s.size())
        return false;
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = s[at + i];
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + (c - '0');
    }
    at += digits;
    return true;
}

bool Char(const std::string& s, size_t& at, const char* oneOf) {
    if (at >= s.size())
        return false;
    for (const char* c = oneOf; *c; ++c)
        if (s[at] == *c) {
            ++at;
            return true;
        }
    return false;
}

bool UnixSeconds(const std::string& text, TTime& utc) {
    size_t at = 1;
    const bool negative = at < text.size() && text[at] == '-';
    at += negative ? 1 : 0;
    if (at == text.size() || text.size() - at > 12)  // far beyond any date a file takes
        return false;
    int64_t seconds = 0;
    for (; at < text.size(); ++at) {
        if (!std::isdigit(static_cast<unsigned char>(text[at])))
            return false;
        seconds = seconds * 10 + (text[at] - '0');
    }
    utc = TimeFromUnix(negative ? -seconds : seconds, 0);
    return true;
}

}  // namespace

bool ParseTouchTime(const std::string& text, TTime& utc) {
    if (!text.empty() && text[0] == '@')
        return UnixSeconds(text, utc);
    TDateTime local;
    size_t at = 0;
    if (!Number(text, at, 4, local.year) || !Char(text, at, "-") ||
        !Number(text, at, 2, local.month) || !Char(text, at, "-") ||
        !Number(text, at, 2, local.day) || !Char(text, at, " T") ||
        !Number(text, at, 2, local.hour) || !Char(text, at, ":") ||
        !Number(text, at, 2, local.minute))
        return false;
    local.second = 0;
    if (at < text.size() && (!Char(text, at, ":") || !Number(text, at, 2, local.second)))
        return false;
    return at == text.size() && LocalToUtcOnThatDate(local, utc);
}
