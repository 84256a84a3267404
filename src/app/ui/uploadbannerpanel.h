#pragma once

#include <QPixmap>
#include <QWidget>

namespace quillon {

// The last panel of the main status bar: while an upload runs, a row of tiles moves
// along it under the word UPLOADING.
class TUploadBannerPanel : public QWidget {
    Q_OBJECT
public:
    TUploadBannerPanel(const QPixmap& tile, QWidget* parent = nullptr);

    // -1 while no upload runs; 0..19 during an upload.
    void SetPhase(int phase);
    int Phase() const { return phase_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QPixmap tile_;
    int phase_ = -1;
};

} // namespace quillon
