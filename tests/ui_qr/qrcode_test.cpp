// The QR code of a URL, drawn by the widget the dialogs show, read back by a real
// decoder (zbarimg).
#include "common/error.h"
#include "service/qrcode.h"
#include "service/ui/qrcodeview.h"
#include "support/tempdir.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include <cstdio>

using namespace quillon;

namespace {

std::string Decode(const QImage& image, const test::TTempDir& dir)
{
    std::string path = (dir.Path() / "code.png").string();
    EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
    std::string command = "timeout 30 zbarimg --quiet --raw -Sdisable -Sqrcode.enable '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    pclose(pipe);
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

QImage Render(const std::string& text, int width, int height)
{
    TQRCodeView view;
    view.SetText(QString::fromStdString(text));
    view.resize(width, height);
    return view.grab().toImage();
}

TEST(QRCode, RenderedCodeDecodesBackToTheUrlAtAnySize)
{
    test::TTempDir dir;
    const std::string texts[] = {
        "http://192.168.1.20:8080/guest/?id=123456789012",
        "http://192.168.1.20:8080/wap/?login=ann.b&password=s3cret!",
        "http://quillon.example.org:8080/wap/?id=987654321098&login=a_very_long_login_name&password=" +
            std::string(64, 'p'),
        "http://192.168.1.20:8080/guest/?id=1&name=Zo\xC3\xAB",
    };
    const std::pair<int, int> sizes[] = {{120, 120}, {257, 257}, {400, 180}};
    EXPECT_EQ(QRCodeText(texts[3]), "http://192.168.1.20:8080/guest/?id=1&name=Zo%C3%AB");
    EXPECT_EQ(QRCodeText(texts[1]), texts[1]);
    for (const std::string& text : texts) {
        for (auto [w, h] : sizes) {
            QImage image = Render(text, w, h);
            ASSERT_EQ(image.size(), QSize(w, h));
            EXPECT_EQ(Decode(image, dir), QRCodeText(text)) << w << "x" << h;
        }
    }
}

TEST(QRCode, ModulesAreWholePixelsCentredInAWhiteQuietZone)
{
    const std::string url = "http://192.168.1.20:8080/guest/?id=123456789012";
    TQRCode code = EncodeQRCode(url);
    ASSERT_EQ((code.size - 17) % 4, 0) << "a QR version's size";
    // The three finder patterns: a dark 7x7 ring around a light ring around a dark 3x3.
    for (auto [ox, oy] : {std::pair{0, 0}, {code.size - 7, 0}, {0, code.size - 7}}) {
        EXPECT_TRUE(code.Dark(ox, oy) && code.Dark(ox + 6, oy + 6));
        EXPECT_FALSE(code.Dark(ox + 1, oy + 1));
        EXPECT_TRUE(code.Dark(ox + 3, oy + 3));
    }

    const int side = 300;
    QImage image = Render(url, side, side).convertToFormat(QImage::Format_RGB32);
    int module = side / (code.size + 8);
    int margin = (side - code.size * module) / 2;
    ASSERT_GE(margin, 4 * module);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            bool inside = x >= margin && y >= margin && x < margin + code.size * module && y < margin + code.size * module;
            bool dark = inside && code.Dark((x - margin) / module, (y - margin) / module);
            ASSERT_EQ(image.pixel(x, y), dark ? 0xFF000000u : 0xFFFFFFFFu) << x << "," << y;
        }
    }
}

TEST(QRCode, TextTooLongForAnyVersionLeavesTheViewBlank)
{
    EXPECT_THROW(EncodeQRCode(std::string(4000, 'x')), QuillonError);
    TQRCodeView view;
    view.SetText(QString(4000, 'x'));
    EXPECT_FALSE(view.HasCode());
    view.SetText("http://x/");
    EXPECT_TRUE(view.HasCode());
    view.SetText("");
    EXPECT_FALSE(view.HasCode());
}

} // namespace
