#pragma once

#include "datafiles/parameters.h"
#include "service/httpconnection.h"
#include "service/worker.h"

#include <string>

namespace quillon {

// Posts the application link request to the send-mail script. Every failure ends as a
// service error with a text of its own, so the completion only needs result and text.
class TSendToFriendThread {
public:
    TSendToFriendThread(THTTPConnection& connection, const TServiceParameters& parameters,
                        TRunOnMainThread runOnMainThread, std::string login, std::string password,
                        std::string address, std::string comments, std::string senderName);

    void Execute();

    const std::string Login;
    const std::string Password;
    const std::string Address;
    const std::string Comments;  // lines joined with CR LF
    TWorkerResult Result = TWorkerResult::Success;
    std::string AnswerText;
    const std::string SenderName;

private:
    void Run();

    THTTPConnection& connection_;
    const std::string url_;
    TRunOnMainThread runOnMainThread_;
};

} // namespace quillon
