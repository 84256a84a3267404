#include "imaging/ui/pictureview.h"

#include <QMouseEvent>
#include <QPainter>

namespace quillon {

TPictureView::TPictureView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPictureView::SetPicture(const QImage& picture)
{
    canvas_ = picture.convertToFormat(QImage::Format_RGB32);
    setFixedSize(canvas_.size());
    update();
}

void TPictureView::Clear()
{
    canvas_ = QImage();
    setFixedSize(0, 0);
    update();
}

void TPictureView::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    if (canvas_.isNull())
        return;
    p.drawImage(e->rect(), canvas_, e->rect());
}

void TPictureView::mousePressEvent(QMouseEvent* e)
{
    if (MouseDown)
        MouseDown(e);
}

void TPictureView::mouseMoveEvent(QMouseEvent* e)
{
    if (MouseMove)
        MouseMove(e);
}

void TPictureView::mouseReleaseEvent(QMouseEvent* e)
{
    if (MouseUp)
        MouseUp(e);
}

} // namespace quillon
