#include "options/ui/optionsform.h"

#include "options/ui/colorbutton.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QFontMetrics>
#include <QVBoxLayout>
#include <algorithm>

namespace quillon {

namespace {

constexpr const char* kAskTargetName = "Ask for target file name";
constexpr const char* kPageNames[4] = {"Connectivity", "Imaging", "Confirmations", "General"};
constexpr const char* kProxySources[3] = {"Use Internet Explorer Proxy Settings", "Manual Proxy Settings",
                                          "No Proxy"};

QLineEdit* Edit(const char* name, QWidget* parent, bool secret = false)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    if (secret)
        e->setEchoMode(QLineEdit::Password);
    return e;
}

QCheckBox* Check(const char* name, const char* text, QWidget* parent)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(name);
    return c;
}

QComboBox* Choice(const char* name, std::initializer_list<const char*> items, QWidget* parent)
{
    auto* c = new QComboBox(parent);  // pick-only: not editable
    c->setObjectName(name);
    for (const char* item : items)
        c->addItem(item);
    return c;
}

QSlider* TrackBar(const char* name, int minimum, int maximum, int step, QWidget* parent)
{
    auto* t = new QSlider(Qt::Horizontal, parent);
    t->setObjectName(name);
    t->setRange(minimum, maximum);
    t->setSingleStep(step);
    t->setPageStep(step);
    t->setTickInterval(step);
    t->setTickPosition(QSlider::TicksAbove);
    return t;
}

} // namespace

TOptionsForm::TOptionsForm(std::string appDir, TPrompts& prompts, TSystemProxySource systemProxy,
                           std::function<bool(int&)> pickColor, QWidget* parent)
    : QDialog(parent), appDir_(std::move(appDir)), prompts_(prompts), systemProxy_(std::move(systemProxy)),
      pickColor_(std::move(pickColor))
{
    setObjectName("OptionsForm");
    setWindowTitle("Quillon Options");

    optionsTreeView_ = new QTreeWidget(this);
    optionsTreeView_->setObjectName("OptionsTreeView");
    optionsTreeView_->setHeaderHidden(true);
    optionsTreeView_->setRootIsDecorated(false);
    optionsTreeView_->setItemsExpandable(false);
    QFont bold = optionsTreeView_->font();
    bold.setBold(true);
    optionsTreeView_->setFont(bold);
    auto* root = new QTreeWidgetItem(optionsTreeView_, {"Options"});
    for (const char* page : kPageNames)
        new QTreeWidgetItem(root, {page});
    root->setExpanded(true);
    int widest = 0;
    for (QTreeWidgetItemIterator it(optionsTreeView_); *it; ++it)
        widest = std::max(widest, QFontMetrics(bold).horizontalAdvance((*it)->text(0)) +
                                      optionsTreeView_->indentation() * ((*it)->parent() ? 1 : 0));
    optionsTreeView_->setFixedWidth(std::max(104, widest + 16));

    optionsPageControl_ = new QStackedWidget(this);
    optionsPageControl_->setObjectName("OptionsPageControl");
    // 104 and 225 pixels held the captions in the fonts of old; today's fonts need the
    // room their captions take, so both sides grow to fit and never cut a caption short.
    optionsPageControl_->setMinimumWidth(225);
    optionsPageControl_->addWidget(CreateConnectivityPage());
    optionsPageControl_->addWidget(CreateImagingPage());
    optionsPageControl_->addWidget(CreateConfirmationsPage());
    optionsPageControl_->addWidget(CreateGeneralPage());
    optionsTreeView_->setCurrentItem(root->child(0));
    connect(optionsTreeView_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { OptionsTreeViewChange(item); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* pages = new QHBoxLayout;
    pages->addWidget(optionsTreeView_);
    pages->addWidget(optionsPageControl_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(pages, 1);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(329, 361)));

    LoadOptions();
}

QWidget* TOptionsForm::CreateConnectivityPage()
{
    auto* page = new QWidget;
    auto* auth = new QGroupBox("System Authorization", page);
    login_ = Edit("Login", auth);
    password_ = Edit("Password", auth, true);
    auto* authForm = new QFormLayout(auth);
    authForm->addRow("Login", login_);
    authForm->addRow("Password", password_);

    auto* proxy = new QGroupBox("Proxy Settings", page);
    auto* proxyLayout = new QVBoxLayout(proxy);
    proxySource_ = new QButtonGroup(page);
    auto* radios = new QWidget(proxy);
    radios->setObjectName("ProxySourceRadioGroup");
    auto* radioLayout = new QVBoxLayout(radios);
    radioLayout->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
        auto* r = new QRadioButton(kProxySources[i], radios);
        proxySource_->addButton(r, i);
        radioLayout->addWidget(r);
    }
    connect(proxySource_, &QButtonGroup::idClicked, this, [this] { ProxySourceRadioGroupClick(); });
    host_ = Edit("Host", proxy);
    port_ = Edit("Port", proxy);
    port_->setMaximumWidth(50);
    auto* colon = new QLabel(":", proxy);
    colon->setStyleSheet("font-weight: bold");
    auto* hostRow = new QHBoxLayout;
    hostRow->addWidget(host_, 1);
    hostRow->addWidget(colon);
    hostRow->addWidget(port_);
    proxyRequiresAuthentication_ = Check("ProxyRequiresAuthentication", "Proxy Requires Authentication", proxy);
    connect(proxyRequiresAuthentication_, &QCheckBox::clicked, this, [this] { UpdateProxyControls(); });
    proxyLogin_ = Edit("ProxyLogin", proxy);
    proxyPassword_ = Edit("ProxyPassword", proxy, true);
    auto* proxyForm = new QFormLayout;
    proxyForm->addRow("Proxy User", proxyLogin_);
    proxyForm->addRow("Proxy Password", proxyPassword_);
    proxyLayout->addWidget(radios);
    auto* hostLabels = new QHBoxLayout;
    hostLabels->addWidget(new QLabel("Host", proxy), 1);
    hostLabels->addWidget(new QLabel("Port", proxy));
    proxyLayout->addLayout(hostLabels);
    proxyLayout->addLayout(hostRow);
    proxyLayout->addWidget(proxyRequiresAuthentication_);
    proxyLayout->addLayout(proxyForm);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(auth);
    layout->addWidget(proxy);
    layout->addStretch();
    return page;
}

