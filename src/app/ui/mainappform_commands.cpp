// The menus, the tool bar and the pop-up menus: every control that offers a command
// runs that command's one handler, and one rule decides which of them are enabled.
#include "app/ui/mainappform.h"
#include "imaging/picturemessages.h"

#include "acquire/ui/scanner.h"
#include "app/messages.h"
#include "app/ui/dialogs.h"
#include "app/ui/helpform.h"
#include "imaging/ui/pictureview.h"
#include "logodir/ui/logotreemodel.h"

#include <QAction>
#include <QMenu>
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

namespace quillon {

namespace {

const char* const kFormatNames[4] = {"BMP", "JPG", "GIF", "PNG"};
const auto& kFormatTexts = kFormatCaptions;
const int kAngles[3] = {90, 180, 270};

QIcon Icon(const char* name) { return name ? QIcon(QString(":/icons/%1.png").arg(name)) : QIcon(); }

} // namespace

QAction* TMainAppForm::Command(const QString& name, const QString& text, const char* icon,
                               void (TMainAppForm::*handler)())
{
    auto* action = new QAction(Icon(icon), text, this);
    action->setObjectName(name);
    if (handler)
        connect(action, &QAction::triggered, this, handler);
    actions_[name] = action;
    return action;
}

void TMainAppForm::AddFormatItems(QMenu* menu, const QString& prefix)
{
    for (int i = 0; i < 4; ++i) {
        QAction* a = Command(prefix + "ConvertTo" + kFormatNames[i], kFormatTexts[i], nullptr, nullptr);
        connect(a, &QAction::triggered, this, [this, i] { ConvertToFileFormatClick(i); });
        menu->addAction(a);
    }
}

void TMainAppForm::AddMirrorItems(QMenu* menu, const QString& prefix)
{
    const char* texts[2] = {"Horizontally", "Vertically"};
    for (int i = 0; i < 2; ++i) {
        QAction* a = Command(prefix + "Mirror" + texts[i], texts[i], nullptr, nullptr);
        connect(a, &QAction::triggered, this, [this, i] { MirrorImageClick(i == 1); });
        menu->addAction(a);
    }
}

void TMainAppForm::AddRotateItems(QMenu* menu, const QString& prefix)
{
    for (int angle : kAngles) {
        QAction* a = Command(prefix + "Rotate" + QString::number(angle), QString::number(angle) + QChar(0x00B0),
                             nullptr, nullptr);
        connect(a, &QAction::triggered, this, [this, angle] { RotateImageClick(angle); });
        menu->addAction(a);
    }
}

QToolButton* TMainAppForm::DropDownButton(const QString& name, const QString& hint, const char* icon, QMenu* menu,
                                          QAction* face)
{
    auto* button = new QToolButton(toolBar_);
    const bool faceRuns = face != nullptr;
    if (!face)
        face = Command(name, hint, icon, nullptr);
    face->setToolTip(hint);
    button->setDefaultAction(face);
    button->setMenu(menu);
    // A face that runs a command keeps its arrow apart; the other faces open the menu.
    button->setPopupMode(faceRuns ? QToolButton::MenuButtonPopup : QToolButton::InstantPopup);
    button->setObjectName(name + "Widget");
    toolBar_->addWidget(button);
    return button;
}

void TMainAppForm::CreateCommands()
{
    // Main menu.
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("File1");
    QAction* open = Command("Open1", "&Open...", "open", &TMainAppForm::Open1Click);
    open->setShortcut(QKeySequence::Open);
    file->addAction(open);
    QAction* save = Command("SaveMenuItem", "&Save...", "save", &TMainAppForm::SaveMenuItemClick);
    save->setShortcut(QKeySequence::Save);
    file->addAction(save);
    QMenu* twain = file->addMenu("Import from TWAIN source");
    twain->menuAction()->setObjectName("ImportFromTWAINMenuItem");
    actions_["ImportFromTWAINMenuItem"] = twain->menuAction();
    twain->addAction(Command("AcquireImageMenuItem", "Acquire image...", nullptr, &TMainAppForm::AcquireImageMenuItemClick));
    twain->addAction(Command("SelectSourceMenuItem", "Select source...", nullptr, &TMainAppForm::SelectSourceMenuItemClick));
    file->addAction(Command("GrabFromScreenMenuItem", "Grab from screen", "grab", &TMainAppForm::GrabFromScreenToolButtonClick));
    file->addAction(Command("UploadMenuItem", "Upload", "uploadtool", &TMainAppForm::UploadButtonClick));
    file->addAction(Command("Newfolder1", "&New folder...", "newfolder", &TMainAppForm::Newfolder1Click));
    file->addSeparator();
    QAction* exit = Command("Exit1", "E&xit", "exit", &TMainAppForm::Exit1Click);
    exit->setShortcut(QKeySequence::Quit);
    file->addAction(exit);

    QMenu* edit = menuBar()->addMenu("&Edit");
    edit->setObjectName("Edit1");
    QAction* rename = Command("RenameMenuItem", "Rename...", "rename", &TMainAppForm::RenameMenuItemClick);
    QAction* del = Command("DeleteMenuItem", "Delete", "delete", &TMainAppForm::DeleteMenuItemClick);
    // F2 and Delete act on the tree only: Delete in a text field or a combo box must
    // never ask to delete the selected logo. The menu items work from everywhere.
    rename->setShortcut(Qt::Key_F2);
    del->setShortcut(QKeySequence::Delete);
    for (QAction* a : {rename, del}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        logoTreeView_->addAction(a);
        edit->addAction(a);
    }
    edit->addSeparator();
    QMenu* convert = edit->addMenu("Convert to");
    convert->menuAction()->setObjectName("MMConverttoformat");
    actions_["MMConverttoformat"] = convert->menuAction();
    AddFormatItems(convert, "MM");
    QMenu* mirror = edit->addMenu("Mirror");
    mirror->menuAction()->setObjectName("MMMirrorImage");
    actions_["MMMirrorImage"] = mirror->menuAction();
    AddMirrorItems(mirror, "MM");
    QMenu* rotate = edit->addMenu("Rotate");
    rotate->menuAction()->setObjectName("MMRotateImage");
    actions_["MMRotateImage"] = rotate->menuAction();
    AddRotateItems(rotate, "MM");
    edit->addSeparator();
    edit->addAction(Command("Options1", "Options...", "options", &TMainAppForm::Options1Click));

    QMenu* view = menuBar()->addMenu("View");
    view->setObjectName("View1");
    QAction* fit = Command("Fitimageintopane", "Fit image into pane", nullptr, nullptr);
    fit->setCheckable(true);
    view->addAction(fit);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("Help1");
    QAction* contents = Command("Contents1", "Contents", "help", &TMainAppForm::ContentsToolButtonClick);
    contents->setShortcut(QKeySequence::HelpContents);
    help->addAction(contents);
    help->addAction(Command("FAQMenuItem", "FAQ", nullptr, &TMainAppForm::FAQMenuItemClick));
    help->addAction(Command("SendToFriendMenuItem", "Send to friend...", "sendtofriend", &TMainAppForm::SendToFriendMenuItemClick));
    help->addSeparator();
    help->addAction(Command("About1", "About...", "about", &TMainAppForm::AboutToolButtonClick));

    // Tool bar.
    toolBar_ = addToolBar("Tools");
    toolBar_->setObjectName("ToolBar");
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(22, 22));
    auto tool = [this](const QString& name, const QString& hint, const char* icon, void (TMainAppForm::*handler)()) {
        QAction* a = Command(name, hint, icon, handler);
        a->setToolTip(hint);
        toolBar_->addAction(a);
        toolBar_->widgetForAction(a)->setObjectName(name + "Widget");
        return a;
    };
    tool("OpenToolButton", "Open...", "open", &TMainAppForm::Open1Click);
    tool("SaveToolButton", "Save...", "save", &TMainAppForm::SaveMenuItemClick);
    auto* twainMenu = new QMenu(this);
    twainMenu->addAction(Command("TBAcquireImage", "Acquire image...", nullptr, &TMainAppForm::AcquireImageMenuItemClick));
    twainMenu->addAction(Command("TBSelectSource", "Select source...", nullptr, &TMainAppForm::SelectSourceMenuItemClick));
    DropDownButton("ImportFromTWAINToolButton", "Import from TWAIN source...", "twain", twainMenu,
                   Command("ImportFromTWAINToolButton", "Import from TWAIN source...", "twain",
                           &TMainAppForm::AcquireImageMenuItemClick));
    tool("GrabFromScreenToolButton", "Grab from screen...", "grab", &TMainAppForm::GrabFromScreenToolButtonClick);
    tool("UploadToolButton", "Upload", "uploadtool", &TMainAppForm::UploadButtonClick);
    tool("NewFolderToolButton", "New folder...", "newfolder", &TMainAppForm::Newfolder1Click);
    toolBar_->addSeparator();
    tool("RenameToolButton", "Rename...", "rename", &TMainAppForm::RenameMenuItemClick);
    tool("DeleteToolButton", "Delete", "delete", &TMainAppForm::DeleteMenuItemClick);
    toolBar_->addSeparator();
    auto* convertMenu = new QMenu(this);
    AddFormatItems(convertMenu, "TB");
    DropDownButton("ConvertToolButton", "Convert to format...", "convert", convertMenu, nullptr);
    auto* mirrorMenu = new QMenu(this);
    AddMirrorItems(mirrorMenu, "TB");
    DropDownButton("MirrorToolButton", "Mirror image...", "mirror", mirrorMenu, nullptr);
    auto* rotateMenu = new QMenu(this);
    AddRotateItems(rotateMenu, "TB");
    DropDownButton("RotateToolButton", "Rotate image...", "rotate", rotateMenu, nullptr);
    toolBar_->addSeparator();
    tool("OptionsToolButton", "Options...", "options", &TMainAppForm::Options1Click);
    toolBar_->addSeparator();
    QAction* fitTool = tool("FitToPaneToolButton", "Fit image into pane", "fittopane", nullptr);
    fitTool->setCheckable(true);
    toolBar_->addSeparator();
    tool("ContentsToolButton", "Help contents", "help", &TMainAppForm::ContentsToolButtonClick);
    tool("SendToFriendToolButton", "Send to friend...", "sendtofriend", &TMainAppForm::SendToFriendMenuItemClick);
    tool("AboutToolButton", "About...", "about", &TMainAppForm::AboutToolButtonClick);
    toolBar_->addSeparator();
    tool("ExitToolButton", "Exit", "exit", &TMainAppForm::Exit1Click);

