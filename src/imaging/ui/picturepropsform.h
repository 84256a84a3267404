#pragma once

#include "imaging/bitmap.h"
#include "imaging/pictureformat.h"
#include "options/options.h"

#include <QDialog>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QSlider;

namespace quillon {

// What the two preview dialogs share: a track bar choosing the value, the value and the
// encoded size in labels, the logo decoded back from the encoded file, and "Show this
// dialog box next time".
class TPicturePropsForm : public QDialog {
    Q_OBJECT
public:
    // Shows the dialog modally for the logo of the node named nodeName, writing each
    // preview to the node's temporary file in appDir as the upload will. OK stores the
    // value and the check box into options and calls saveOptions; Cancel stores nothing.
    bool Execute(const TBitmap& logo, const std::string& appDir, const std::string& nodeName, TOptions& options,
                 const std::function<void()>& saveOptions);

    int LastPreviewValue() const { return lastPreviewValue_; }

protected:
    struct TNames {
        const char* objectName;
        const char* caption;
        const char* trackBar;
        const char* valueCaption;
        const char* valueLabel;
        const char* image;
        const char* checkBox;
    };
    TPicturePropsForm(QWidget* parent, const TNames& names, int minimum, int maximum, int pageStep, int initial);

    virtual int Snap(int position) const { return position; }
    virtual QString ValueText(int value) const = 0;
    virtual TPictureFormat Format() const = 0;
    virtual TEncodeSettings Settings(int value) const = 0;
    virtual void Load(const TOptions& options, int& value, bool& show) const = 0;
    virtual void Store(TOptions& options, int value, bool show) const = 0;

private:
    void TrackBarChange(int position);
    void Preview();

    QSlider* trackBar_ = nullptr;
    QLabel* valueLabel_ = nullptr;
    QLabel* imageSizeLabel_ = nullptr;
    QLabel* image_ = nullptr;
    QCheckBox* showCheckBox_ = nullptr;
    int lastPreviewValue_ = 0;
    bool snapping_ = false;
    const TBitmap* logo_ = nullptr;
    std::string appDir_;
    std::string nodeName_;
};

} // namespace quillon