QWidget* TOptionsForm::CreateImagingPage()
{
    auto* page = new QWidget;
    showLogoChange_ = Check("ShowLogoChangeCheckBox", "Show logo change during frame resize", page);
    fillInEmptyArea_ = Check("FillInEmptyAreaCheckBox", "Fill in empty area with color :", page);
    connect(fillInEmptyArea_, &QCheckBox::clicked, this, [this] { UpdateFillControls(); });
    colorButton_ = new TColorButton(pickColor_, page);
    colorButton_->setObjectName("ColorButton");
    colorButton_->setFixedSize(38, 20);
    auto* fillRow = new QHBoxLayout;
    fillRow->addWidget(fillInEmptyArea_, 1);
    fillRow->addWidget(colorButton_);

    auto* jpeg = new QGroupBox("JPEG", page);
    jpegQuality_ = TrackBar("JPEGQualityTrackBar", 10, 100, 10, jpeg);
    jpegQualityLabel_ = new QLabel(jpeg);
    jpegQualityLabel_->setObjectName("JPEGQualityLabel");
    showJPEGDialog_ = Check("ShowJPEGDialogCheckBox", "Show JPEG dialog box before upload", jpeg);
    auto* jpegLayout = new QVBoxLayout(jpeg);
    jpegLayout->addWidget(jpegQuality_);
    jpegLayout->addWidget(jpegQualityLabel_);
    jpegLayout->addWidget(showJPEGDialog_);
    connect(jpegQuality_, &QSlider::valueChanged, this, &TOptionsForm::JPEGQualityTrackBarChange);

    auto* gif = new QGroupBox("GIF", page);
    gifBitDepth_ = TrackBar("GIFBitDepthTrackBar", 3, 8, 1, gif);
    gifBitDepthLabel_ = new QLabel(gif);
    gifBitDepthLabel_->setObjectName("GIFBitDepthLabel");
    showGIFDialog_ = Check("ShowGIFDialogCheckBox", "Show GIF dialog box before upload", gif);
    auto* gifLayout = new QVBoxLayout(gif);
    gifLayout->addWidget(gifBitDepth_);
    gifLayout->addWidget(gifBitDepthLabel_);
    gifLayout->addWidget(showGIFDialog_);
    connect(gifBitDepth_, &QSlider::valueChanged, this, &TOptionsForm::GIFBitDepthTrackBarChange);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(showLogoChange_);
    layout->addLayout(fillRow);
    layout->addWidget(jpeg);
    layout->addWidget(gif);
    layout->addStretch();
    return page;
}

