#pragma once

#include "acquire/ui/grabscreenform.h"
#include "acquire/ui/picturedownloadform.h"
#include "app/ui/aboutbox.h"
#include "app/ui/appenvironment.h"
#include "imaging/ui/fileformatchoiceform.h"
#include "imaging/ui/gifpropsform.h"
#include "imaging/ui/jpegpropsform.h"
#include "options/ui/optionsform.h"
#include "service/ui/accessurlhintform.h"
#include "service/ui/newappverdownloadrequestform.h"
#include "service/ui/sendtofriendform.h"
#include "service/ui/loginform.h"

#include <memory>

namespace quillon {

// The dialogs of the program: all live for the whole run, created in this order.
class TDialogs {
public:
    TDialogs(const TAppEnvironment& env, QWidget* mainWindow);

    std::unique_ptr<TAccessURLHintForm> AccessURLHintForm;
    std::unique_ptr<TOptionsForm> OptionsForm;
    std::unique_ptr<TSysAuthForm> SysAuthForm;
    std::unique_ptr<TProxyAuthForm> ProxyAuthForm;
    std::unique_ptr<TSendToFriendForm> SendToFriendForm;
    std::unique_ptr<TAboutBox> AboutBox;
    std::unique_ptr<TPictureDownloadForm> PictureDownloadForm;
    std::unique_ptr<TJPEGPropsForm> JPEGPropsForm;
    std::unique_ptr<TNewAppVerDownloadRequestForm> NewAppVerDownloadRequestForm;
    std::unique_ptr<TGIFPropsForm> GIFPropsForm;
    std::unique_ptr<TFileFormatChoiceForm> FileFormatChoiceForm;
    std::unique_ptr<TGrabScreenForm> GrabScreenForm;
};

} // namespace quillon
