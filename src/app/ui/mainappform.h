#pragma once

#include "acquire/ui/picturedownloadworkflow.h"
#include "app/commandstates.h"
#include "datafiles/parameters.h"
#include "datafiles/phoneslist.h"
#include "app/ui/appenvironment.h"
#include "logodir/logodirfile.h"
#include "logodir/logosettings.h"
#include "logodir/logotree.h"
#include "imaging/picturecache.h"
#include "imaging/quickpicture.h"
#include "imaging/sourceimage.h"
#include "imaging/ui/pictureshowworker.h"
#include "service/ui/sendtofriendworkflow.h"
#include "service/ui/serviceaddresslookup.h"
#include "service/ui/uploadworkflow.h"
#include "service/ui/versioncheckworkflow.h"
#include "service/serviceaddresses.h"

#include <QMainWindow>
#include <QCursor>
#include <QPixmap>
#include <QRegion>
#include <functional>
#include <map>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;

namespace quillon {

class TAcquiredPictureAdder;
class TImportWorkflow;
class TGrabWorkflow;
class TPasteDropWorkflow;
class TLogoTreeModel;
class TAutoSaver;
class TTreeDeleteWorkflow;
class TDialogs;
class TDirectoryOps;
class THelpForm;
class TPictureView;
class TUploadBannerPanel;
class TPropertyControls;
class TQRCodeView;
class TPictureTransformWorkflow;
class TSaveWorkflow;
class TWindowLayoutKeeper;

// The program's only working window. Its creation runs the start-up sequence that
// reads the data files; Exit and closing it run the shutdown sequence that writes them.
class TMainAppForm : public QMainWindow, public TUploadView {
    Q_OBJECT
public:
    explicit TMainAppForm(const TAppEnvironment& env, QWidget* parent = nullptr);
    ~TMainAppForm() override;

    // The dialogs are created after the main window; the application hands them over.
    // The workflows that show dialogs are created with them.
    void SetDialogs(TDialogs* dialogs);

    // Set when this copy must end before the event loop runs (another copy is
    // running, or the phone list could not be read).
    bool TerminateRequested() const { return terminateRequested_; }
    bool ShutdownDone() const { return shutdownDone_; }

    TLogoTree& LogoTree() { return tree_; }
    TLogoNode* SelectedNode() const override;
    void SelectNode(TLogoNode* node);
    const TPhoneMakes& PhoneMakes() const { return phoneMakes_; }
    const TServiceParameters& ServiceParameters() const { return serviceParameters_; }
    const TLogoDirObject& NewLogoTemplate() const { return *newLogoTemplate_; }
    TLogoDirObject* ActiveNodeObject() const { return activeNodeObject_; }
    bool ActivatedOnce() const { return activatedOnce_; }
    const std::string& ApplicationDirectory() const { return env_.appDir; }
    const TCommandStates& CommandStates() const { return commandStates_; }

    // Set by the upload and send-to-friend workflows; every change refreshes the commands.
    void SetUploadRunning(bool running) override;
    void SetSendRunning(bool running);
    bool UploadRunning() const { return uploadRunning_; }
    TUploadWorkflow* UploadWorkflow() const { return uploadWorkflow_.get(); }
    TSendToFriendWorkflow* SendToFriendWorkflow() const { return sendWorkflow_.get(); }
    TAutoSaver* AutoSaver() const { return autoSaver_; }
    TVersionCheckWorkflow* VersionCheck() const { return versionCheck_.get(); }
    TServiceAddressLookup* AddressLookup() const { return addressLookup_.get(); }

    // What the upload workflow changes on the window.
    TLogoNode* RootNode() const override { return tree_.Root(); }
    const TSourceImage* ShownLogo() const override { return ShownPicture(); }
    void SetStatusText(const QString& text) override;
    void SetUploadPhase(int phase) override;
    void ShowURLFields(const TUploadURLFields& fields) override;
    void ShowImageID(const std::string& id) override;

    // The command handlers, one per command, whatever control runs it.
    void Open1Click();
    void PasteMenuItemClick();
    void SaveMenuItemClick();
    void AcquireImageMenuItemClick();
    void SelectSourceMenuItemClick();
    void GrabFromScreenToolButtonClick();
    void UploadButtonClick();
    void Newfolder1Click();
    void RenameMenuItemClick();
    void DeleteMenuItemClick();
    void ConvertToFileFormatClick(int format);
    void MirrorImageClick(bool vertically);
    void RotateImageClick(int degrees);
    void Options1Click();
    void FitimageintopaneClick(bool checked);
    void ContentsToolButtonClick();
    void FAQMenuItemClick();
    void SendToFriendMenuItemClick();
    void AboutToolButtonClick();
    void Exit1Click();