QWidget* TOptionsForm::CreateConfirmationsPage()
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    const char* groups[5] = {"File Format Conversion", "Mirror Image", "Rotate Image",
                             "Import Image From TWAIN Source", "Grab From Screen"};
    const char* choices[5] = {"ConvertRetainSourceComboBox", "MirrorRetainSourceComboBox",
                              "RotateRetainSourceComboBox", "ImportedFileFormatComboBox",
                              "GrabbedFileFormatComboBox"};
    const char* asks[5] = {"ConvertAskTargetNameCheckBox", "MirrorAskTargetNameCheckBox",
                           "RotateAskTargetNameCheckBox", "ImportAskTargetNameCheckBox", "GrabAskTargetNameCheckBox"};
    for (int i = 0; i < 5; ++i) {
        auto* group = new QGroupBox(groups[i], page);
        QComboBox* combo = i < 3 ? Choice(choices[i], {"Ask", "Retain", "Delete"}, group)
                                 : Choice(choices[i], {".BMP", ".JPG", ".GIF", ".PNG", "Ask"}, group);
        if (i < 3)
            retainSource_[i] = combo;
        else
            fileFormat_[i - 3] = combo;
        askTargetName_[i] = Check(asks[i], kAskTargetName, group);
        auto* form = new QFormLayout(group);
        form->addRow(i < 3 ? "Retain original file:" : i == 3 ? "Imported file format:" : "Grabbed file format:",
                     combo);
        form->addRow(askTargetName_[i]);
        layout->addWidget(group);
    }
    layout->addStretch();
    return page;
}

QWidget* TOptionsForm::CreateGeneralPage()
{
    auto* page = new QWidget;
    newVersion_ = Check("NewVersionCheckBox", "Perform new version check at startup", page);
    accessHint_ = Check("AccessHintCheckBox", "Show hint after image upload", page);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(newVersion_);
    layout->addWidget(accessHint_);
    layout->addStretch();
    return page;
}

void TOptionsForm::OptionsTreeViewChange(QTreeWidgetItem* item)
{
    if (!item)
        return;
    QTreeWidgetItem* parent = item->parent();
    if (!parent) {
        // The root is a heading, not a page: the selection goes back to the page shown.
        const QSignalBlocker quiet(optionsTreeView_);
        optionsTreeView_->setCurrentItem(optionsTreeView_->topLevelItem(0)->child(optionsPageControl_->currentIndex()));
        return;
    }
    optionsPageControl_->setCurrentIndex(parent->indexOfChild(item));
}

void TOptionsForm::ProxySourceRadioGroupClick()
{
    if (proxySource_->checkedId() == psIE) {
        const TSystemProxy proxy = ReadSystemProxy(systemProxy_);
        host_->setText(QString::fromStdString(proxy.host));
        port_->setText(QString::fromStdString(proxy.port));
    }
    UpdateProxyControls();
}

void TOptionsForm::UpdateProxyControls()
{
    const bool manual = proxySource_->checkedId() == psManual;
    host_->setEnabled(manual);
    port_->setEnabled(manual);
    proxyRequiresAuthentication_->setEnabled(manual);
    const bool auth = manual && proxyRequiresAuthentication_->isChecked();
    proxyLogin_->setEnabled(auth);
    proxyPassword_->setEnabled(auth);
}

void TOptionsForm::UpdateFillControls() { colorButton_->setEnabled(fillInEmptyArea_->isChecked()); }

void TOptionsForm::JPEGQualityTrackBarChange(int position)
{
    const int snapped = NormalizeJpegQuality(position);
    if (snapped != position) {
        jpegQuality_->setValue(snapped);  // comes back here with the snapped value
        return;
    }
    jpegQualityLabel_->setText(QString("JPEG Quality: %1%").arg(position));
}

void TOptionsForm::GIFBitDepthTrackBarChange(int position)
{
    gifBitDepthLabel_->setText(QString("Bits Per Pixel: %1 bits").arg(position));
}

