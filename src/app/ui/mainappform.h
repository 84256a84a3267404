#pragma once

#include "app/parameters.h"
#include "app/phoneslist.h"
#include "app/ui/appenvironment.h"
#include "logodir/logodirfile.h"
#include "logodir/logotree.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QSplitter;
class QTreeView;

namespace quillon {

class TLogoTreeModel;
class TDialogs;

// The program's only working window. Its creation runs the start-up sequence that
// reads the data files; Exit and closing it run the shutdown sequence that writes them.
class TMainAppForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainAppForm(const TAppEnvironment& env, QWidget* parent = nullptr);
    ~TMainAppForm() override;

    // The dialogs are created after the main window; the application hands them over.
    void SetDialogs(TDialogs* dialogs) { dialogs_ = dialogs; }

    // Set when this copy must end before the event loop runs (another copy is
    // running, or the phone list could not be read).
    bool TerminateRequested() const { return terminateRequested_; }
    bool ShutdownDone() const { return shutdownDone_; }

    TLogoTree& LogoTree() { return tree_; }
    TLogoNode* SelectedNode() const;
    void SelectNode(TLogoNode* node);
    const TPhoneMakes& PhoneMakes() const { return phoneMakes_; }
    const TServiceParameters& ServiceParameters() const { return serviceParameters_; }
    const TLogoDirObject& NewLogoTemplate() const { return *newLogoTemplate_; }
    TLogoDirObject* ActiveNodeObject() const { return activeNodeObject_; }
    bool ActivatedOnce() const { return activatedOnce_; }
    const std::string& ApplicationDirectory() const { return env_.appDir; }

    // Command handlers and window events, by their control and event.
    void FormActivate();
    void Exit1Click();
    void ShutdownApplication();
    void LogoTreeViewChange(TLogoNode* node);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormCreate();
    void InitializeApplication();
    void CheckSingleInstance();
    void BringToFront();
    void CreateLayout();
    void CreateMenus();
    void CheckImageURL();
    void UpdateCommandStates();

    TAppEnvironment env_;
    TDialogs* dialogs_ = nullptr;
    TPrompts& prompts_;

    bool activatedOnce_ = false;
    bool terminateRequested_ = false;
    bool shutdownDone_ = false;
    std::unique_ptr<TLogoDirObject> newLogoTemplate_;
    TPhoneMakes phoneMakes_;
    TServiceParameters serviceParameters_;
    TLogoTree tree_;
    TLogoDirLoadResult logoDirLoad_ = TLogoDirLoadResult::Missing;
    TLogoDirObject* activeNodeObject_ = nullptr;
    bool showingNode_ = false;
    bool fillingControls_ = false;
    bool suppressSettingsChange_ = false;
    int uploadPhase_ = -1;

    TLogoTreeModel* treeModel_ = nullptr;
    QTreeView* logoTreeView_ = nullptr;
    QSplitter* verticalSplitter_ = nullptr;
    QAction* exitAction_ = nullptr;
};

} // namespace quillon
