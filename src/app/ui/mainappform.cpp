#include "app/ui/mainappform.h"
#include "app/ui/programimages.h"

#include "acquire/ui/acquiredpictureadder.h"
#include "acquire/ui/grabworkflow.h"
#include "acquire/ui/importworkflow.h"
#include "acquire/ui/pastedropworkflow.h"
#include "acquire/ui/scanner.h"
#include "app/appfiles.h"
#include "app/appstate.h"
#include "app/messages.h"
#include "app/ui/autosaver.h"
#include "app/ui/dialogs.h"
#include "app/ui/helpform.h"
#include "app/ui/instancechannel.h"
#include "app/ui/propertycontrols.h"
#include "app/ui/uploadbannerpanel.h"
#include "app/ui/windowlayoutkeeper.h"
#include "common/ui/windowsystem.h"
#include "imaging/ui/picturetransformworkflow.h"
#include "imaging/ui/pictureview.h"
#include "imaging/ui/saveworkflow.h"
#include "imaging/picturefiles.h"
#include "options/options.h"
#include "logodir/directoryops.h"
#include "logodir/logodirfile.h"
#include "logodir/messages.h"
#include "options/messages.h"
#include "logodir/ui/logotreemodel.h"
#include "logodir/ui/treedeleteworkflow.h"
#include "service/serviceaddresses.h"
#include "service/ui/qrcodeview.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <stdexcept>
#include <utility>

// Qt's resource initialiser must be called from the global namespace.
static void InitQuillonResources() { Q_INIT_RESOURCE(quillon); }

