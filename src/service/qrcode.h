#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// A QR code as a square of modules, row by row, true for dark. The quiet zone around it
// is the drawer's business.
struct TQRCode {
    int size = 0;
    std::vector<std::uint8_t> modules;
    bool Dark(int x, int y) const { return modules[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)] != 0; }
};

// Encodes a URL at error correction level M, in the smallest version that holds it.
// Bytes outside ASCII are percent-encoded first: code readers guess the character set
// of such bytes (and guess wrong for UTF-8), while a browser opens the percent-encoded
// URL exactly as the raw one. Throws QuillonError when the URL is too long for any version.
TQRCode EncodeQRCode(const std::string& url);

// The URL as it is put into the code.
std::string QRCodeText(const std::string& url);

} // namespace quillon
