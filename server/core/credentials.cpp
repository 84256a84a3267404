#include "credentials.h"

#include <sodium.h>

#include <array>
#include <cstdio>
#include <semaphore>
#include <stdexcept>

namespace quillon::server {

namespace {

std::array<unsigned char, crypto_generichash_KEYBYTES> g_runKey;

// Each hash takes 64 MiB for a moment; a burst of wrong passwords must not take the
// machine's memory with it.
std::counting_semaphore<2> g_hashSlots(2);

class THashSlot {
public:
    THashSlot() { g_hashSlots.acquire(); }
    ~THashSlot() { g_hashSlots.release(); }
    THashSlot(const THashSlot&) = delete;
    THashSlot& operator=(const THashSlot&) = delete;
};

} // namespace

void InitCredentials()
{
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot be initialised");
    randombytes_buf(g_runKey.data(), g_runKey.size());
}

std::string HashPassword(std::string_view password)
{
    char out[crypto_pwhash_STRBYTES];
    THashSlot slot;
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("Out of memory while hashing a password");
    return out;
}

bool VerifyPassword(const std::string& hash, std::string_view password)
{
    THashSlot slot;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string RunKeyedDigest(std::string_view text)
{
    std::array<unsigned char, crypto_generichash_BYTES> out;
    crypto_generichash(out.data(), out.size(), reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                       g_runKey.data(), g_runKey.size());
    return std::string(reinterpret_cast<const char*>(out.data()), out.size());
}

std::string NewToken()
{
    std::array<unsigned char, 16> raw;
    randombytes_buf(raw.data(), raw.size());
    char hex[2 * raw.size() + 1];
    sodium_bin2hex(hex, sizeof hex, raw.data(), raw.size());
    return hex;
}

std::string NewPictureId()
{
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::string id(20, ' ');
    for (char& c : id)
        c = kAlphabet[randombytes_uniform(32)];
    return id;
}

bool IsValidLogin(std::string_view login)
{
    if (login.empty() || login.size() > 32)
        return false;
    for (char c : login) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-';
        if (!ok)
            return false;
    }
    return true;
}

bool IsValidPassword(std::string_view password)
{
    if (password.size() < 4 || password.size() > 64)
        return false;
    for (char c : password) {
        if (c <= ' ' || c > '~' || c == '&' || c == '#' || c == '%' || c == '+' || c == '=')
            return false;
    }
    return true;
}

bool IsAcceptableNewPassword(std::string_view password)
{
    if (password.size() < 8 || password.size() > 64)
        return false;
    for (char c : password) {
        if (c < ' ' || c > '~')
            return false;
    }
    return true;
}

bool IsValidMailAddress(std::string_view address)
{
    if (address.empty() || address.size() > 254)
        return false;
    for (char c : address) {
        // Anything that could end a mail header or an SMTP command is refused.
        if (static_cast<unsigned char>(c) <= ' ' || c == '<' || c == '>' || c == ',' || c == ';' || c == '"' ||
            c == 127)
            return false;
    }
    size_t at = address.find('@');
    return at != std::string_view::npos && at > 0 && address.find('@', at + 1) == std::string_view::npos &&
           address.find('.', at + 1) != std::string_view::npos && at + 1 < address.size();
}

} // namespace quillon::server
