#include "imaging/ui/jpegpropsform.h"

namespace quillon {

TJPEGPropsForm::TJPEGPropsForm(QWidget* parent)
    : TPicturePropsForm(parent,
                        {"JPEGPropsForm", "JPEG Picture Properties", "JPEGQualityTrackBar", "JPEG Quality:",
                         "JPEGQualityLabel", "JPEGImage", "ShowJPEGDialogCheckBox"},
                        10, 100, 10, 90)
{
}

// Qualities are offered in steps of ten; a drag in between goes to the nearest one.
int TJPEGPropsForm::Snap(int position) const { return NormalizeJpegQuality(position); }

QString TJPEGPropsForm::ValueText(int value) const { return QString::number(value) + "%"; }

TEncodeSettings TJPEGPropsForm::Settings(int value) const
{
    TEncodeSettings s;
    s.jpegQuality = value;
    return s;
}

void TJPEGPropsForm::Load(const TOptions& options, int& value, bool& show) const
{
    value = options.jpegquality;
    show = options.showjpegdialog;
}

void TJPEGPropsForm::Store(TOptions& options, int value, bool show) const
{
    options.jpegquality = value;
    options.showjpegdialog = show;
}

} // namespace quillon
