#include "acquire/ui/grabscreenform.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace quillon {

// Shows the frozen picture at its top-left corner and hands the mouse to the form, both
// in the picture's own pixels.
class TScreenImage : public QWidget {
public:
    TScreenImage(TGrabScreenForm& form, const TBitmap& picture, QWidget* parent)
        : QWidget(parent), form_(form), picture_(picture)
    {
        setObjectName("ScreenImage");
        setCursor(Qt::CrossCursor);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // The logical area that shows the outline of rect (sides in any order): four strips
    // with a pixel to spare on each side for rounding, so a long drag repaints only
    // the band and not everything inside it.
    QRegion BandArea(const TGrabRect& r) const
    {
        const double ratio = devicePixelRatioF();
        const int left = static_cast<int>(std::floor(std::min(r.Left, r.Right) / ratio)) - 1;
        const int top = static_cast<int>(std::floor(std::min(r.Top, r.Bottom) / ratio)) - 1;
        const int right = static_cast<int>(std::ceil(std::max(r.Left, r.Right) / ratio)) + 1;
        const int bottom = static_cast<int>(std::ceil(std::max(r.Top, r.Bottom) / ratio)) + 1;
        const int w = right - left, h = bottom - top, t = 3;
        QRegion area(left, top, w, t);
        area += QRect(left, bottom - t, w, t);
        area += QRect(left, top, t, h);
        area += QRect(right - t, top, t, h);
        return area;
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter painter(this);
        painter.fillRect(e->rect(), Qt::black);
        if (picture_.Empty())
            return;
        const double ratio = devicePixelRatioF();
        QImage image(picture_.Data(), picture_.Width(), picture_.Height(), static_cast<qsizetype>(picture_.Stride()),
                     QImage::Format_RGB888);
        image.setDevicePixelRatio(ratio);
        const QRectF area = QRectF(e->rect()).intersected(QRectF(QPointF(0, 0), image.deviceIndependentSize()));
        const QRectF source(area.topLeft() * ratio, area.size() * ratio);
        painter.drawImage(area, image, source);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        const QPoint p = PicturePoint(e);
        form_.ScreenImageMouseDown(p.x(), p.y());
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        const QPoint p = PicturePoint(e);
        form_.ScreenImageMouseMove(p.x(), p.y());
    }
    void mouseReleaseEvent(QMouseEvent*) override { form_.ScreenImageMouseUp(); }

private:
    QPoint PicturePoint(const QMouseEvent* e) const
    {
        const double ratio = devicePixelRatioF();
        return QPoint(static_cast<int>(std::floor(e->position().x() * ratio)),
                      static_cast<int>(std::floor(e->position().y() * ratio)));
    }

    TGrabScreenForm& form_;
    const TBitmap& picture_;
};

TGrabScreenForm::TGrabScreenForm(QWidget* parent) : QDialog(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName("GrabScreenForm");
    screenImage_ = new TScreenImage(*this, screen_, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(screenImage_);
}

TGrabScreenForm::~TGrabScreenForm() = default;

TGrabRect TGrabScreenForm::Execute(TBitmap picture)
{
    screen_ = std::move(picture);
    // The primary screen's own place and size, whatever screen the window was on before.
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        setScreen(primary);
        setGeometry(primary->geometry());
    }
    setWindowState(windowState() | Qt::WindowFullScreen);
    exec();
    return selection_.GrabRect();
}

void TGrabScreenForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    FormShow();
    activateWindow();
    raise();
}

void TGrabScreenForm::FormShow()
{
    selection_.Reset();
    screenImage_->update();
}

void TGrabScreenForm::ScreenImageMouseDown(int x, int y)
{
    const TGrabRect before = selection_.GrabRect();
    selection_.MouseDown(x, y);
    RepaintBand(before);
}

void TGrabScreenForm::ScreenImageMouseMove(int x, int y)
{
    const TGrabRect before = selection_.GrabRect();
    selection_.MouseMove(x, y);
    RepaintBand(before);
}

void TGrabScreenForm::ScreenImageMouseUp()
{
    const TGrabRect before = selection_.GrabRect();
    selection_.MouseUp();
    RepaintBand(before);
    accept();
}

void TGrabScreenForm::FormKeyDown(int key)
{
    if (key != Qt::Key_Escape)
        return;
    const TGrabRect before = selection_.GrabRect();
    selection_.Escape();
    RepaintBand(before);
    reject();
}

void TGrabScreenForm::keyPressEvent(QKeyEvent* e) { FormKeyDown(e->key()); }

void TGrabScreenForm::RepaintBand(const TGrabRect& before)
{
    if (before.Chosen())
        screenImage_->update(screenImage_->BandArea(before));
    if (selection_.GrabRect().Chosen())
        screenImage_->update(screenImage_->BandArea(selection_.GrabRect()));
}

} // namespace quillon
