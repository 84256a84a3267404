#include "service/qrcode.h"

#include "common/error.h"

#include <qrencode.h>

#include <memory>

namespace quillon {

std::string QRCodeText(const std::string& url)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : url) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

TQRCode EncodeQRCode(const std::string& url)
{
    const std::string text = QRCodeText(url);
    // Level M survives a smudged or slightly cut-off screen while keeping the modules
    // large enough for a phone camera at arm's length.
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeData(static_cast<int>(text.size()), reinterpret_cast<const unsigned char*>(text.data()), 0,
                          QR_ECLEVEL_M),
        &QRcode_free);
    if (!code)
        throw QuillonError("The address is too long for a QR code");
    TQRCode result;
    result.size = code->width;
    result.modules.resize(static_cast<size_t>(code->width) * static_cast<size_t>(code->width));
    for (size_t i = 0; i < result.modules.size(); ++i)
        result.modules[i] = code->data[i] & 1;
    return result;
}

} // namespace quillon
