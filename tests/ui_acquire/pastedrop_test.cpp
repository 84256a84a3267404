#include "acquire/ui/pastedropworkflow.h"

#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>

using namespace quillon;

namespace {

QByteArray Utf16(const QString& text, bool mark)
{
    QString s = mark ? QChar(0xFEFF) + text : text;
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

TEST(PasteDropOffer, NamedPicturesComeFirstAndOnlyFileAndWebURLsCount)
{
    QImage red(20, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    struct TCase {
        const char* name;
        std::function<void(QMimeData&)> fill;
        std::vector<std::string> files, urls;
        bool picture;
    };
    const TCase cases[] = {
        {"uri-list of every kind",
         [](QMimeData& m) {
             m.setUrls({QUrl("file:///pictures/a%20b.png"), QUrl("http://example.com/c.jpg"),
                        QUrl("HTTPS://example.com/d.gif?x=1"), QUrl("ftp://example.com/e.png"),
                        QUrl("data:image/png;base64,AAAA"), QUrl("javascript:alert(1)"), QUrl("http:///nohost.png")});
         },
         {"/pictures/a b.png"}, {"http://example.com/c.jpg", "https://example.com/d.gif?x=1"}, false},
        {"Firefox's URL and title",
         [](QMimeData& m) {
             m.setData("text/x-moz-url", Utf16("http://example.com/f.png\nA title\nhttps://example.com/g.png\nG", false));
         },
         {}, {"http://example.com/f.png", "https://example.com/g.png"}, false},
        {"the same with a byte order mark",
         [](QMimeData& m) { m.setData("text/x-moz-url", Utf16("http://example.com/f.png\nA title", true)); },
         {}, {"http://example.com/f.png"}, false},
        {"a URL list wins over the picture",
         [&](QMimeData& m) {
             m.setUrls({QUrl("http://example.com/c.jpg")});
             m.setImageData(red);
         },
         {}, {"http://example.com/c.jpg"}, false},
        {"a picture when the URLs name nothing usable",
         [&](QMimeData& m) {
             m.setUrls({QUrl("data:image/png;base64,AAAA")});
             m.setImageData(red);
             m.setText("http://example.com/text.png");
         },
         {}, {}, true},
        {"a URL as text", [](QMimeData& m) { m.setText("  https://example.com/h.png\n"); }, {},
         {"https://example.com/h.png"}, false},
        {"text that holds a URL among words", [](QMimeData& m) { m.setText("see https://example.com/h.png"); }, {}, {},
         false},
        {"a file URL as text", [](QMimeData& m) { m.setText("file:///etc/passwd"); }, {}, {}, false},
        {"a script as text", [](QMimeData& m) { m.setText("javascript:alert(1)"); }, {}, {}, false},
        {"nothing", [](QMimeData&) {}, {}, {}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        QMimeData mime;
        c.fill(mime);
        const TPasteDropOffer offer = OfferOf(mime);
        EXPECT_EQ(offer.files, c.files);
        EXPECT_EQ(offer.urls, c.urls);
        EXPECT_EQ(!offer.picture.isNull(), c.picture);
        EXPECT_EQ(offer.Empty(), c.files.empty() && c.urls.empty() && !c.picture);
    }
}

} // namespace
