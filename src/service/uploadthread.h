#pragma once

#include "datafiles/parameters.h"
#include "service/httpconnection.h"
#include "service/worker.h"

#include <atomic>
#include <string>
#include <vector>

namespace quillon {

class TLogoNode;
class TFormData;

// Sends the rendered logo to the upload script, asking the member status script first
// while the member status is still unknown (-1). Execute runs on the worker's thread and
// shows nothing; the caller reads the public fields once it has returned.
class TUploadThread {
public:
    // memberStatus is the caller's run-long value; the worker owns it while it runs.
    TUploadThread(THTTPConnection& connection, const TServiceParameters& parameters, int& memberStatus,
                  TRunOnMainThread runOnMainThread, std::string login, std::string password,
                  std::string fileName, TLogoNode* node);

    void Execute();
    // Main thread: marks the upload as cancelled and breaks the transfer in progress.
    void Cancel();

    const std::string Login;
    const std::string Password;
    const std::string FileName;
    TLogoNode* const Node;  // not touched by the worker; kept for the completion
    TWorkerResult Result = TWorkerResult::Success;
    std::string AnswerText;
    std::vector<std::string> WithdrawnURLs;
    std::atomic<bool> CancelRequested{false};
    // With ConnectionFailed: the failing HTTP status the service answered with, or 0 when
    // no answer came (the connection was never made or broke off).
    long HTTPStatus = 0;

private:
    void Run();
    std::vector<std::string> Request(const std::string& url, const TFormData& form);
    bool TakeKeyword(const std::string& line);

    THTTPConnection& connection_;
    const std::string uploadHost_;
    const std::string uploadScript_;
    const std::string memStatScript_;
    int& memberStatus_;
    TRunOnMainThread runOnMainThread_;
};

} // namespace quillon
