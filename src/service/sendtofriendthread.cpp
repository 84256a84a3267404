#include "service/sendtofriendthread.h"

#include "common/error.h"
#include "service/answer.h"
#include "service/messages.h"
#include "service/proxy.h"

#include <vector>

namespace quillon {

TSendToFriendThread::TSendToFriendThread(THTTPConnection& connection, const TServiceParameters& parameters,
                                         TRunOnMainThread runOnMainThread, std::string login,
                                         std::string password, std::string address, std::string comments,
                                         std::string senderName)
    : Login(std::move(login)), Password(std::move(password)), Address(std::move(address)),
      Comments(std::move(comments)), SenderName(std::move(senderName)), connection_(connection),
      url_(ServiceURL(parameters.GetParameter("sendmailhost"), parameters.GetParameter("sendmailscript"))),
      runOnMainThread_(std::move(runOnMainThread))
{
}

void TSendToFriendThread::Execute()
{
    try {
        Run();
    } catch (const THTTPError& e) {
        Result = TWorkerResult::ServiceError;
        const long status = ServiceFailureStatus(e.Status());
        AnswerText = status != 0 ? ServiceAnsweredErrorText(status) : kMsgSendLinkFailed;
    } catch (const std::exception&) {
        Result = TWorkerResult::ServiceError;
        AnswerText = kMsgSendLinkFailed;
    }
    runOnMainThread_([this] { ResetConnection(connection_); });
}

void TSendToFriendThread::Run()
{
    TFormData form;
    form.AddField("login", Login);
    form.AddField("password", Password);
    form.AddField("address", Address);
    form.AddField("comments", Comments);
    form.AddField("sendername", SenderName);
    std::vector<std::string> lines = SplitAnswerLines(connection_.Post(url_, form));

    TAnswerKeyword keyword = lines.empty() ? TAnswerKeyword::Unknown : ClassifyKeyword(lines[0]);
    if (keyword == TAnswerKeyword::Success) {
        Result = TWorkerResult::Success;
        return;
    }
    // An unknown first line is no proof that the mail went out.
    if (keyword == TAnswerKeyword::Unknown || lines.size() < 2)
        throw QuillonError("Unreadable answer");
    Result = keyword == TAnswerKeyword::Message ? TWorkerResult::ServiceMessage : TWorkerResult::ServiceError;
    AnswerText = lines[1];
}

} // namespace quillon
