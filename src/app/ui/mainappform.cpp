#include "app/ui/mainappform.h"

#include "app/appstate.h"
#include "app/messages.h"
#include "app/ui/dialogs.h"
#include "app/ui/instancechannel.h"
#include "logodir/ui/logotreemodel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

namespace quillon {

TMainAppForm::TMainAppForm(const TAppEnvironment& env, QWidget* parent)
    : QMainWindow(parent), env_(env), prompts_(*env.prompts)
{
    setObjectName("MainAppForm");
    setWindowTitle(kStartingCaption);
    resize(800, 608);
    setMinimumSize(800, 550);
    CreateLayout();
    CreateMenus();
    FormCreate();
}

TMainAppForm::~TMainAppForm()
{
    if (env_.instances)
        env_.instances->Release();
}

void TMainAppForm::CreateLayout()
{
    treeModel_ = new TLogoTreeModel(tree_, this);
    treeModel_->SetImages(style()->standardIcon(QStyle::SP_FileIcon), style()->standardIcon(QStyle::SP_DirIcon));

    auto* treePanel = new QWidget(this);
    treePanel->setObjectName("LogoTreePanel");
    logoTreeView_ = new QTreeView(treePanel);
    logoTreeView_->setObjectName("LogoTreeView");
    logoTreeView_->setModel(treeModel_);
    logoTreeView_->setHeaderHidden(true);
    logoTreeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    logoTreeView_->setSelectionMode(QAbstractItemView::SingleSelection);
    logoTreeView_->setMinimumSize(150, 400);
    auto* treeLayout = new QVBoxLayout(treePanel);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->addWidget(logoTreeView_);

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

    auto* imagePanel = new QWidget(this);
    imagePanel->setObjectName("ImagePanel");

    verticalSplitter_ = new QSplitter(Qt::Horizontal, this);
    verticalSplitter_->setObjectName("VerticalSplitter");
    verticalSplitter_->addWidget(treePanel);
    verticalSplitter_->addWidget(imagePanel);
    verticalSplitter_->setStretchFactor(1, 1);
    verticalSplitter_->setSizes({185, 615});
    setCentralWidget(verticalSplitter_);

    statusBar()->setObjectName("StatusBar");
    auto* idle = new QLabel("Idle", statusBar());
    idle->setObjectName("StatusBarIdlePanel");
    statusBar()->addWidget(idle);
}

void TMainAppForm::CreateMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("File1");
    exitAction_ = file->addAction("E&xit");
    exitAction_->setObjectName("Exit1");
    exitAction_->setShortcut(QKeySequence::Quit);
    connect(exitAction_, &QAction::triggered, this, &TMainAppForm::Exit1Click);
}

void TMainAppForm::FormCreate()
{
    activatedOnce_ = false;
    InitializeApplication();
}

void TMainAppForm::InitializeApplication()
{
    // GIF encoder defaults are fixed values of the imaging code, set where it is built.
    CheckSingleInstance();
    newLogoTemplate_ = std::make_unique<TLogoDirObject>();
    tree_.CreateRootNode();
    if (LoadPhonesList(env_.appDir, phoneMakes_, prompts_) == TPhoneListResult::Fatal) {
        // Without a phone list nothing can be shown; end before any file is written.
        terminateRequested_ = true;
        return;
    }
    LoadParameters(env_.appDir, serviceParameters_, prompts_);
    logoDirLoad_ = LoadLogoDirectory(env_.appDir, tree_, prompts_);

    activeNodeObject_ = nullptr;
    showingNode_ = fillingControls_ = suppressSettingsChange_ = false;
    uploadPhase_ = -1;
}

void TMainAppForm::CheckSingleInstance()
{
    // The caption must not read "Quillon" before this check, so that the check never
    // finds the window of the copy that makes it.
    if (env_.instances && env_.instances->Send(kMainCaption, "activate")) {
        terminateRequested_ = true;
    } else if (env_.instances) {
        env_.instances->Claim(kMainCaption);
        connect(env_.instances, &TInstanceChannel::ActivateRequested, this, &TMainAppForm::BringToFront);
        connect(env_.instances, &TInstanceChannel::Message1025, this, &TMainAppForm::CheckImageURL);
    }
    setWindowTitle(kMainCaption);
}

void TMainAppForm::BringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

bool TMainAppForm::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && !shutdownDone_)
        FormActivate();
    return QMainWindow::event(e);
}

void TMainAppForm::FormActivate()
{
    if (!activatedOnce_) {
        if (TLogoNode* node = LoadAppState(env_.appDir, tree_, prompts_))
            SelectNode(node);
    }
    CheckImageURL();
    UpdateCommandStates();
    activatedOnce_ = true;
}

void TMainAppForm::CheckImageURL()
{
    // Picture hand-over from the browser plug-in arrives with the acquisition commands.
}

void TMainAppForm::UpdateCommandStates()
{
    // Every command that exists so far is always available.
}

TLogoNode* TMainAppForm::SelectedNode() const
{
    return TLogoTreeModel::NodeOf(logoTreeView_->currentIndex());
}

void TMainAppForm::SelectNode(TLogoNode* node)
{
    const QModelIndex index = treeModel_->IndexOf(node);
    logoTreeView_->setCurrentIndex(index);
    logoTreeView_->scrollTo(index);
}

void TMainAppForm::LogoTreeViewChange(TLogoNode* node)
{
    activeNodeObject_ = node ? node->Data() : nullptr;
}

void TMainAppForm::Exit1Click() { ShutdownApplication(); }

void TMainAppForm::closeEvent(QCloseEvent* e)
{
    ShutdownApplication();
    e->accept();
}

void TMainAppForm::ShutdownApplication()
{
    // Exit ends the event loop, which may close the window too: write the files once.
    if (shutdownDone_)
        return;
    shutdownDone_ = true;
    SaveAppState(env_.appDir, SelectedNode(), prompts_);
    if (dialogs_ && dialogs_->OptionsForm)
        dialogs_->OptionsForm->SaveOptions();
    SaveLogoDirectory(env_.appDir, tree_, prompts_, logoDirLoad_ == TLogoDirLoadResult::Unreadable);
    if (env_.instances)
        env_.instances->Release();
    hide();
    QCoreApplication::exit(0);
}

} // namespace quillon
