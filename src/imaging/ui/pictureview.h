#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace quillon {

// An image control: shows its canvas at its own size (the scroll box around it centres
// it). The canvas is a picture the program draws into, like a painter's canvas, and
// only the parts it changes are repainted.
// Sizes, points and regions given to it and by it are in the picture's pixels. With a
// pixel ratio above 1 (a screen that scales, and a picture shown at its own size) one
// picture pixel is one pixel of the screen, so the picture is never blurred by the scale.
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
    void CanvasChanged(const QRect& area) { update(ToView(area)); }

    QSize sizeHint() const override { return canvas_.isNull() ? QSize(0, 0) : ToView(QRect(QPoint(), canvas_.size())).size(); }

    // Picture pixels per pixel of the view's layout: the screen's device pixel ratio, or 1
    // to let the screen scale the picture. Applies from the next picture or painter on.
    void SetPixelRatio(qreal ratio) { ratio_ = ratio; }
    qreal PixelRatio() const { return ratio_; }
    // The picture pixel under a point of the view (a mouse position).
    QPoint PicturePoint(const QPointF& viewPoint) const;
    // The part of the picture that is on screen, and repaints of parts of the picture.
    QRect VisiblePictureRect() const;
    void UpdatePicture(const QRegion& region);
    void RepaintPicture(const QRegion& region);

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
    QRect ToView(const QRect& picture) const;
    QRegion ToView(const QRegion& picture) const;
    QRect ToPicture(const QRect& view) const;
    QImage canvas_;
    TPainter painter_;
    QSize paintedSize_;  // the painter's picture size
    qreal ratio_ = 1.0;
};

} // namespace quillon
