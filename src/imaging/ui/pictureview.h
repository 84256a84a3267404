#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace quillon {

// An image control: shows its canvas at its own size (the scroll box around it centres
// it). The canvas is a picture the program draws into, like a painter's canvas, and
// only the parts it changes are repainted.
class TPictureView : public QWidget {
    Q_OBJECT
public:
    explicit TPictureView(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    // No picture: a small white square, as an empty image control shows.
    void Clear();
    static constexpr int kEmptySize = 10;
    bool HasPicture() const { return !canvas_.isNull() || static_cast<bool>(painter_); }
    QImage& Canvas() { return canvas_; }
    const QImage& Canvas() const { return canvas_; }
    // Repaints the part of the canvas the program has just drawn on.
    void CanvasChanged(const QRect& area) { update(area); }

    QSize sizeHint() const override { return canvas_.isNull() ? QSize(0, 0) : canvas_.size(); }

    // A view drawn on demand: the painter fills a canvas whose top-left pixel is the
    // given point of the view. Very large views (a tall work area at 1:1) then never
    // need a picture of their whole size.
    using TPainter = std::function<void(QImage& canvas, QPoint origin)>;
    void SetPainter(QSize size, TPainter painter);

    // Only the left button drags; MouseUp comes for its release.
    std::function<void(QMouseEvent*)> MouseDown;
    std::function<void(QMouseEvent*)> MouseMove;
    std::function<void(QMouseEvent*)> MouseUp;
    // The press ended without a release of ours: Esc, or the keyboard went elsewhere.
    std::function<void()> DragBroken;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    QImage canvas_;
    TPainter painter_;
};

} // namespace quillon
