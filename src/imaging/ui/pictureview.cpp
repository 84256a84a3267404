#include "imaging/ui/pictureview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

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
    setFixedSize(canvas_.size());
    update();
}

void TPictureView::SetPainter(QSize size, TPainter painter)
{
    canvas_ = QImage();
    painter_ = std::move(painter);
    setFixedSize(size);
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
            QImage part(r.size(), QImage::Format_RGB888);
            painter_(part, r.topLeft());
            p.drawImage(r.topLeft(), part);
        }
        return;
    }
    if (canvas_.isNull()) {
        p.fillRect(e->rect(), Qt::white);
        return;
    }
    p.drawImage(e->rect(), canvas_, e->rect());
}

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
