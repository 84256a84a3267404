#pragma once

#include "acquire/grabselection.h"
#include "imaging/bitmap.h"

#include <QDialog>

class QRect;

namespace quillon {

class TScreenImage;

// The borderless window that covers the primary screen with a frozen picture of it while
// the user drags the rectangle to grab. The picture is shown pixel for pixel: with a
// scale factor, one of its pixels is one pixel of the screen, and so are the coordinates.
class TGrabScreenForm : public QDialog {
public:
    explicit TGrabScreenForm(QWidget* parent = nullptr);
    ~TGrabScreenForm() override;

    // Shows picture (the primary screen, in device pixels) over the whole primary screen
    // until the mouse button is released or Esc is pressed; returns the chosen rectangle
    // in the picture's pixels (not chosen after Esc or a release without a press).
    TGrabRect Execute(TBitmap picture);
    // The frozen picture; the band is no longer in it once Execute has returned.
    const TBitmap& ScreenPicture() const { return screen_; }
    const TGrabRect& GrabRect() const { return selection_.GrabRect(); }
    bool Dragging() const { return selection_.Dragging(); }

    // The handlers, in the picture's pixels.
    void FormShow();
    void ScreenImageMouseDown(int x, int y);
    void ScreenImageMouseMove(int x, int y);
    void ScreenImageMouseUp();
    void FormKeyDown(int key);

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void RepaintBand(const TGrabRect& before);

    TBitmap screen_;
    TGrabSelection selection_{screen_};
    TScreenImage* screenImage_ = nullptr;
};

} // namespace quillon