    // Called with the name of each command handler as it runs (tests use this).
    std::function<void(const char*)> CommandTrace;

    // Before the first show: the arrangement the window had when it last closed; false
    // when there is none (the caller places the window).
    bool RestoreWindowLayout();
    void FormActivate();
    void ShutdownApplication();
    void LogoTreeViewChange(TLogoNode* node);
    void LogoTreeViewKeyDown(int key);
    void UpdateCommandStates();
    void AddImageToDirectory(const std::string& file);

    // The selected logo on screen (mainappform_logo.cpp).
    void ShowSelectedNode();
    void UpdateImageStatus();
    void SourceImageMouseDown(int x, int y);
    void SourceImageMouseMove(int x, int y);
    void SourceImageMouseUp(int x, int y);
    // Ends a drag whose button release never reached the view (pop-up, Esc, another
    // window): the frame stays where the last move put it.
    void EndFrameDrag();
    bool FrameDragging() const { return frameDragging_; }
    void SelFrameTimerTimer();
    void ImageCursorTimerTimer();
    // The shown picture, once a large one still being decoded is in (a command that
    // saves, uploads or transforms it waits for it).
    TSourceImage* ActiveSourceImage() const { return ShownPicture(); }
    // While a large picture is decoded: its quick first look in the source view.
    const TQuickView* QuickView() const { return quickView_.get(); }
    bool PictureComing() const { return pictureShow_ && pictureShow_->Busy(); }
    QString ImageStatusText(int panel) const;
    bool FitToPane() const;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void FormCreate();
    void InitializeApplication();
    void CheckSingleInstance();
    void BringToFront();
    void CheckImageURL();
    void CreateAcquireWorkflows();
    void Trace(const char* handler);
    void SetFitToPane(bool on);

    // Building the window (mainappform_layout.cpp).
    void CreateLayout();
    QWidget* CreateTreePanel();
    QWidget* CreateSourcePanel();
    QWidget* CreateTargetPanel();
    QWidget* CreateImageToolPanel();
    QWidget* CreateUploadPanel();
    void CreateStatusBar();

    // Menus, tool bar and pop-ups (mainappform_commands.cpp).
    void CreateCommands();
    QAction* Command(const QString& name, const QString& text, const char* icon, void (TMainAppForm::*handler)());
    void AddFormatItems(QMenu* menu, const QString& prefix);
    void AddMirrorItems(QMenu* menu, const QString& prefix);
    void AddRotateItems(QMenu* menu, const QString& prefix);
    QToolButton* DropDownButton(const QString& name, const QString& hint, const char* icon, QMenu* menu,
                                QAction* face);
    void PreparePopup(QAction* uploadItem);
    void SetEnabled(const QStringList& names, bool enabled);
    void ApplyUploadGlyph();
    void ShowUploadUrl(const std::string& url);
    void OpenInBrowser(const std::string& url);
    TServiceAddresses Addresses() const;
    void UpdateFrameCursor(int x, int y);
    void DragFrame(int x, int y);
    void FinishFrameDrag();
    void RenderLogo();
    void RepaintFrame();
    QRegion FrameRegion() const;
    void SetAppCursor(const QCursor* cursor);
    void ConnectSourceView();
    bool StartQuickShow(const std::string& path, const TShowSettings& settings);
    void EndQuickShow();
    void PictureShown(TPictureShowWorker::TResult result);
    void ShowActivePicture(const TBitmap& logo);
    TSourceImage* ShownPicture() const;
    const TOptions* Options() const;
    bool WriteLogoDirectory(TPrompts& prompts);

    TAppEnvironment env_;
    TDialogs* dialogs_ = nullptr;
    TPrompts& prompts_;

