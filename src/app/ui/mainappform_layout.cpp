// The widgets of the main window and where they sit.
#include "app/ui/mainappform.h"
#include "app/ui/programimages.h"

#include "app/ui/uploadbannerpanel.h"
#include "imaging/ui/pictureview.h"
#include "logodir/ui/logotreemodel.h"
#include "service/ui/qrcodeview.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillon {

namespace {

QScrollArea* WhiteScrollBox(const QString& name, QWidget* content, QWidget* parent)
{
    auto* box = new QScrollArea(parent);
    box->setObjectName(name);
    box->setWidget(content);
    box->setAlignment(Qt::AlignCenter);
    box->setBackgroundRole(QPalette::Base);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Window, Qt::white);
    box->setPalette(pal);
    box->viewport()->setAutoFillBackground(true);
    return box;
}

QLabel* Title(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

// A label above its control; the control takes the label's text as its accessible
// name, so screen readers (and the end-to-end tests) find it by what the user reads.
void AddLabelled(QBoxLayout* layout, const QString& text, QWidget* control)
{
    auto* label = new QLabel(text, control->parentWidget());
    label->setBuddy(control);
    control->setAccessibleName(text);
    layout->addWidget(label);
    layout->addWidget(control);
}

QSpinBox* SizeBox(const QString& name, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    // The size boxes keep to the logo sizes the program can render; a typed value
    // is taken when editing ends, not at every keystroke.
    box->setRange(kMinLogoSize, kMaxLogoSize);
    box->setValue(128);
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

void TMainAppForm::CreateLayout()
{
    verticalSplitter_ = new QSplitter(Qt::Horizontal, this);
    verticalSplitter_->setObjectName("VerticalSplitter");
    verticalSplitter_->addWidget(CreateTreePanel());

    horizontalSplitter_ = new QSplitter(Qt::Vertical, verticalSplitter_);
    horizontalSplitter_->setObjectName("HorizontalSplitter");
    horizontalSplitter_->addWidget(CreateSourcePanel());
    horizontalSplitter_->addWidget(CreateTargetPanel());
    horizontalSplitter_->setCollapsible(0, false);
    horizontalSplitter_->setCollapsible(1, false);
    horizontalSplitter_->setStretchFactor(0, 1);
    horizontalSplitter_->setStretchFactor(1, 0);
    horizontalSplitter_->setSizes({10000, 1});
    verticalSplitter_->addWidget(horizontalSplitter_);
    verticalSplitter_->setCollapsible(0, false);
    verticalSplitter_->setStretchFactor(0, 0);
    verticalSplitter_->setStretchFactor(1, 1);
    verticalSplitter_->setSizes({kTreePanelWidth, 800 - kTreePanelWidth});
    // The panes keep the sizes the layout relies on; a screen too small for them (a
    // strong scale on an ordinary screen) gets scroll bars around them instead of
    // controls cut off at the window's edge. Where the window has room, none show.
    auto* workArea = new QScrollArea(this);
    workArea->setObjectName("WorkAreaScrollBox");
    workArea->setFrameShape(QFrame::NoFrame);
    workArea->setFocusPolicy(Qt::NoFocus);
    workArea->setWidgetResizable(true);
    workArea->setWidget(verticalSplitter_);
    setCentralWidget(workArea);
    CreateStatusBar();
}

QWidget* TMainAppForm::CreateTreePanel()
{
    treeModel_ = new TLogoTreeModel(tree_, this);
    treeModel_->SetImages(ProgramIcon("tree_logo"), ProgramIcon("tree_folder"));

    auto* panel = new QWidget(this);
    panel->setObjectName("LogoTreePanel");
    logoTreeView_ = new QTreeView(panel);
    logoTreeView_->setObjectName("LogoTreeView");
    logoTreeView_->setAccessibleName("Logo directory");
    logoTreeView_->setModel(treeModel_);
    logoTreeView_->setHeaderHidden(true);
    // Every row is one line of text beside a small image: the view need not measure each of
    // a folder's thousands of rows to lay them out.
    logoTreeView_->setUniformRowHeights(true);
    logoTreeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    logoTreeView_->setSelectionMode(QAbstractItemView::SingleSelection);
    logoTreeView_->setMinimumSize(150, 400);
    logoTreeView_->setContextMenuPolicy(Qt::CustomContextMenu);
    logoTreeView_->installEventFilter(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(logoTreeView_);
    panel->resize(kTreePanelWidth, panel->height());

    // The expanded state lives in the core tree, so the stored selection path can
    // open folders before the view exists; the view follows it both ways.
    connect(treeModel_, &TLogoTreeModel::ExpandedChanged, logoTreeView_,
            [this](const QModelIndex& i, bool expanded) { logoTreeView_->setExpanded(i, expanded); });
    connect(logoTreeView_, &QTreeView::expanded, this,
            [](const QModelIndex& i) { TLogoTreeModel::NodeOf(i)->SetExpanded(true); });
    connect(logoTreeView_, &QTreeView::collapsed, this,
            [](const QModelIndex& i) { TLogoTreeModel::NodeOf(i)->SetExpanded(false); });
    connect(logoTreeView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { LogoTreeViewChange(TLogoTreeModel::NodeOf(current)); });
    return panel;
}

QWidget* TMainAppForm::CreateSourcePanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName("SourcePanel");
    sourceImage_ = new TPictureView;
    sourceImage_->setObjectName("SourceImage");
    sourceImage_->setAccessibleName("Source picture");
    sourceImageScrollBox_ = WhiteScrollBox("SourceImageScrollBox", sourceImage_, panel);
    sourceImageScrollBox_->setContextMenuPolicy(Qt::CustomContextMenu);
    sourceImageScrollBox_->viewport()->installEventFilter(this);

    imageStatusBar_ = new QStatusBar(panel);
    imageStatusBar_->setObjectName("ImageStatusBar");
    imageStatusBar_->setSizeGripEnabled(false);
    QFont small = imageStatusBar_->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    imageStatusBar_->setFont(small);
    const char* texts[4] = {"Source Image:", "Source Selection:", "Logo Screen:", "Logo Image:"};
    const int widths[4] = {140, 200, 140, 120};
    for (int i = 0; i < 4; ++i) {
        imageStatusPanels_[i] = new QLabel(texts[i], imageStatusBar_);
        imageStatusPanels_[i]->setObjectName(QString("ImageStatusPanel%1").arg(i));
        // The panels share the bar in the proportions of their widths, so the bar never
        // makes the pane wider than what the tree panel leaves of the window.
        imageStatusPanels_[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        imageStatusBar_->addWidget(imageStatusPanels_[i], widths[i]);
    }

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(sourceImageScrollBox_, 1);
    layout->addWidget(imageStatusBar_);
    return panel;
}

QWidget* TMainAppForm::CreateTargetPanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName("TargetImagePanel");
    panel->setMinimumHeight(246);
    targetImage_ = new TPictureView;
    targetImage_->setObjectName("TargetImage");
    targetImage_->setAccessibleName("Logo");
    targetBkgndScrollBox_ = WhiteScrollBox("TargetBkgndScrollBox", targetImage_, panel);
    targetBkgndScrollBox_->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* tools = CreateImageToolPanel();
    layout->addWidget(tools);
    panel->setMinimumHeight(std::max(246, tools->sizeHint().height()));
    layout->addWidget(targetBkgndScrollBox_, 1);
    layout->addWidget(CreateUploadPanel());
    return panel;
}

QWidget* TMainAppForm::CreateImageToolPanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName("ImageToolPanel");
    panel->setFixedWidth(128);
    // The panel is narrow by design: a smaller type lets the longest choice fit.
    QFont small = panel->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    panel->setFont(small);

    phoneMake_ = new QComboBox(panel);
    phoneMake_->setObjectName("PhoneMake");
    phoneModel_ = new QComboBox(panel);
    phoneModel_->setObjectName("PhoneModel");
    logoWidth_ = SizeBox("LogoWidth", panel);
    logoHeight_ = SizeBox("LogoHeight", panel);

    auto* fitBox = new QGroupBox("Selection Fits Into", panel);
    fitBox->setObjectName("FitInto");
    fitInto_ = new QButtonGroup(fitBox);
    auto* fitLayout = new QVBoxLayout(fitBox);
    fitLayout->setContentsMargins(0, 2, 0, 2);
    fitLayout->setSpacing(3);
    const char* items[4] = {"Picture Width", "Picture Height", "Smaller Dimension", "Bigger Dimension"};
    for (int i = 0; i < 4; ++i) {
        auto* b = new QRadioButton(items[i], fitBox);
        b->setObjectName(QString("FitInto%1").arg(i));
        fitInto_->addButton(b, i);
        fitLayout->addWidget(b);
    }
    fitInto_->button(3)->setChecked(true);
    keepProportions_ = new QCheckBox("Keep proportions", panel);
    keepProportions_->setObjectName("KeepProportions");
    keepProportions_->setChecked(true);

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(1);
    layout->addWidget(Title("Logo properties", panel));
    AddLabelled(layout, "Make", phoneMake_);
    AddLabelled(layout, "Model", phoneModel_);
    AddLabelled(layout, "Screen width", logoWidth_);
    AddLabelled(layout, "Screen height", logoHeight_);
    layout->addWidget(fitBox);
    layout->addWidget(keepProportions_);
    layout->addStretch();

    // Only what the user does is a change of the logo's settings: the program's own
    // fill of these controls is kept out by the guards of the settings logic.
    connect(phoneMake_, qOverload<int>(&QComboBox::activated), this, [this] { logoSettings_->PhoneMakeChange(); });
    connect(phoneModel_, qOverload<int>(&QComboBox::activated), this, [this] { logoSettings_->PhoneModelChange(); });
    connect(logoWidth_, qOverload<int>(&QSpinBox::valueChanged), this, [this] { logoSettings_->LogoSettingsChanged(); });
    connect(logoHeight_, qOverload<int>(&QSpinBox::valueChanged), this, [this] { logoSettings_->LogoSettingsChanged(); });
    // Toggled rather than clicked: the keyboard and assistive tools change these
    // without a click, and must place the frame as a click does.
    connect(fitInto_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            logoSettings_->LogoSettingsChanged();
    });
    connect(keepProportions_, &QCheckBox::toggled, this, [this] { logoSettings_->LogoSettingsChanged(); });
    return panel;
}

