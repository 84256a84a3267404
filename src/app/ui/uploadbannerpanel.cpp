#include "app/ui/uploadbannerpanel.h"

#include <QPainter>

namespace quillon {

TUploadBannerPanel::TUploadBannerPanel(const QPixmap& tile, QWidget* parent) : QWidget(parent), tile_(tile)
{
    setObjectName("StatusBarUploadPanel");
    setMinimumHeight(18);
}

void TUploadBannerPanel::SetPhase(int phase)
{
    if (phase_ == phase)
        return;
    phase_ = phase;
    update();
}

void TUploadBannerPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().button());
    if (phase_ < 0)
        return;
    p.setClipRect(r);
    p.drawPixmap(r.left() + phase_ - 20, r.top(), tile_);
    for (int k = 0; k <= (r.width() - phase_) / 20 + 1; ++k)
        p.drawPixmap(r.left() + phase_ + 20 * k, r.top(), tile_);

    QFont font("Courier", 10);
    font.setStyleHint(QFont::Monospace);
    font.setBold(true);
    p.setFont(font);
    const QString text = "U P L O A D I N G . . .";
    const QSize size = p.fontMetrics().size(Qt::TextSingleLine, text);
    const int x0 = r.left() + (r.width() - size.width()) / 2;
    const int y0 = r.top() + (r.height() - size.height()) / 2 - 1;
    const int baseline = p.fontMetrics().ascent();
    p.setPen(Qt::white);
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            if (dx != 0 || dy != 0)
                p.drawText(x0 + dx, y0 + dy + baseline, text);
        }
    }
    p.setPen(QColor(255, 0, 0));
    p.drawText(x0, y0 + baseline, text);
}

} // namespace quillon
