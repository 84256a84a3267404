#include "options/ui/colorbutton.h"

#include <QPainter>

namespace quillon {

QColor ColorFromBGR(int color) { return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF); }

int BGRFromColor(const QColor& color) { return color.red() | color.green() << 8 | color.blue() << 16; }

TColorButton::TColorButton(std::function<bool(int&)> pickColor, QWidget* parent)
    : QToolButton(parent), pickColor_(std::move(pickColor))
{
    connect(this, &QToolButton::clicked, this, &TColorButton::Click);
}

void TColorButton::SetColor(int color)
{
    color_ = color;
    update();
}

void TColorButton::Click()
{
    int picked = color_;
    if (pickColor_(picked))
        SetColor(picked);
}

void TColorButton::paintEvent(QPaintEvent* e)
{
    QToolButton::paintEvent(e);
    if (!isEnabled())
        return;
    QPainter p(this);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(ColorFromBGR(color_));
    p.drawRect(rect().adjusted(4, 4, -5, -5));
}

} // namespace quillon
