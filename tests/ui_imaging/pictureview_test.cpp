#include "imaging/ui/pictureview.h"

#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <gtest/gtest.h>

using namespace quillon;

// A view at a pixel ratio takes the picture's size divided by it, rounded up, and maps
// the pointer back into the picture's pixels.
TEST(PictureView, APixelRatioSizesTheViewAndMapsPointsIntoThePicture)
{
    struct Case {
        qreal ratio;
        QSize view;
        QPointF pointer;
        QPoint picture;
    };
    const Case cases[] = {
        {1.0, {300, 200}, {10.0, 7.0}, {10, 7}},
        {2.0, {150, 100}, {10.5, 7.0}, {21, 14}},
        {1.5, {200, 134}, {10.4, 0.7}, {15, 1}},
        {1.25, {240, 160}, {239.9, 159.9}, {299, 199}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ratio);
        TPictureView view;
        view.SetPixelRatio(c.ratio);
        QImage picture(300, 200, QImage::Format_RGB32);
        picture.fill(Qt::red);
        view.SetPicture(picture);
        EXPECT_EQ(view.size(), c.view);
        EXPECT_EQ(view.PicturePoint(c.pointer), c.picture);
        view.SetPainter(QSize(300, 200), [](QImage&, QPoint) {});
        EXPECT_EQ(view.size(), c.view);
    }
}

// Whatever the ratio, painting asks for every pixel of the picture and for none outside it.
TEST(PictureView, PaintingCoversThePictureAndStaysInsideIt)
{
    for (qreal ratio : {1.0, 1.5, 2.0, 3.0}) {
        SCOPED_TRACE(ratio);
        TPictureView view;
        view.SetPixelRatio(ratio);
        QRegion asked;
        bool outside = false;
        view.SetPainter(QSize(301, 199), [&](QImage& canvas, QPoint origin) {
            const QRect r(origin, canvas.size());
            outside = outside || !QRect(0, 0, 301, 199).contains(r);
            asked += r;
            canvas.fill(Qt::blue);
        });
        view.grab();
        EXPECT_FALSE(outside);
        EXPECT_EQ(asked, QRegion(0, 0, 301, 199));
    }
}
