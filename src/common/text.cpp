#include "common/text.h"

#include <charconv>

namespace quillon {

std::string AsciiLower(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string AsciiUpper(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

bool SameTextAscii(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

std::optional<int> ParseInt32(std::string_view s)
{
    if (s.empty())
        return std::nullopt;
    size_t start = 0;
    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        start = 1;
    }
    if (start == s.size())
        return std::nullopt;
    long long value = 0;
    const char* first = s.data() + start;
    const char* last = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last)
        return std::nullopt;
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

std::string_view FileExtension(std::string_view name)
{
    const size_t dot = name.find_last_of("./");
    if (dot == std::string_view::npos || name[dot] != '.')
        return {};
    return name.substr(dot);
}

std::vector<std::string> SplitString(std::string_view s, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t pos = s.find(sep, start);
        if (pos == std::string_view::npos) {
            parts.emplace_back(s.substr(start));
            return parts;
        }
        parts.emplace_back(s.substr(start, pos - start));
        start = pos + 1;
    }
}

std::string FillIn(std::string_view pattern, std::string_view text)
{
    const size_t at = pattern.find("%s");
    if (at == std::string_view::npos)
        return std::string(pattern);
    std::string out(pattern.substr(0, at));
    out += text;
    out += pattern.substr(at + 2);
    return out;
}

std::string PercentEncode(std::string_view text, bool (*keep)(unsigned char))
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (keep(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool IsUnreservedUrlByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

} // namespace quillon
