#pragma once

#include "httplimits.h"
#include "mailqueuetimes.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon::server {

struct TServiceConfig {
    // The SQLite store and the mail outbox; beside a PostgreSQL store only the outbox.
    std::filesystem::path dataDir;
    // A postgresql:// (or postgres://) URL: the store is that database. Empty: the data
    // folder holds it.
    std::string db;
    std::string listenAddress = "0.0.0.0";
    int port = 8080;
    std::string publicUrl;  // empty: http(s)://<this machine's network address>:<port>
    std::string certFile;
    std::string keyFile;
    std::string smtpUrl;
    std::string smtpUser;
    std::string smtpPassword;  // from the environment, never from the command line
    std::string mailFrom = "quillon-service@localhost";
    TMailQueueTimes mailQueue;
    int keepPerAccount = 20;
    int keepGuest = 100;
    std::string currentVersion;  // default: the desktop program's own version
    bool accessLog = true;
    std::string setupFile;
    std::string trustedProxy;  // empty: X-Forwarded-For is never believed
    // Connections, headers and bodies: --max-upload and --connections-per-address set two.
    THttpLimits http;
    std::optional<std::pair<std::string, std::string>> addUser;  // login, password
    // A postgresql:// URL: copy the data folder into that database and exit.
    std::string migrateTo;
    bool help = false;
    // Seconds since the epoch; empty: the system clock. Tests move time on with it.
    std::function<std::int64_t()> clock;
};

// Throws std::invalid_argument with a message for the user on a bad command line.
TServiceConfig ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

// The data folder when none is given: $XDG_DATA_HOME/quillon-service, else
// ~/.local/share/quillon-service.
std::filesystem::path DefaultDataDir();

// The first IPv4 address of an interface that is up and not loopback, else 127.0.0.1.
std::string MachineAddress();

} // namespace quillon::server
