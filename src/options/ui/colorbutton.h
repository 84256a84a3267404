#pragma once

#include <QToolButton>
#include <functional>

namespace quillon {

// A button that shows a colour (0x00BBGGRR) as a swatch on its face and lets the user
// pick another one; a disabled button shows the plain face.
class TColorButton : public QToolButton {
    Q_OBJECT
public:
    // pickColor opens the colour picker preset to the colour; true with the new one.
    explicit TColorButton(std::function<bool(int& colour)> pickColor, QWidget* parent = nullptr);

    int Color() const { return color_; }
    void SetColor(int color);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void Click();

    std::function<bool(int&)> pickColor_;
    int color_ = 0x00FFFFFF;
};

// 0x00BBGGRR to the toolkit's colour and back.
QColor ColorFromBGR(int color);
int BGRFromColor(const QColor& color);

} // namespace quillon
