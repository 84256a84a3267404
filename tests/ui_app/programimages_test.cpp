#include "app/ui/programimages.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace quillon;

// At its own size an icon is the hand-tuned small picture; on a screen that scales by 2
// it is drawn anew at twice the size (the scalable drawing), not the small one enlarged.
TEST(ProgramImages, IconsAreDrawnAtTheScreensScale)
{
    for (const char* name : {"open", "save", "tree_folder", "tree_logo", "quillon"}) {
        SCOPED_TRACE(name);
        const QImage small(QString(":/icons/%1.png").arg(name));
        ASSERT_FALSE(small.isNull());
        const QIcon icon = ProgramIcon(name);
        const QImage once = icon.pixmap(small.size(), 1.0).toImage();
        EXPECT_EQ(once.convertToFormat(QImage::Format_ARGB32_Premultiplied), small.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        // An icon never enlarges a picture it has: only the drawing gives the full size.
        const QPixmap twice = icon.pixmap(small.size(), 2.0);
        EXPECT_EQ(twice.size(), small.size() * 2);
        EXPECT_EQ(twice.devicePixelRatio(), 2.0);
    }
}

// The drawn glyphs and cursors carry a double-size version of their own.
TEST(ProgramImages, DrawnPicturesHaveADoubleSizeVersion)
{
    for (const char* name : {"HANDFLATCURSOR", "HANDGRABCURSOR", "UPLOAD_BMP", "STOPUPLOAD_BMP", "UPLOAD_BOX_BMP",
                             "icons/mirror.png", "icons/mirror_vertical.png"}) {
        SCOPED_TRACE(name);
        QString twice = QString(":/") + name;
        twice.insert(twice.endsWith(".png") ? twice.size() - 4 : twice.size(), "@2x");
        const QImage small(QString(":/") + name), big(twice);
        ASSERT_FALSE(small.isNull());
        EXPECT_EQ(big.size(), small.size() * 2);
    }
}