    // Pop-up menus.
    logoTreePopupMenu_ = new QMenu(this);
    logoTreePopupMenu_->setObjectName("LogoTreePopupMenu");
    logoTreePopupMenu_->addAction(Command("TVOpen", "Open...", "open", &TMainAppForm::Open1Click));
    logoTreePopupMenu_->addAction(Command("TVSave", "Save...", "save", &TMainAppForm::SaveMenuItemClick));
    QAction* tvUpload = Command("TVUpload", "Upload", "uploadtool", &TMainAppForm::UploadButtonClick);
    logoTreePopupMenu_->addAction(tvUpload);
    logoTreePopupMenu_->addAction(Command("TVNewFolder", "New folder...", "newfolder", &TMainAppForm::Newfolder1Click));
    logoTreePopupMenu_->addSeparator();
    logoTreePopupMenu_->addAction(Command("TVRename", "Rename...", "rename", &TMainAppForm::RenameMenuItemClick));
    logoTreePopupMenu_->addAction(Command("TVDelete", "Delete", "delete", &TMainAppForm::DeleteMenuItemClick));
    logoTreePopupMenu_->addSeparator();
    for (auto [prefix, menu] : {std::pair<QString, QMenu*>{"TV", logoTreePopupMenu_}, {"SI", nullptr}}) {
        if (!menu) {
            sourceImagePopupMenu_ = new QMenu(this);
            sourceImagePopupMenu_->setObjectName("SourceImagePopupMenu");
            QAction* siUpload = Command("SIUpload", "Upload", "uploadtool", &TMainAppForm::UploadButtonClick);
            sourceImagePopupMenu_->addAction(siUpload);
            sourceImagePopupMenu_->addSeparator();
            QAction* siFit = Command("SIFitimageintopane", "Fit image into pane", nullptr, nullptr);
            siFit->setCheckable(true);
            sourceImagePopupMenu_->addAction(siFit);
            sourceImagePopupMenu_->addSeparator();
            menu = sourceImagePopupMenu_;
        }
        QMenu* c = menu->addMenu("Convert to");
        c->menuAction()->setObjectName(prefix + "ConvertToFormat");
        actions_[prefix + "ConvertToFormat"] = c->menuAction();
        AddFormatItems(c, prefix);
        QMenu* m = menu->addMenu("Mirror");
        m->menuAction()->setObjectName(prefix + "MirrorImage");
        actions_[prefix + "MirrorImage"] = m->menuAction();
        AddMirrorItems(m, prefix);
        QMenu* r = menu->addMenu("Rotate");
        r->menuAction()->setObjectName(prefix + "RotateImage");
        actions_[prefix + "RotateImage"] = r->menuAction();
        AddRotateItems(r, prefix);
    }
    targetImagePopupMenu_ = new QMenu(this);
    targetImagePopupMenu_->setObjectName("TargetImagePopupMenu");
    targetImagePopupMenu_->addAction(Command("TIUpload", "Upload", "uploadtool", &TMainAppForm::UploadButtonClick));

