#pragma once

#include "service/qrcode.h"

#include <QWidget>

namespace quillon {

// Shows the QR code of a text (the picture's or the member page's URL) so a phone's
// camera opens it. Every module is a whole number of pixels, centred, with a white
// quiet zone of four modules, so the code stays sharp at any size.
class TQRCodeView : public QWidget {
public:
    explicit TQRCodeView(QWidget* parent = nullptr);

    // An empty text, or one too long for a code, shows a blank square.
    void SetText(const QString& text);
    QString Text() const { return text_; }
    bool HasCode() const { return code_.size > 0; }

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    TQRCode code_;
};

} // namespace quillon