void TOptionsForm::ToControls()
{
    const TOptions& o = Options;
    login_->setText(QString::fromStdString(o.login));
    password_->setText(QString::fromStdString(o.password));
    if (QAbstractButton* b = proxySource_->button(o.proxysource))
        b->setChecked(true);
    host_->setText(QString::fromStdString(o.proxyhost));
    port_->setText(QString::fromStdString(o.proxyport));
    proxyRequiresAuthentication_->setChecked(o.proxyauthentication);
    proxyLogin_->setText(QString::fromStdString(o.proxylogin));
    proxyPassword_->setText(QString::fromStdString(o.proxypassword));
    showLogoChange_->setChecked(o.showlogochange);
    fillInEmptyArea_->setChecked(o.fillemptyarea);
    colorButton_->SetColor(o.emptyareacolor);
    jpegQuality_->setValue(o.jpegquality);
    showJPEGDialog_->setChecked(o.showjpegdialog);
    gifBitDepth_->setValue(o.gifbitdepth);
    showGIFDialog_->setChecked(o.showgifdialog);
    const int retain[3] = {o.convertretainsource, o.mirrorretainsource, o.rotateretainsource};
    for (int i = 0; i < 3; ++i)
        retainSource_[i]->setCurrentIndex(retain[i]);
    const bool ask[5] = {o.convertasktargetname, o.mirrorasktargetname, o.rotateasktargetname,
                         o.importasktargetname, o.grabasktargetname};
    for (int i = 0; i < 5; ++i)
        askTargetName_[i]->setChecked(ask[i]);
    fileFormat_[0]->setCurrentIndex(o.importedfileformat);
    fileFormat_[1]->setCurrentIndex(o.grabbedfileformat);
    newVersion_->setChecked(o.checknewversion);
    accessHint_->setChecked(o.enableaccesshint);
    UpdateProxyControls();
    UpdateFillControls();
    JPEGQualityTrackBarChange(jpegQuality_->value());
    GIFBitDepthTrackBarChange(gifBitDepth_->value());
}

void TOptionsForm::FromControls()
{
    TOptions& o = Options;
    o.login = login_->text().toStdString();
    o.password = password_->text().toStdString();
    o.proxysource = proxySource_->checkedId();
    o.proxyhost = host_->text().toStdString();
    o.proxyport = port_->text().toStdString();
    o.proxyauthentication = proxyRequiresAuthentication_->isChecked();
    o.proxylogin = proxyLogin_->text().toStdString();
    o.proxypassword = proxyPassword_->text().toStdString();
    o.showlogochange = showLogoChange_->isChecked();
    o.fillemptyarea = fillInEmptyArea_->isChecked();
    o.emptyareacolor = colorButton_->Color();
    o.jpegquality = jpegQuality_->value();
    o.showjpegdialog = showJPEGDialog_->isChecked();
    o.gifbitdepth = gifBitDepth_->value();
    o.showgifdialog = showGIFDialog_->isChecked();
    o.convertretainsource = retainSource_[0]->currentIndex();
    o.mirrorretainsource = retainSource_[1]->currentIndex();
    o.rotateretainsource = retainSource_[2]->currentIndex();
    o.convertasktargetname = askTargetName_[0]->isChecked();
    o.mirrorasktargetname = askTargetName_[1]->isChecked();
    o.rotateasktargetname = askTargetName_[2]->isChecked();
    o.importasktargetname = askTargetName_[3]->isChecked();
    o.grabasktargetname = askTargetName_[4]->isChecked();
    o.importedfileformat = fileFormat_[0]->currentIndex();
    o.grabbedfileformat = fileFormat_[1]->currentIndex();
    o.checknewversion = newVersion_->isChecked();
    o.enableaccesshint = accessHint_->isChecked();
}

void TOptionsForm::showEvent(QShowEvent* e)
{
    // Options may have been changed elsewhere (the preview dialogs, the login dialogs).
    ToControls();
    QDialog::showEvent(e);
}

void TOptionsForm::accept()
{
    FromControls();
    SaveOptions();
    QDialog::accept();
}

void TOptionsForm::reject()
{
    LoadOptions();
    QDialog::reject();
}

void TOptionsForm::LoadOptions()
{
    quillon::LoadOptions(appDir_, Options, prompts_, systemProxy_);
    ToControls();
}

bool TOptionsForm::SaveOptions() { return quillon::SaveOptions(appDir_, Options, prompts_); }

} // namespace quillon
