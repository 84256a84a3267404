#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// "Without regard to case" in this program means the ASCII letters A-Z only:
// names outside ASCII must match byte for byte.
std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);
bool SameTextAscii(std::string_view a, std::string_view b);

// A decimal 32-bit integer with an optional sign and nothing else around it.
// Returns nothing for empty text, stray characters or a value out of range.
std::optional<int> ParseInt32(std::string_view s);

// The extension of a file name or path: from its last "." on, when that dot lies in
// the last path component; empty otherwise. "photo.JPG" -> ".JPG", "a.b/c" -> "".
std::string_view FileExtension(std::string_view name);

// Splits text at every occurrence of sep, keeping empty parts.
std::vector<std::string> SplitString(std::string_view s, char sep);

// The pattern with its first "%s" replaced by text (printf-style message texts).
std::string FillIn(std::string_view pattern, std::string_view text);

// Every byte for which keep is false as "%XX" (upper-case hex), the rest as it is.
std::string PercentEncode(std::string_view text, bool (*keep)(unsigned char));
// The bytes no URL component ever escapes (RFC 3986's unreserved characters).
bool IsUnreservedUrlByte(unsigned char c);

} // namespace quillon
