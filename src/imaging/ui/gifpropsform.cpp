#include "imaging/ui/gifpropsform.h"

namespace quillon {

TGIFPropsForm::TGIFPropsForm(QWidget* parent)
    : TPicturePropsForm(parent,
                        {"GIFPropsForm", "GIF Picture Properties", "GIFBitDepthTrackBar", "Bits Per Pixel:",
                         "GIFBitDepthLabel", "GIFImage", "ShowGIFDialogCheckBox"},
                        3, 8, 1, 8)
{
}

QString TGIFPropsForm::ValueText(int value) const { return QString::number(value) + " bits"; }

TEncodeSettings TGIFPropsForm::Settings(int value) const
{
    TEncodeSettings s;
    s.gif.bitsPerPixel = value;
    return s;
}

void TGIFPropsForm::Load(const TOptions& options, int& value, bool& show) const
{
    value = options.gifbitdepth;
    show = options.showgifdialog;
}

void TGIFPropsForm::Store(TOptions& options, int value, bool show) const
{
    options.gifbitdepth = value;
    options.showgifdialog = show;
}

} // namespace quillon
