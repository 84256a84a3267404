#include "imaging/ui/picturepropsform.h"

#include "common/error.h"
#include "imaging/preview.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSlider>
#include <QVBoxLayout>

namespace quillon {

namespace {

QPixmap ToPixmap(const TBitmap& b)
{
    const QImage image(b.Data(), b.Width(), b.Height(), static_cast<qsizetype>(b.Width()) * 3, QImage::Format_RGB888);
    return QPixmap::fromImage(image);
}

} // namespace

TPicturePropsForm::TPicturePropsForm(QWidget* parent, const TNames& names, int minimum, int maximum, int pageStep,
                                     int initial)
    : QDialog(parent)
{
    setObjectName(names.objectName);
    setWindowTitle(names.caption);
    setMinimumSize(200, 290);

    trackBar_ = new QSlider(Qt::Horizontal, this);
    trackBar_->setObjectName(names.trackBar);
    trackBar_->setRange(minimum, maximum);
    trackBar_->setSingleStep(pageStep);
    trackBar_->setPageStep(pageStep);
    trackBar_->setTickInterval(pageStep);
    trackBar_->setTickPosition(QSlider::TicksAbove);
    trackBar_->setValue(initial);
    lastPreviewValue_ = initial;

    valueLabel_ = new QLabel(this);
    valueLabel_->setObjectName(names.valueLabel);
    imageSizeLabel_ = new QLabel(this);
    imageSizeLabel_->setObjectName("ImageSizeLabel");
    auto* labels = new QGridLayout;
    labels->addWidget(new QLabel(names.valueCaption, this), 0, 0);
    labels->addWidget(valueLabel_, 0, 1);
    labels->addWidget(new QLabel("File Size in bytes:", this), 1, 0);
    labels->addWidget(imageSizeLabel_, 1, 1);
    labels->setColumnStretch(1, 1);

    image_ = new QLabel(this);
    image_->setObjectName(names.image);
    image_->setAlignment(Qt::AlignCenter);
    image_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    showCheckBox_ = new QCheckBox("Show this dialog box next time", this);
    showCheckBox_->setObjectName(names.checkBox);
    showCheckBox_->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(trackBar_);
    layout->addLayout(labels);
    layout->addWidget(image_, 1);
    layout->addWidget(showCheckBox_);
    layout->addWidget(buttons);

    connect(trackBar_, &QSlider::valueChanged, this, &TPicturePropsForm::TrackBarChange);
}

bool TPicturePropsForm::Execute(const TBitmap& logo, const std::string& appDir, const std::string& nodeName,
                                TOptions& options, const std::function<void()>& saveOptions)
{
    logo_ = &logo;
    appDir_ = appDir;
    nodeName_ = nodeName;
    int value = 0;
    bool show = true;
    Load(options, value, show);
    {
        const QSignalBlocker quiet(trackBar_);
        trackBar_->setValue(value);
    }
    showCheckBox_->setChecked(show);
    valueLabel_->setText(ValueText(trackBar_->value()));
    lastPreviewValue_ = trackBar_->value();
    Preview();
    const bool ok = exec() == QDialog::Accepted;
    if (ok) {
        Store(options, trackBar_->value(), showCheckBox_->isChecked());
        saveOptions();
    }
    logo_ = nullptr;
    return ok;
}

void TPicturePropsForm::TrackBarChange(int position)
{
    if (snapping_)
        return;
    const int snapped = Snap(position);
    if (snapped != position) {
        snapping_ = true;
        trackBar_->setValue(snapped);
        snapping_ = false;
    }
    valueLabel_->setText(ValueText(snapped));
    if (snapped != lastPreviewValue_)
        Preview();
    lastPreviewValue_ = snapped;
}

void TPicturePropsForm::Preview()
{
    if (!logo_ || logo_->Width() == 0)
        return;
    const TEncodeSettings settings = Settings(trackBar_->value());
    TEncodedPreview preview;
    try {
        preview = PreviewThroughTempFile(appDir_, nodeName_, *logo_, settings);
    } catch (const QuillonError&) {
        return;
    }
    image_->setPixmap(ToPixmap(preview.picture));
    imageSizeLabel_->setText(QString::number(preview.fileSize));
}

} // namespace quillon
