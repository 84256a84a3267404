#include "service/ui/qrcodeview.h"

#include "common/error.h"

#include <QPainter>

namespace quillon {

namespace {

constexpr int kQuietZone = 4;  // modules of white on every side, as readers expect

} // namespace

TQRCodeView::TQRCodeView(QWidget* parent) : QWidget(parent)
{
    setObjectName("QRCodeView");
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setMinimumSize(64, 64);
}

void TQRCodeView::SetText(const QString& text)
{
    text_ = text;
    code_ = TQRCode{};
    if (!text.isEmpty()) {
        try {
            code_ = EncodeQRCode(text.toStdString());
        } catch (const QuillonError&) {
            // Left blank: the URL itself is shown beside the code anyway.
        }
    }
    setToolTip(text);
    update();
}

QSize TQRCodeView::sizeHint() const
{
    int modules = (code_.size > 0 ? code_.size : 25) + 2 * kQuietZone;
    return QSize(modules * 4, modules * 4);
}

void TQRCodeView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (code_.size == 0)
        return;
    int total = code_.size + 2 * kQuietZone;
    int module = std::max(1, std::min(width(), height()) / total);
    int left = (width() - code_.size * module) / 2;
    int top = (height() - code_.size * module) / 2;
    for (int y = 0; y < code_.size; ++y)
        for (int x = 0; x < code_.size; ++x)
            if (code_.Dark(x, y))
                painter.fillRect(left + x * module, top + y * module, module, module, Qt::black);
}

} // namespace quillon