    static constexpr int kTreePanelWidth = 185;
    bool treeWidthSet_ = false;
    bool activatedOnce_ = false;
    bool terminateRequested_ = false;
    bool shutdownDone_ = false;
    bool uploadRunning_ = false;
    bool sendRunning_ = false;
    std::unique_ptr<TLogoDirObject> newLogoTemplate_;
    TPhoneMakes phoneMakes_;
    TServiceParameters serviceParameters_;
    TLogoTree tree_;
    TLogoDirLoadResult logoDirLoad_ = TLogoDirLoadResult::Missing;
    TLogoDirObject* activeNodeObject_ = nullptr;
    bool showingNode_ = false;
    int uploadPhase_ = -1;
    TCommandStates commandStates_;
    std::unique_ptr<TSourceImage> activeSourceImage_;
    TPictureCache pictureCache_; // the decoded picture of the logo shown last
    // A large picture on its way: the worker decoding it, the record it was started for
    // (as it was then) and the quick picture shown meanwhile.
    std::unique_ptr<TPictureShowWorker> pictureShow_;
    TLogoDirObject* comingNode_ = nullptr;
    TLogoDirObject comingRecord_;
    std::unique_ptr<TQuickView> quickView_;
    bool mouseBusy_ = false;
    bool frameDragging_ = false;
    TSourceImage::TDrag drag_;
    bool appCursorSet_ = false;
    QTimer* resizeTimer_ = nullptr;
    std::unique_ptr<TDirectoryOps> directoryOps_;
    std::unique_ptr<TPictureTransformWorkflow> transformWorkflow_;
    std::unique_ptr<TSaveWorkflow> saveWorkflow_;
    std::unique_ptr<TPropertyControls> propertyControls_;
    std::unique_ptr<TLogoSettings> logoSettings_;
    std::unique_ptr<THelpForm> helpForm_;
    std::unique_ptr<TUploadWorkflow> uploadWorkflow_;
    std::unique_ptr<TPictureDownloadWorkflow> downloadWorkflow_;
    std::unique_ptr<TAcquiredPictureAdder> acquiredPictureAdder_;
    std::unique_ptr<TImportWorkflow> importWorkflow_;
    std::unique_ptr<TGrabWorkflow> grabWorkflow_;
    std::unique_ptr<TPasteDropWorkflow> pasteDropWorkflow_;
    std::unique_ptr<TSendToFriendWorkflow> sendWorkflow_;
    std::unique_ptr<TVersionCheckWorkflow> versionCheck_;
    std::unique_ptr<TServiceAddressLookup> addressLookup_;
    std::unique_ptr<TWindowLayoutKeeper> layoutKeeper_;
    QPixmap uploadTile_;
    TAutoSaver* autoSaver_ = nullptr;
    TTreeDeleteWorkflow* treeDelete_ = nullptr;
    std::shared_ptr<TLogoDirSnapshot> logoDirSnapshot_;

    // Controls, by the names the rest of the program knows them by.
    TLogoTreeModel* treeModel_ = nullptr;
    QTreeView* logoTreeView_ = nullptr;
    QSplitter* verticalSplitter_ = nullptr;
    QSplitter* horizontalSplitter_ = nullptr;
    QScrollArea* sourceImageScrollBox_ = nullptr;
    TPictureView* sourceImage_ = nullptr;
    QStatusBar* imageStatusBar_ = nullptr;
    QLabel* imageStatusPanels_[4] = {};
    QScrollArea* targetBkgndScrollBox_ = nullptr;
    TPictureView* targetImage_ = nullptr;
    QComboBox* phoneMake_ = nullptr;
    QComboBox* phoneModel_ = nullptr;
    QSpinBox* logoWidth_ = nullptr;
    QSpinBox* logoHeight_ = nullptr;
    QButtonGroup* fitInto_ = nullptr;
    QCheckBox* keepProportions_ = nullptr;
    QPushButton* uploadButton_ = nullptr;
    QLineEdit* imageWapShortURL_ = nullptr;
    QPlainTextEdit* imageWapURL_ = nullptr;
    QLineEdit* imageID_ = nullptr;
    TQRCodeView* uploadQRCode_ = nullptr;
    QLabel* statusIdle_ = nullptr;
    TUploadBannerPanel* uploadBanner_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QMenu* logoTreePopupMenu_ = nullptr;
    QMenu* sourceImagePopupMenu_ = nullptr;
    QMenu* targetImagePopupMenu_ = nullptr;
    QTimer* selFrameTimer_ = nullptr;
    QTimer* imageCursorTimer_ = nullptr;
    std::map<QString, QAction*> actions_;  // every command item, by control name
    QCursor cursors_[3];
};

} // namespace quillon
