#include "imaging/ui/pictureview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace quillon {

TPictureView::TPictureView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(0, 0);
    // Clicking takes the keyboard, so Esc can end a drag.
    setFocusPolicy(Qt::ClickFocus);
}

void TPictureView::SetPicture(const QImage& picture)
{
    painter_ = nullptr;
    canvas_ = picture.convertToFormat(QImage::Format_RGB32);
    setFixedSize(ToView(canvas_.rect()).size());
    update();
}

void TPictureView::SetPainter(QSize size, TPainter painter)
{
    canvas_ = QImage();
    painter_ = std::move(painter);
    paintedSize_ = size;
    setFixedSize(ToView(QRect(QPoint(), size)).size());
    update();
}

void TPictureView::Clear()
{
    canvas_ = QImage();
    painter_ = nullptr;
    setFixedSize(kEmptySize, kEmptySize);
    update();
}

void TPictureView::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    if (painter_) {
        // Rectangle by rectangle: the frame's four thin strips are not the whole pane
        // they enclose.
        for (const QRect& r : e->region()) {
            const QRect picture = ToPicture(r).intersected(QRect(QPoint(), paintedSize_));
            if (picture.isEmpty())
                continue;
            QImage part(picture.size(), QImage::Format_RGB888);
            painter_(part, picture.topLeft());
            part.setDevicePixelRatio(ratio_);
            p.drawImage(QPointF(picture.topLeft()) / ratio_, part);
        }
        return;
    }
    if (canvas_.isNull()) {
        p.fillRect(e->rect(), Qt::white);
        return;
    }
    const QRect picture = ToPicture(e->rect()).intersected(canvas_.rect());
    p.drawImage(QRectF(QPointF(picture.topLeft()) / ratio_, QSizeF(picture.size()) / ratio_), canvas_, picture);
}

// The view's pixels that show any of the picture's pixels in picture, and back: a
// rectangle grows outward to whole pixels on both sides.
QRect TPictureView::ToView(const QRect& picture) const
{
    if (ratio_ == 1.0)
        return picture;
    const QRectF r(QPointF(picture.topLeft()) / ratio_, QSizeF(picture.size()) / ratio_);
    return QRect(QPoint(static_cast<int>(std::floor(r.left())), static_cast<int>(std::floor(r.top()))),
                 QPoint(static_cast<int>(std::ceil(r.right())) - 1, static_cast<int>(std::ceil(r.bottom())) - 1));
}

QRegion TPictureView::ToView(const QRegion& picture) const
{
    if (ratio_ == 1.0)
        return picture;
    QRegion view;
    for (const QRect& r : picture)
        view += ToView(r);
    return view;
}

QRect TPictureView::ToPicture(const QRect& view) const
{
    if (ratio_ == 1.0)
        return view;
    const QRectF r(QPointF(view.topLeft()) * ratio_, QSizeF(view.size()) * ratio_);
    return QRect(QPoint(static_cast<int>(std::floor(r.left())), static_cast<int>(std::floor(r.top()))),
                 QPoint(static_cast<int>(std::ceil(r.right())) - 1, static_cast<int>(std::ceil(r.bottom())) - 1));
}

QPoint TPictureView::PicturePoint(const QPointF& viewPoint) const
{
    return QPoint(static_cast<int>(std::floor(viewPoint.x() * ratio_)), static_cast<int>(std::floor(viewPoint.y() * ratio_)));
}

QRect TPictureView::VisiblePictureRect() const { return ToPicture(visibleRegion().boundingRect()); }

void TPictureView::UpdatePicture(const QRegion& region) { update(ToView(region)); }

void TPictureView::RepaintPicture(const QRegion& region) { repaint(ToView(region)); }

void TPictureView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && MouseDown)
        MouseDown(e);
}

void TPictureView::mouseMoveEvent(QMouseEvent* e)
{
    if (MouseMove)
        MouseMove(e);
}

void TPictureView::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && MouseUp)
        MouseUp(e);
}

void TPictureView::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && DragBroken) {
        DragBroken();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TPictureView::focusOutEvent(QFocusEvent* e)
{
    if (DragBroken)
        DragBroken();
    QWidget::focusOutEvent(e);
}

} // namespace quillon