namespace quillon {

namespace {

inline constexpr const char* kHelpFile = "quillonhelp.hlp";
inline constexpr const char* kOpenFilter =
    "All (*.jpg;*.jpeg;*.bmp;*.gif;*.png)|*.jpg;*.jpeg;*.bmp;*.gif;*.png|JPEG Image File (*.jpg)|*.jpg|"
    "JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|GIF Image File (*.gif)|*.gif|PNG Image File (*.png)|*.png";

} // namespace

namespace {

const TAppEnvironment& RequireAdapters(const TAppEnvironment& env)
{
    const std::vector<std::string> missing = env.MissingAdapters();
    if (!missing.empty()) {
        std::string names;
        for (const std::string& m : missing)
            names += (names.empty() ? "" : ", ") + m;
        throw std::logic_error("The program was started without these platform adapters: " + names);
    }
    return env;
}

} // namespace

TMainAppForm::TMainAppForm(const TAppEnvironment& env, QWidget* parent)
    : QMainWindow(parent), env_(RequireAdapters(env)), prompts_(*env.prompts)
{
    InitQuillonResources();
    setObjectName("MainAppForm");
    setWindowTitle(kStartingCaption);
    setWindowIcon(ProgramIcon("quillon"));
    QApplication::setWindowIcon(windowIcon());  // dialogs and message boxes too
    setAcceptDrops(true);
    resize(800, 608);
    uploadTile_ = ProgramPixmap(":/UPLOAD_BOX_BMP", QSize(16, 16));
    CreateLayout();
    CreateCommands();

    selFrameTimer_ = new QTimer(this);
    selFrameTimer_->setObjectName("SelFrameTimer");
    selFrameTimer_->setInterval(40);
    imageCursorTimer_ = new QTimer(this);
    imageCursorTimer_->setObjectName("ImageCursorTimer");
    imageCursorTimer_->setInterval(40);

    ConnectSourceView();
    layoutKeeper_ = std::make_unique<TWindowLayoutKeeper>(
        env_.appDir, *this, QSize(800, 550), std::vector<QSplitter*>{verticalSplitter_, horizontalSplitter_},
        [this] { return FitToPane(); }, [this](bool on) { SetFitToPane(on); }, !NativeWayland());
    FormCreate();
}

bool TMainAppForm::RestoreWindowLayout() { return layoutKeeper_->RestoreWindow(); }

TMainAppForm::~TMainAppForm()
{
    if (env_.scanner)
        env_.scanner->SetAvailabilityListener({});
    if (env_.instances)
        env_.instances->Release();
}

void TMainAppForm::FormCreate()
{
    activatedOnce_ = false;
    InitializeApplication();
}

void TMainAppForm::InitializeApplication()
{
    // The GIF encoder's defaults are fixed values of the imaging code.
    CheckSingleInstance();
    if (!terminateRequested_)
        RemoveStaleApplicationTemporaries(env_.appDir);
    newLogoTemplate_ = std::make_unique<TLogoDirObject>();
    tree_.CreateRootNode();
    if (LoadPhonesList(env_.shippedDir, phoneMakes_, prompts_) == TPhoneListResult::Fatal) {
        // Without a phone list nothing can be shown; end before any file is written.
        terminateRequested_ = true;
        return;
    }
    for (const std::string& make : phoneMakes_.MakeNames())
        phoneMake_->addItem(QString::fromStdString(make));
    phoneMake_->setCurrentIndex(-1);
    LoadParameters(env_.shippedDir, serviceParameters_, prompts_);
    logoDirLoad_ = LoadLogoDirectory(env_.appDir, tree_, prompts_);
    directoryOps_ = std::make_unique<TDirectoryOps>(env_.appDir, tree_, prompts_, env_.removeFile);
    treeDelete_ = new TTreeDeleteWorkflow(env_.appDir, tree_, env_.removeFile, this);
    directoryOps_->SetTreeDeleter([this](TLogoNode* node, bool* cancelled) { return treeDelete_->Delete(node, cancelled); });
    transformWorkflow_ = std::make_unique<TPictureTransformWorkflow>(
        env_.appDir, tree_, prompts_,
        TTransformHost{[this] { return SelectedNode() ? SelectedNode() : tree_.Root(); },
                       [this] {
                           const TSourceImage* shown = ShownPicture();
                           return shown ? &shown->SourcePicture() : nullptr;
                       },
                       [this] { return Options(); }, [this](TLogoNode* node) { SelectNode(node); },
                       [this](TLogoNode* node) {
                           logoTreeView_->setCurrentIndex(QModelIndex());
                           SelectNode(node);
                       },
                       [this] { UpdateCommandStates(); }, [this] { return static_cast<QWidget*>(this); }});
    saveWorkflow_ = std::make_unique<TSaveWorkflow>(
        prompts_, TSaveHost{[this] { return SelectedNode(); }, [this] { return ShownPicture(); },
                            [this] { return Options(); }, env_.askSaveFile});

    propertyControls_ = std::make_unique<TPropertyControls>(
        phoneMake_, phoneModel_, logoWidth_, logoHeight_, fitInto_, keepProportions_,
        [this] {
            ShowURLFields({});
        },
        [this](const std::string& url) { ShowUploadUrl(url); });
    logoSettings_ = std::make_unique<TLogoSettings>(*propertyControls_, phoneMakes_, *newLogoTemplate_);
    logoSettings_->LogoShown = [this] { return activeSourceImage_ != nullptr || PictureComing(); };
    logoSettings_->ShowSelectedNode = [this] { ShowSelectedNode(); };

    cursors_[1] = ProgramCursor(":/HANDFLATCURSOR", QPoint(7, 7));
    cursors_[2] = ProgramCursor(":/HANDGRABCURSOR", QPoint(7, 7));

    activeNodeObject_ = nullptr;
    showingNode_ = false;
    uploadPhase_ = -1;
    selFrameTimer_->start();
    imageCursorTimer_->start();

    // The user's files are also written a moment after each change, not only at shutdown.
    const std::string appDir = env_.appDir;
    autoSaver_ = new TAutoSaver(
        {{[this] { return tree_.Revision(); },
          [this, appDir]() -> std::function<void()> {
              // The last snapshot's memory serves again once its write is over.
              if (!logoDirSnapshot_ || logoDirSnapshot_.use_count() > 1)
                  logoDirSnapshot_ = std::make_shared<TLogoDirSnapshot>();
              TakeLogoDirSnapshot(tree_, *logoDirSnapshot_);
              std::shared_ptr<const TLogoDirSnapshot> snapshot = logoDirSnapshot_;
              // A file that could not be read at start-up is copied aside by the first write only.
              const bool keepDamagedCopy = logoDirLoad_ == TLogoDirLoadResult::Unreadable;
              return [appDir, snapshot, keepDamagedCopy] {
                  quillon::WriteLogoDirectory(appDir, *snapshot, keepDamagedCopy);
              };
          },
          [this](bool ok, TPrompts& p) {
              if (ok)
                  logoDirLoad_ = TLogoDirLoadResult::Loaded;
              else
                  p.Error(kMsgLogoDirSaveError);
          }},
         {TAutoSaver::TextRevision([this] { return ActiveNodePath(SelectedNode()); }),
          [this, appDir]() -> std::function<void()> {
              return [appDir, path = ActiveNodePath(SelectedNode())] { WriteAppState(appDir, path); };
          },
          [](bool ok, TPrompts& p) {
              if (!ok)
                  p.Error(kMsgAppStateSaveError);
          }},
         {TAutoSaver::TextRevision([this] { return Options() ? OptionsXml(*Options()) : std::string(); }),
          [this, appDir]() -> std::function<void()> {
              if (!Options())
                  return [] {};
              return [appDir, options = *Options()] { WriteOptions(appDir, options); };
          },
          [](bool ok, TPrompts& p) {
              if (!ok)
                  p.Error(kMsgOptionsSaveError);
          }}},
        prompts_, this);
    autoSaver_->Follow(treeModel_, logoTreeView_->selectionModel());
}

bool TMainAppForm::WriteLogoDirectory(TPrompts& prompts)
{
    // A file that could not be read at start-up is copied aside by the first write only.
    if (!SaveLogoDirectory(env_.appDir, tree_, prompts, logoDirLoad_ == TLogoDirLoadResult::Unreadable))
        return false;
    logoDirLoad_ = TLogoDirLoadResult::Loaded;
    return true;
}

void TMainAppForm::CheckSingleInstance()
{
    // The caption must not read "Quillon" before this check, so that the check never
    // finds the window of the copy that makes it.
    // Pictures named on this copy's command line go to the running copy with the request.
    QStringList requests{"activate"};
    for (const std::string& file : env_.openFiles)
        requests << TInstanceChannel::OpenRequest(QString::fromStdString(file));
    if (env_.instances && env_.instances->Send(kMainCaption, requests)) {
        terminateRequested_ = true;
    } else if (env_.instances) {
        env_.instances->Claim(kMainCaption);
        connect(env_.instances, &TInstanceChannel::ActivateRequested, this, &TMainAppForm::BringToFront);
        connect(env_.instances, &TInstanceChannel::Message1025, this, &TMainAppForm::CheckImageURL);
        connect(env_.instances, &TInstanceChannel::OpenRequested, this, [this](const QString& path) {
            if (!shutdownDone_)
                AddImageToDirectory(path.toStdString());
        });
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
    if (e->type() == QEvent::WindowActivate && !shutdownDone_ && !terminateRequested_)
        FormActivate();
    if (e->type() == QEvent::WindowDeactivate)
        EndFrameDrag();
    if (e->type() == QEvent::Show && !treeWidthSet_) {
        // The splitter scales sizes given before the window has its size; the tree
        // panel's width is set once the window is laid out.
        treeWidthSet_ = true;
        QTimer::singleShot(0, this, [this] {
            const int total = verticalSplitter_->width() - verticalSplitter_->handleWidth();
            verticalSplitter_->setSizes({kTreePanelWidth, std::max(0, total - kTreePanelWidth)});
            layoutKeeper_->RestoreSplitters();
        });
    }
    return QMainWindow::event(e);
}

void TMainAppForm::FormActivate()
{
    if (!activatedOnce_) {
        if (TLogoNode* node = LoadAppState(env_.appDir, tree_, prompts_))
            SelectNode(node);
        if (autoSaver_)
            autoSaver_->Start();
        // The pictures named at the start join the folder selected now, each as Open adds
        // it; from the event loop, as a message box inside the activation would activate
        // the window again.
        QMetaObject::invokeMethod(this, [this, files = std::exchange(env_.openFiles, {})] {
            for (const std::string& file : files)
                AddImageToDirectory(file);
        }, Qt::QueuedConnection);
    }
    CheckImageURL();
    UpdateCommandStates();
    activatedOnce_ = true;
}

void TMainAppForm::CheckImageURL()
{
    if (downloadWorkflow_)
        downloadWorkflow_->CheckImageURL();
}

TLogoNode* TMainAppForm::SelectedNode() const { return TLogoTreeModel::NodeOf(logoTreeView_->currentIndex()); }

void TMainAppForm::SelectNode(TLogoNode* node)
{
    const QModelIndex index = treeModel_->IndexOf(node);
    logoTreeView_->setCurrentIndex(index);
    logoTreeView_->scrollTo(index);
}

void TMainAppForm::LogoTreeViewChange(TLogoNode*)
{
    if (!logoSettings_)
        return;  // start-up ended early (no phone list): nothing is shown
    ShowSelectedNode();
    logoSettings_->SetActive(activeNodeObject_);
    logoSettings_->ShowSelected();
    UpdateCommandStates();
}

void TMainAppForm::SetDialogs(TDialogs* dialogs)
{
    dialogs_ = dialogs;
    if (!dialogs_ || uploadWorkflow_ || terminateRequested_)
        return;
    TOptionsForm& optionsForm = *dialogs_->OptionsForm;
    auto save = [&optionsForm] { optionsForm.SaveOptions(); };
    uploadWorkflow_ = std::make_unique<TUploadWorkflow>(
        TUploadWorkflow::TServices{env_.appDir, &prompts_, &optionsForm.Options, save, &serviceParameters_}, *this);
    TSysAuthForm* sysAuth = dialogs_->SysAuthForm.get();
    TProxyAuthForm* proxyAuth = dialogs_->ProxyAuthForm.get();
    uploadWorkflow_->AskServiceLogin = [sysAuth](std::string& l, std::string& p) { return sysAuth->Execute(l, p); };
    uploadWorkflow_->AskProxyLogin = [proxyAuth](std::string& l, std::string& p) { return proxyAuth->Execute(l, p); };
    sysAuth->RegisterClicked = [this] { OpenInBrowser(Addresses().registerPage); };
    // The preview is as large as the logo needs, and never smaller than the dialog allows.
    auto preview = [this, save, &optionsForm](TPicturePropsForm* form) {
        return [this, form, save, &optionsForm](const TBitmap& logo, const std::string& nodeName) {
            form->resize(std::max(form->minimumSizeHint().width(), logo.Width() + 16),
                         std::max(form->minimumSizeHint().height(), logo.Height() + 180));
            return form->Execute(logo, env_.appDir, nodeName, optionsForm.Options, save);
        };
    };
    uploadWorkflow_->PreviewJPEG = preview(dialogs_->JPEGPropsForm.get());
    uploadWorkflow_->PreviewGIF = preview(dialogs_->GIFPropsForm.get());
    uploadWorkflow_->ShowAccessHint = [this, save, &optionsForm](const std::string& url) {
        dialogs_->AccessURLHintForm->Execute(url, optionsForm.Options.enableaccesshint, save);
    };
    dialogs_->PictureDownloadForm->SetServices({env_.appDir, &prompts_, &optionsForm.Options, save,
                                                uploadWorkflow_->AskProxyLogin});
    downloadWorkflow_ = std::make_unique<TPictureDownloadWorkflow>(
        *env_.settings, *dialogs_->PictureDownloadForm, [this](const std::string& file) { AddImageToDirectory(file); });
    CreateAcquireWorkflows();
    pasteDropWorkflow_ = std::make_unique<TPasteDropWorkflow>(*acquiredPictureAdder_, optionsForm.Options,
                                                              *downloadWorkflow_, prompts_,
                                                              [this](const std::string& file) { AddImageToDirectory(file); });

    TSendToFriendForm* sendForm = dialogs_->SendToFriendForm.get();
    sendForm->Setup(Addresses().productSite, &prompts_);
    sendForm->OpenSite = [this](const std::string& url) { OpenInBrowser(url); };
    sendWorkflow_ = std::make_unique<TSendToFriendWorkflow>(TSendToFriendWorkflow::TServices{
        &prompts_, &optionsForm.Options, save, &serviceParameters_, [this](bool running) { SetSendRunning(running); },
        [this](const QString& text) { SetStatusText(text); }});
    sendWorkflow_->AskMessage = [sendForm](const std::string& login, std::string& address, std::string& comments,
                                           std::string& name) {
        if (!sendForm->Execute(login))
            return false;
        address = sendForm->Address();
        comments = sendForm->Comments();
        name = sendForm->SenderName();
        return true;
    };
    sendWorkflow_->AskServiceLogin = uploadWorkflow_->AskServiceLogin;
    sendWorkflow_->AskProxyLogin = uploadWorkflow_->AskProxyLogin;

    addressLookup_ = std::make_unique<TServiceAddressLookup>(serviceParameters_.GetParameter("uploadhost"));
    addressLookup_->Changed = [this, sendForm](const TServiceAddresses& a) {
        uploadWorkflow_->SetAddresses(a.wapAccessBase, a.guestGalleryBase);
        sendForm->Setup(a.productSite, &prompts_);
        if (TLogoNode* node = SelectedNode(); node && !uploadRunning_)
            ShowUploadUrl(node->Data()->uploadurl);
    };
    addressLookup_->Start(optionsForm.Options);

    // The options are loaded by now: the version check starts once per run when asked for.
    versionCheck_ = std::make_unique<TVersionCheckWorkflow>(serviceParameters_);
    versionCheck_->AskDownload = [this](const std::string& version) {
        return dialogs_ && dialogs_->NewAppVerDownloadRequestForm->Ask(version);
    };
    versionCheck_->OpenDownload = [this] { OpenInBrowser(Addresses().setupDownload); };
    if (optionsForm.Options.checknewversion)
        versionCheck_->Start(optionsForm.Options);
}

void TMainAppForm::CreateAcquireWorkflows()
{
    acquiredPictureAdder_ = std::make_unique<TAcquiredPictureAdder>(
        env_.appDir, prompts_, *dialogs_->FileFormatChoiceForm,
        TAcquiredPictureHost{&tree_, [this] { return SelectedNode(); }, [this]() -> const TLogoDirObject& {
                                 return *newLogoTemplate_;
                             },
                             [this](TLogoNode* node) { SelectNode(node); }});
    importWorkflow_ = std::make_unique<TImportWorkflow>(*env_.scanner, *acquiredPictureAdder_,
                                                        dialogs_->OptionsForm->Options, this, toolBar_);
    // A scanner list that arrives after the window is up enables the import commands then.
    env_.scanner->SetAvailabilityListener([this] { UpdateCommandStates(); });
    grabWorkflow_ = std::make_unique<TGrabWorkflow>(*acquiredPictureAdder_, prompts_, dialogs_->OptionsForm->Options,
                                                    *dialogs_->GrabScreenForm, this, env_.grabScreen);
}

TServiceAddresses TMainAppForm::Addresses() const
{
    return addressLookup_ ? addressLookup_->Addresses()
                          : ServiceAddressesForHost(serviceParameters_.GetParameter("uploadhost"));
}

void TMainAppForm::OpenInBrowser(const std::string& url)
{
    const std::string error = env_.launchBrowser(url);
    if (!error.empty())
        prompts_.Error(error);
}

void TMainAppForm::ShowUploadUrl(const std::string& url)
{
    const TOptions* options = Options();
    ShowURLFields(StoredURLFields(url, options ? options->login : std::string(), options ? options->password : std::string(),
                                  uploadWorkflow_ ? uploadWorkflow_->GuestGalleryBase() : std::string()));
}

void TMainAppForm::ShowURLFields(const TUploadURLFields& fields)
{
    imageWapShortURL_->setText(QString::fromStdString(fields.shortURL));
    imageWapURL_->setPlainText(QString::fromStdString(fields.fullURL));
    imageID_->setText(QString::fromStdString(fields.imageID));
    uploadQRCode_->SetText(QString::fromStdString(fields.fullURL));
}

void TMainAppForm::ShowImageID(const std::string& id) { imageID_->setText(QString::fromStdString(id)); }

void TMainAppForm::SetStatusText(const QString& text) { statusIdle_->setText(text); }

void TMainAppForm::SetUploadPhase(int phase)
{
    uploadPhase_ = phase;
    uploadBanner_->SetPhase(phase);
}

bool TMainAppForm::eventFilter(QObject* watched, QEvent* e)
{
    if (resizeTimer_ && sourceImageScrollBox_ && watched == sourceImageScrollBox_->viewport() &&
        e->type() == QEvent::Resize) {
        resizeTimer_->start();  // SourceImageScrollBoxResize
    }
    if (watched == logoTreeView_ && e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_Delete) {
            LogoTreeViewKeyDown(key->key());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TMainAppForm::LogoTreeViewKeyDown(int key)
{
    if (key == Qt::Key_Delete)
        DeleteMenuItemClick();
}

void TMainAppForm::AddImageToDirectory(const std::string& file)
{
    // The picture must decode and be big enough before it joins the directory.
    if (const std::string problem = CheckPictureFile(file); !problem.empty()) {
        prompts_.Error(problem);
        return;
    }
    if (TLogoNode* node = directoryOps_->AddImageToDirectory(SelectedNode(), file, *newLogoTemplate_))
        SelectNode(node);
}

void TMainAppForm::dragEnterEvent(QDragEnterEvent* e)
{
    if (pasteDropWorkflow_ && MayOfferPicture(*e->mimeData()))
        e->acceptProposedAction();
}

void TMainAppForm::dropEvent(QDropEvent* e)
{
    e->acceptProposedAction();
    if (pasteDropWorkflow_)
        pasteDropWorkflow_->Drop(e->mimeData());
}

// --- Command handlers -------------------------------------------------------------

void TMainAppForm::Open1Click()
{
    Trace("Open1Click");
    const std::string file = env_.askOpenFile(kOpenFilter);
    if (!file.empty())
        AddImageToDirectory(file);
}

void TMainAppForm::PasteMenuItemClick()
{
    Trace("PasteMenuItemClick");
    if (pasteDropWorkflow_)
        pasteDropWorkflow_->Paste(QGuiApplication::clipboard()->mimeData());
}

void TMainAppForm::SaveMenuItemClick()
{
    Trace("SaveMenuItemClick");
    saveWorkflow_->SaveLogo();
}
void TMainAppForm::AcquireImageMenuItemClick()
{
    Trace("AcquireImageMenuItemClick");
    if (importWorkflow_)
        importWorkflow_->AcquireImageMenuItemClick();
}

void TMainAppForm::SelectSourceMenuItemClick()
{
    Trace("SelectSourceMenuItemClick");
    if (importWorkflow_)
        importWorkflow_->SelectSourceMenuItemClick();
}

void TMainAppForm::GrabFromScreenToolButtonClick()
{
    Trace("GrabFromScreenToolButtonClick");
    if (grabWorkflow_)
        grabWorkflow_->GrabFromScreenToolButtonClick();
}
void TMainAppForm::UploadButtonClick()
{
    Trace("UploadButtonClick");
    if (uploadWorkflow_)
        uploadWorkflow_->UploadButtonClick();
}

void TMainAppForm::Newfolder1Click()
{
    Trace("Newfolder1Click");
    if (TLogoNode* node = directoryOps_->NewFolder(SelectedNode()))
        SelectNode(node);
}

void TMainAppForm::RenameMenuItemClick()
{
    Trace("RenameMenuItemClick");
    directoryOps_->RenameSelectedNode(SelectedNode());
}

void TMainAppForm::DeleteMenuItemClick()
{
    Trace("DeleteMenuItemClick");
    // A long delete changes the tree bit by bit: the directory file is written once, at its end.
    if (autoSaver_)
        autoSaver_->Hold(true);
    directoryOps_->DeleteSelectedNode(SelectedNode(), uploadRunning_);
    if (autoSaver_)
        autoSaver_->Hold(false);
}

void TMainAppForm::ConvertToFileFormatClick(int format)
{
    Trace("ConvertToFileFormatClick");
    transformWorkflow_->ConvertLogoFile(format);
}

void TMainAppForm::MirrorImageClick(bool vertically)
{
    Trace("MirrorImageClick");
    transformWorkflow_->MirrorLogoFile(vertically ? TMirrorDirection::Vertical : TMirrorDirection::Horizontal);
}

void TMainAppForm::RotateImageClick(int degrees)
{
    Trace("RotateImageClick");
    transformWorkflow_->RotateLogoFile(degrees);
}

void TMainAppForm::Options1Click()
{
    Trace("Options1Click");
    if (dialogs_ && dialogs_->OptionsForm->exec() == QDialog::Accepted)
        ShowSelectedNode();
}

void TMainAppForm::FitimageintopaneClick(bool checked)
{
    Trace("FitimageintopaneClick");
    SetFitToPane(checked);
    ShowSelectedNode();
}

void TMainAppForm::SetFitToPane(bool on)
{
    for (const char* name : {"Fitimageintopane", "FitToPaneToolButton", "SIFitimageintopane"})
        actions_[name]->setChecked(on);
}

void TMainAppForm::ContentsToolButtonClick()
{
    Trace("ContentsToolButtonClick");
    if (!helpForm_)
        helpForm_ = std::make_unique<THelpForm>();
    const std::string file = env_.shippedDir + kHelpFile;
    if (!helpForm_->OpenContents(file))
        prompts_.Error("Unable to open the help file " + file);
}

void TMainAppForm::FAQMenuItemClick()
{
    Trace("FAQMenuItemClick");
    OpenInBrowser(Addresses().faq);
}

void TMainAppForm::SendToFriendMenuItemClick()
{
    Trace("SendToFriendMenuItemClick");
    if (sendWorkflow_)
        sendWorkflow_->SendToFriendMenuItemClick();
}

void TMainAppForm::AboutToolButtonClick()
{
    Trace("AboutToolButtonClick");
    if (dialogs_)
        dialogs_->AboutBox->exec();
}

void TMainAppForm::Exit1Click()
{
    Trace("Exit1Click");
    ShutdownApplication();
}

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
    if (uploadWorkflow_)
        uploadWorkflow_->Shutdown();
    if (downloadWorkflow_)
        downloadWorkflow_->Shutdown();
    if (sendWorkflow_)
        sendWorkflow_->Shutdown();
    if (versionCheck_)
        versionCheck_->Shutdown();
    if (addressLookup_)
        addressLookup_->Shutdown();
    if (autoSaver_)
        autoSaver_->Stop();
    if (pictureShow_)
        pictureShow_->Cancel();
    SaveAppState(env_.appDir, SelectedNode(), prompts_);
    if (dialogs_ && dialogs_->OptionsForm)
        dialogs_->OptionsForm->SaveOptions();
    WriteLogoDirectory(prompts_);
    if (helpForm_)
        helpForm_->CloseFile(env_.shippedDir + kHelpFile);
    uploadTile_ = QPixmap();
    SetAppCursor(nullptr);
    selFrameTimer_->stop();
    imageCursorTimer_->stop();
    if (env_.instances)
        env_.instances->Release();
    if (treeWidthSet_)
        layoutKeeper_->Save();  // only a window that was shown has an arrangement to keep
    hide();
    QCoreApplication::exit(0);
}

} // namespace quillon
