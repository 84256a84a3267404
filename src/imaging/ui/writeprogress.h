#pragma once

#include "imaging/pictureformat.h"

#include <QElapsedTimer>
#include <QPointer>

class QProgressDialog;
class QWidget;

namespace quillon {

// How far a long write has come, in a progress dialog modal to the window that appears
// once the write has taken `delayMs`: a quick one shows nothing. The encoder calls it on
// the window's thread, and each step lets the window repaint.
class TWriteProgress {
public:
    explicit TWriteProgress(QWidget* window, int delayMs = 1000);
    ~TWriteProgress();
    TWriteProgress(const TWriteProgress&) = delete;
    TWriteProgress& operator=(const TWriteProgress&) = delete;

    // The callback for the encoder; valid while this object lives.
    TEncodeProgress Callback();

private:
    void Tell(double done);

    QPointer<QWidget> window_;
    int delayMs_;
    QElapsedTimer started_;
    // Owned here, but a child of the window, which may go first.
    QPointer<QProgressDialog> dialog_;
};

} // namespace quillon
