#include "service/uploadthread.h"

#include "common/error.h"
#include "common/text.h"
#include "service/answer.h"
#include "service/messages.h"
#include "service/proxy.h"

#include <optional>

namespace quillon {

namespace {

// A malformed answer is the worker's own failure, not the network's: it never reads as
// a cancel.
[[noreturn]] void BadAnswer()
{
    throw QuillonError("The server's answer is incomplete");
}

int ReadMemberStatus(const std::vector<std::string>& lines)
{
    if (lines.size() < 4)
        BadAnswer();
    std::optional<int> status = ParseInt32(lines[1]);
    if (!status || !ParseInt32(lines[2]) || !ParseInt32(lines[3]))
        BadAnswer();
    return *status;
}

} // namespace

TUploadThread::TUploadThread(THTTPConnection& connection, const TServiceParameters& parameters,
                             int& memberStatus, TRunOnMainThread runOnMainThread, std::string login,
                             std::string password, std::string fileName, TLogoNode* node)
    : Login(std::move(login)), Password(std::move(password)), FileName(std::move(fileName)), Node(node),
      connection_(connection), uploadHost_(parameters.GetParameter("uploadhost")),
      uploadScript_(parameters.GetParameter("uploadscript")),
      memStatScript_(parameters.GetParameter("memstatscript")), memberStatus_(memberStatus),
      runOnMainThread_(std::move(runOnMainThread))
{
}

void TUploadThread::Cancel()
{
    CancelRequested = true;
    connection_.Disconnect();
}

void TUploadThread::Execute()
{
    bool networkFailure = false;
    bool failed = false;
    long status = 0;
    try {
        Run();
    } catch (const THTTPError& e) {
        failed = networkFailure = true;
        status = ServiceFailureStatus(e.Status());
    } catch (const std::exception&) {
        failed = true;
    }
    runOnMainThread_([this] { ResetConnection(connection_); });
    if (failed) {
        Result = networkFailure && CancelRequested ? TWorkerResult::Cancelled : TWorkerResult::ConnectionFailed;
        if (Result == TWorkerResult::ConnectionFailed)
            HTTPStatus = status;
    }
}

std::vector<std::string> TUploadThread::Request(const std::string& url, const TFormData& form)
{
    std::vector<std::string> lines = SplitAnswerLines(connection_.Post(url, form));
    if (lines.size() < 2)
        BadAnswer();
    AnswerText = lines[1];
    return lines;
}

// Sets the result for line 1; true when the answer is a success.
bool TUploadThread::TakeKeyword(const std::string& line)
{
    switch (ClassifyKeyword(line)) {
    case TAnswerKeyword::Success:
        Result = TWorkerResult::Success;
        return true;
    case TAnswerKeyword::Message:
        Result = TWorkerResult::ServiceMessage;
        return false;
    case TAnswerKeyword::Error:
        Result = TWorkerResult::ServiceError;
        return false;
    case TAnswerKeyword::Unknown:
        break;
    }
    // Taking an unknown line 2 for the picture's URL would report a failure as success.
    Result = TWorkerResult::ServiceError;
    AnswerText = kMsgUnrecognisedAnswer;
    return false;
}

void TUploadThread::Run()
{
    const std::string memberStatusUrl = ServiceURL(uploadHost_, memStatScript_);
    const std::string uploadUrl = ServiceURL(uploadHost_, uploadScript_);
    // Stands for the member status answer when none is asked for.
    std::vector<std::string> lines{kKeywordSuccess};

    TFormData form;
    form.AddField("login", Login);
    form.AddField("password", Password);
    if (memberStatus_ == -1) {
        form.AddField("fakefield", kFakeFieldValue);
        lines = Request(memberStatusUrl, form);
    }
    if (!TakeKeyword(lines[0]))
        return;
    if (memberStatus_ == -1)
        memberStatus_ = ReadMemberStatus(lines);

    lines.clear();
    form.AddFile("logofile", FileName, kLogoFileContentType);
    lines = Request(uploadUrl, form);
    bool known = ClassifyKeyword(lines[0]) != TAnswerKeyword::Unknown;
    TakeKeyword(lines[0]);
    if (known)
        WithdrawnURLs.assign(lines.begin() + 2, lines.end());
}

} // namespace quillon
