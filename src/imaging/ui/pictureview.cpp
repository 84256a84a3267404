#include "imaging/ui/pictureview.h"

#include <QMouseEvent>
#include <QPainter>

namespace quillon {

TPictureView::TPictureView(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(0, 0);
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
    setFixedSize(0, 0);
    update();
}

void TPictureView::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    if (painter_) {
        QImage part(e->rect().size(), QImage::Format_RGB888);
        painter_(part, e->rect().topLeft());
        p.drawImage(e->rect().topLeft(), part);
        return;
    }
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
