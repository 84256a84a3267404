#pragma once

#include "datafiles/parameters.h"
#include "service/httpconnection.h"
#include "service/proxy.h"
#include "service/sendtofriendthread.h"
#include "service/ui/workerrunner.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace quillon {

class TPrompts;
class TSendToFriendForm;
struct TOptions;

// The Send to friend command: the dialog, the logins, the worker and its outcome in the
// status bar and message boxes. One send at a time; it may run beside an upload.
class TSendToFriendWorkflow : public QObject {
    Q_OBJECT
public:
    struct TServices {
        TPrompts* prompts = nullptr;
        TOptions* options = nullptr;
        std::function<void()> saveOptions;
        const TServiceParameters* parameters = nullptr;
        std::function<void(bool running)> setRunning;   // enabling follows
        std::function<void(const QString&)> setStatus;  // the first panel of the status bar
    };
    TSendToFriendWorkflow(TServices services, QObject* parent = nullptr);
    ~TSendToFriendWorkflow() override;

    void SendToFriendMenuItemClick();
    bool Running() const { return worker_ != nullptr; }
    void Shutdown() { runner_.Shutdown(); }

    // The dialog and the login prompts; tests replace them on purpose.
    std::function<bool(const std::string& login, std::string& address, std::string& comments, std::string& name)>
        AskMessage;
    TProxyLoginPrompt AskServiceLogin;
    TProxyLoginPrompt AskProxyLogin;

private:
    void Completion();

    TServices services_;
    THTTPConnection connection_;
    TWorkerRunner runner_;
    std::unique_ptr<TSendToFriendThread> worker_;
};

} // namespace quillon
