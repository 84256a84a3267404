#pragma once

#include "common/prompts.h"
#include "options/options.h"

#include <QDialog>
#include <functional>
#include <string>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillon {

class TColorButton;

// The options dialog object. It exists for the whole run and owns the user's settings;
// every other part of the program reads them from here. The controls show Options while
// the dialog is open; OK takes them over and saves, Cancel reloads the file.
class TOptionsForm : public QDialog {
    Q_OBJECT
public:
    // pickColor: the colour picker, preset to the colour; true with the picked one.
    TOptionsForm(std::string appDir, TPrompts& prompts, TSystemProxySource systemProxy,
                 std::function<bool(int& colour)> pickColor, QWidget* parent = nullptr);

    TOptions Options;

    void LoadOptions();
    bool SaveOptions();
    const TSystemProxySource& SystemProxy() const { return systemProxy_; }

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    QWidget* CreateConnectivityPage();
    QWidget* CreateImagingPage();
    QWidget* CreateConfirmationsPage();
    QWidget* CreateGeneralPage();
    void OptionsTreeViewChange(QTreeWidgetItem* item);
    void ProxySourceRadioGroupClick();
    void UpdateProxyControls();
    void UpdateFillControls();
    void JPEGQualityTrackBarChange(int position);
    void GIFBitDepthTrackBarChange(int position);
    void ToControls();
    void FromControls();

    std::string appDir_;
    TPrompts& prompts_;
    TSystemProxySource systemProxy_;
    std::function<bool(int&)> pickColor_;

    QTreeWidget* optionsTreeView_ = nullptr;
    QStackedWidget* optionsPageControl_ = nullptr;
    QLineEdit* login_ = nullptr;
    QLineEdit* password_ = nullptr;
    QButtonGroup* proxySource_ = nullptr;
    QLineEdit* host_ = nullptr;
    QLineEdit* port_ = nullptr;
    QCheckBox* proxyRequiresAuthentication_ = nullptr;
    QLineEdit* proxyLogin_ = nullptr;
    QLineEdit* proxyPassword_ = nullptr;
    QCheckBox* showLogoChange_ = nullptr;
    QCheckBox* fillInEmptyArea_ = nullptr;
    TColorButton* colorButton_ = nullptr;
    QSlider* jpegQuality_ = nullptr;
    QLabel* jpegQualityLabel_ = nullptr;
    QCheckBox* showJPEGDialog_ = nullptr;
    QSlider* gifBitDepth_ = nullptr;
    QLabel* gifBitDepthLabel_ = nullptr;
    QCheckBox* showGIFDialog_ = nullptr;
    QComboBox* retainSource_[3] = {};
    QCheckBox* askTargetName_[5] = {};
    QComboBox* fileFormat_[2] = {};
    QCheckBox* newVersion_ = nullptr;
    QCheckBox* accessHint_ = nullptr;
};

} // namespace quillon
