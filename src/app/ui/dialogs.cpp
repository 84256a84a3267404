#include "app/ui/dialogs.h"

namespace quillon {

TDialogs::TDialogs(const TAppEnvironment& env, QWidget* mainWindow)
{
    AccessURLHintForm = std::make_unique<TAccessURLHintForm>(mainWindow);
    OptionsForm = std::make_unique<TOptionsForm>(env.appDir, *env.prompts, env.systemProxy, env.pickColor, mainWindow);
    SysAuthForm = std::make_unique<TSysAuthForm>(mainWindow);
    ProxyAuthForm = std::make_unique<TProxyAuthForm>(mainWindow);
    SendToFriendForm = std::make_unique<TSendToFriendForm>(mainWindow);
    AboutBox = std::make_unique<TAboutBox>(mainWindow);
    PictureDownloadForm = std::make_unique<TPictureDownloadForm>(mainWindow);
    JPEGPropsForm = std::make_unique<TJPEGPropsForm>(mainWindow);
    NewAppVerDownloadRequestForm = std::make_unique<TNewAppVerDownloadRequestForm>(mainWindow);
    GIFPropsForm = std::make_unique<TGIFPropsForm>(mainWindow);
    FileFormatChoiceForm = std::make_unique<TFileFormatChoiceForm>(mainWindow);
    GrabScreenForm = std::make_unique<TGrabScreenForm>();
}

} // namespace quillon