QWidget* TMainAppForm::CreateUploadPanel()
{
    auto* panel = new QWidget(this);
    panel->setObjectName("UploadPanel");
    panel->setFixedWidth(254);

    uploadButton_ = new QPushButton("Upload", panel);
    uploadButton_->setObjectName("UploadButton");
    QFont f = uploadButton_->font();
    f.setBold(true);
    uploadButton_->setFont(f);
    QPalette pal = uploadButton_->palette();
    pal.setColor(QPalette::ButtonText, Qt::red);
    uploadButton_->setPalette(pal);
    uploadButton_->setMinimumHeight(36);
    connect(uploadButton_, &QPushButton::clicked, this, &TMainAppForm::UploadButtonClick);

    imageWapShortURL_ = new QLineEdit(panel);
    imageWapShortURL_->setObjectName("ImageWapShortURL");
    imageWapShortURL_->setReadOnly(true);
    imageWapURL_ = new QPlainTextEdit(panel);
    imageWapURL_->setObjectName("ImageWapURL");
    imageWapURL_->setReadOnly(true);
    imageWapURL_->setFixedHeight(imageWapURL_->fontMetrics().lineSpacing() * 2 + 10);
    imageID_ = new QLineEdit(panel);
    imageID_->setObjectName("ImageID");
    imageID_->setReadOnly(true);

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addWidget(uploadButton_);
    layout->addSpacing(6);
    layout->addWidget(Title("Uploaded logo URL and ID", panel));
    AddLabelled(layout, "Short URL", imageWapShortURL_);
    AddLabelled(layout, "Full URL", imageWapURL_);
    // The identifier beside the code a phone's camera reads to open the full URL.
    auto* idColumn = new QVBoxLayout;
    idColumn->setSpacing(2);
    AddLabelled(idColumn, "Image ID", imageID_);
    idColumn->addStretch();
    uploadQRCode_ = new TQRCodeView(panel);
    uploadQRCode_->setObjectName("UploadQRCode");
    uploadQRCode_->setAccessibleName("QR code of the full URL");
    uploadQRCode_->setFixedSize(88, 88);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(idColumn, 1);
    bottom->addWidget(uploadQRCode_);
    layout->addLayout(bottom);
    layout->addStretch();
    return panel;
}

void TMainAppForm::CreateStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    statusIdle_ = new QLabel("Idle", bar);
    statusIdle_->setObjectName("StatusBarTextPanel");
    uploadBanner_ = new TUploadBannerPanel(uploadTile_, bar);
    // The text panel always takes half the bar; the banner the rest.
    bar->addWidget(statusIdle_, 1);
    bar->addWidget(uploadBanner_, 1);
}

} // namespace quillon
