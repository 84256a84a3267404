#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace quillon::server {

struct TMoveSummary {
    int accounts = 0;  // the guest's included
    int pictures = 0;
    std::string target;  // the database, without a password
};

// Copies a data folder's accounts (password hashes as they are), confirmation tokens,
// pictures with their bytes, failed logins and mails sent into the PostgreSQL database
// of url, whose schema is brought up to date first. The folder is only read; the service
// should not be running on it. Everything goes in one transaction that is checked
// against the folder before it commits, so a move that fails leaves the database as it
// was and can be run again. A picture whose file is missing is left out and named to
// skipped, as opening the folder would drop it.
//
// Throws std::runtime_error with one line for the user when the folder holds no database
// or one of another schema version, when the database already holds accounts or
// pictures, or when the copy fails or differs from the folder.
TMoveSummary MoveToPostgres(const std::filesystem::path& dataDir, const std::string& url,
                            const std::function<void(const std::string&)>& skipped);

} // namespace quillon::server
