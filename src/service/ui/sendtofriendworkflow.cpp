#include "service/ui/sendtofriendworkflow.h"

#include "common/error.h"
#include "common/prompts.h"
#include "options/options.h"
#include "service/messages.h"
#include "service/uploadresult.h"

namespace quillon {

TSendToFriendWorkflow::TSendToFriendWorkflow(TServices services, QObject* parent)
    : QObject(parent), services_(std::move(services))
{
}

TSendToFriendWorkflow::~TSendToFriendWorkflow() { Shutdown(); }

void TSendToFriendWorkflow::SendToFriendMenuItemClick()
{
    TOptions& options = *services_.options;
    std::string address, comments, name;
    if (!AskMessage(options.login, address, comments, name) || worker_)
        return;
    if (!EnsureServiceCredentials(options, AskServiceLogin, services_.saveOptions))
        return;
    if (ProxyApplies(options) && options.proxyauthentication &&
        !EnsureProxyCredentials(options, AskProxyLogin, services_.saveOptions))
        return;
    try {
        ConfigureConnection(connection_, options);
    } catch (const QuillonError& e) {
        services_.prompts->Error(e.what());
        return;
    }
    worker_ = std::make_unique<TSendToFriendThread>(connection_, *services_.parameters, runner_.MainThreadCall(),
                                                    options.login, options.password, address, comments, name);
    TSendToFriendThread* worker = worker_.get();
    runner_.Start([worker] { worker->Execute(); }, [this] { Completion(); });
    services_.setRunning(true);
    services_.setStatus(kStatusSending);
}

void TSendToFriendWorkflow::Completion()
{
    std::unique_ptr<TSendToFriendThread> worker = std::move(worker_);
    switch (worker->Result) {
    case TWorkerResult::Success:
        services_.setStatus(kStatusSent);
        break;
    case TWorkerResult::ServiceMessage:
        services_.setStatus(kStatusSendFailed);
        if (worker->AnswerText == kWrongLoginOrPassword)
            services_.prompts->Error(kMsgSendLoginIncorrect);
        else if (worker->AnswerText == kUserIsNotConfirmed)
            services_.prompts->Error(kMsgSendNotConfirmed);
        else if (worker->AnswerText == kCouldNotSendMail)
            services_.prompts->Error(kMsgCouldNotSendMail);
        break;
    default:
        services_.setStatus(kStatusSendFailed);
        services_.prompts->Error(worker->AnswerText);
        break;
    }
    services_.setRunning(false);
}

} // namespace quillon