    // "Fit image into pane" has three places that always agree.
    for (const char* name : {"Fitimageintopane", "FitToPaneToolButton", "SIFitimageintopane"})
        connect(actions_[name], &QAction::triggered, this, &TMainAppForm::FitimageintopaneClick);

    connect(logoTreeView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        // A right click acts on the node under the pointer: select it first.
        const QModelIndex index = logoTreeView_->indexAt(pos);
        if (index.isValid())
            logoTreeView_->setCurrentIndex(index);
        PreparePopup(actions_["TVUpload"]);
        logoTreePopupMenu_->popup(logoTreeView_->viewport()->mapToGlobal(pos));
    });
    connect(sourceImageScrollBox_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        EndFrameDrag();  // the menu takes the button release
        PreparePopup(actions_["SIUpload"]);
        actions_["SIFitimageintopane"]->setEnabled(commandStates_.fitToPane);
        sourceImagePopupMenu_->popup(sourceImageScrollBox_->mapToGlobal(pos));
    });
    connect(targetBkgndScrollBox_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PreparePopup(actions_["TIUpload"]);
        targetImagePopupMenu_->popup(targetBkgndScrollBox_->mapToGlobal(pos));
    });
}

void TMainAppForm::PreparePopup(QAction* uploadItem)
{
    UpdateCommandStates();
    uploadItem->setEnabled(commandStates_.upload);
    uploadItem->setText(QString::fromStdString(commandStates_.uploadCaption));
}

