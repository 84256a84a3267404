#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::server {

// Call once before any other function here (and before threads start).
void InitCredentials();

// A salted slow hash in libsodium's self-describing string form (Argon2id).
std::string HashPassword(std::string_view password);
bool VerifyPassword(const std::string& hash, std::string_view password);

// A keyed digest of a text under a key made fresh for each run of the service: lets the
// service remember "this password was right" without holding the password itself.
std::string RunKeyedDigest(std::string_view text);

// 32 random hexadecimal digits.
std::string NewToken();
// A random image identifier: 20 characters of lowercase letters and the digits 2-7 (100
// random bits), so a phone URL cannot be guessed and needs no escaping.
std::string NewPictureId();

// A login may appear raw in a URL query, so it keeps to letters, digits, '.', '_' and '-'.
bool IsValidLogin(std::string_view login);
// The member's URL carries the password raw in its query, so a password avoids the
// characters that would end or change that query.
bool IsValidPassword(std::string_view password);
// A password chosen at registration: 8 to 64 printable ASCII characters, spaces and
// punctuation included (every URL the service or the program writes encodes it).
bool IsAcceptableNewPassword(std::string_view password);
bool IsValidMailAddress(std::string_view address);

} // namespace quillon::server