void TMainAppForm::SetEnabled(const QStringList& names, bool enabled)
{
    for (const QString& name : names) {
        if (auto it = actions_.find(name); it != actions_.end())
            it->second->setEnabled(enabled);
    }
}

void TMainAppForm::UpdateCommandStates()
{
    TCommandContext context;
    context.selected = SelectedNode();
    context.firstNode = tree_.Root();
    context.uploadRunning = uploadRunning_;
    context.sendRunning = sendRunning_;
    context.twainAvailable = env_.scanner->Available();
    commandStates_ = ComputeCommandStates(context);
    const TCommandStates& s = commandStates_;

    SetEnabled({"SaveMenuItem", "SaveToolButton", "TVSave"}, s.save);
    SetEnabled({"ImportFromTWAINMenuItem", "ImportFromTWAINToolButton", "AcquireImageMenuItem", "SelectSourceMenuItem",
                "TBAcquireImage", "TBSelectSource"},
               s.importFromTwain);
    SetEnabled({"GrabFromScreenMenuItem", "GrabFromScreenToolButton"}, s.grabFromScreen);
    SetEnabled({"UploadMenuItem", "UploadToolButton", "TVUpload", "SIUpload", "TIUpload"}, s.upload);
    uploadButton_->setEnabled(s.upload);
    SetEnabled({"RenameMenuItem", "RenameToolButton", "TVRename"}, s.rename);
    SetEnabled({"DeleteMenuItem", "DeleteToolButton", "TVDelete"}, s.remove);
    SetEnabled({"MMConverttoformat", "ConvertToolButton", "TVConvertToFormat", "SIConvertToFormat"}, s.convert);
    SetEnabled({"MMMirrorImage", "MirrorToolButton", "TVMirrorImage", "SIMirrorImage"}, s.mirror);
    SetEnabled({"MMRotateImage", "RotateToolButton", "TVRotateImage", "SIRotateImage"}, s.rotate);
    SetEnabled({"Fitimageintopane", "FitToPaneToolButton", "SIFitimageintopane"}, s.fitToPane);
    SetEnabled({"SendToFriendMenuItem", "SendToFriendToolButton"}, s.sendToFriend);
    for (QWidget* w : std::initializer_list<QWidget*>{phoneMake_, phoneModel_, logoWidth_, logoHeight_, keepProportions_})
        w->setEnabled(s.logoProperties);
    for (QAbstractButton* b : fitInto_->buttons())
        b->setEnabled(s.logoProperties);
    fitInto_->buttons().first()->parentWidget()->setEnabled(s.logoProperties);
    if (s.convert) {
        for (int i = 0; i < 4; ++i) {
            for (const char* prefix : {"MM", "TB", "TV", "SI"})
                actions_[QString(prefix) + "ConvertTo" + kFormatNames[i]]->setVisible(s.convertToVisible[i]);
        }
    }
    const QString caption = QString::fromStdString(s.uploadCaption);
    for (const char* name : {"UploadMenuItem", "UploadToolButton"})
        actions_[name]->setText(caption);
    actions_["UploadToolButton"]->setToolTip(caption);
    uploadButton_->setText(caption);
    ApplyUploadGlyph();
}

void TMainAppForm::ApplyUploadGlyph()
{
    if (!uploadButton_->isEnabled())
        uploadButton_->setIcon(QIcon());
    else
        uploadButton_->setIcon(QIcon(QPixmap(uploadRunning_ ? ":/STOPUPLOAD_BMP" : ":/UPLOAD_BMP")));
}

void TMainAppForm::SetUploadRunning(bool running)
{
    uploadRunning_ = running;
    UpdateCommandStates();
}

void TMainAppForm::SetSendRunning(bool running)
{
    sendRunning_ = running;
    UpdateCommandStates();
}

void TMainAppForm::Trace(const char* handler)
{
    if (CommandTrace)
        CommandTrace(handler);
}

} // namespace quillon
