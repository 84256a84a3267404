#include "config.h"

#include "forwarded.h"

#include "common/version.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fstream>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdexcept>

namespace quillon::server {

namespace {

int ParseNumber(const std::string& option, const std::string& text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < low || v > high)
        throw std::invalid_argument(option + " takes a number from " + std::to_string(low) + " to " +
                                    std::to_string(high) + ", not '" + text + "'");
    return static_cast<int>(v);
}

} // namespace

std::string UsageText()
{
    return "Usage: quillon-service [options]\n"
           "       quillon-service [--data DIR | --db URL] --add-user LOGIN PASSWORD\n"
           "       quillon-service [--data DIR] --migrate-to postgresql://...\n"
           "\n"
           "The reference web service of Quillon: stores uploaded logos, serves them to phones,\n"
           "mails the application link and names the current version.\n"
           "\n"
           "Options:\n"
           "  --data DIR            data folder (default: $XDG_DATA_HOME/quillon-service,\n"
           "                        else ~/.local/share/quillon-service)\n"
           "  --db URL              keep accounts and pictures in a PostgreSQL database instead of\n"
           "                        the data folder (which then holds only the outbox), e.g.\n"
           "                        postgresql://quillon@db.example.org/quillon; a password is best\n"
           "                        given in PGPASSWORD or ~/.pgpass rather than in the URL\n"
           "  --db-file FILE        the same, the URL read from the first line of FILE (a file only\n"
           "                        the service can read, e.g. a systemd credential)\n"
           "  --port N              port to listen on (default 8080; 0 picks a free port)\n"
           "  --listen ADDRESS      address to listen on (default 0.0.0.0, every interface)\n"
           "  --public-url URL      start of the URLs handed out (default http://<this machine's\n"
           "                        network address>:<port>, so a phone on the same network opens them)\n"
           "  --cert FILE --key FILE  serve HTTPS with this certificate and private key (PEM)\n"
           "  --smtp URL            mail relay, e.g. smtp://mail.example.org:587; without it mails\n"
           "                        are written to the outbox folder of the data folder\n"
           "  --smtp-user NAME      relay login; the password is taken from QUILLON_SMTP_PASSWORD\n"
           "  --mail-from ADDRESS   sender of the mails (default quillon-service@localhost)\n"
           "  --keep N              pictures kept per account; older ones are withdrawn (default 20)\n"
           "  --keep-guest N        pictures kept for the guest account (default 100)\n"
           "  --max-upload BYTES    largest request body accepted (default 1048576)\n"
           "  --current-version V   version text of /curversion.php (default: Quillon's own)\n"
           "  --setup-file FILE     file offered at /download.php\n"
           "  --trust-proxy ADDRESS take the client's address from the last X-Forwarded-For hop\n"
           "                        on connections from this reverse proxy (e.g. 127.0.0.1)\n"
           "  --connections-per-address N  open connections one address may hold (default 32;\n"
           "                        the trusted proxy has no limit)\n"
           "  --quiet               do not log each request\n"
           "  --add-user LOGIN PASSWORD  add a confirmed account and exit\n"
           "  --migrate-to URL      copy everything of the data folder into the PostgreSQL database\n"
           "                        of URL (one without accounts or pictures of its own), check\n"
           "                        the copy and exit; the folder is only read\n"
           "  --help                show this text\n";
}

std::filesystem::path DefaultDataDir()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg)
        return std::filesystem::path(xdg) / "quillon-service";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local/share/quillon-service";
}

std::string MachineAddress()
{
    std::string found = "127.0.0.1";
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return found;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP) ||
            (a->ifa_flags & IFF_LOOPBACK))
            continue;
        char text[INET_ADDRSTRLEN];
        if (inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text)) {
            found = text;
            break;
        }
    }
    freeifaddrs(list);
    return found;
}

TServiceConfig ParseCommandLine(const std::vector<std::string>& args)
{
    TServiceConfig c;
    c.dataDir = DefaultDataDir();
    c.currentVersion = kAppVersion;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            c.help = true;
        } else if (a == "--data") {
            c.dataDir = value();
        } else if (a == "--db") {
            c.db = value();
        } else if (a == "--db-file") {
            const std::string& file = value();
            std::ifstream in(file);
            std::string url;
            if (!in || !std::getline(in, url))
                throw std::invalid_argument("Cannot read the database URL from " + file);
            while (!url.empty() && (url.back() == '\r' || url.back() == ' ' || url.back() == '\t'))
                url.pop_back();
            if (url.empty())
                throw std::invalid_argument("The first line of " + file + " holds no database URL");
            c.db = url;
        } else if (a == "--port") {
            c.port = ParseNumber(a, value(), 0, 65535);
        } else if (a == "--listen") {
            c.listenAddress = value();
        } else if (a == "--public-url") {
            c.publicUrl = value();
            while (!c.publicUrl.empty() && c.publicUrl.back() == '/')
                c.publicUrl.pop_back();
            if (c.publicUrl.rfind("http://", 0) != 0 && c.publicUrl.rfind("https://", 0) != 0)
                throw std::invalid_argument("--public-url must begin with http:// or https://");
        } else if (a == "--cert") {
            c.certFile = value();
        } else if (a == "--key") {
            c.keyFile = value();
        } else if (a == "--smtp") {
            c.smtpUrl = value();
        } else if (a == "--smtp-user") {
            c.smtpUser = value();
        } else if (a == "--mail-from") {
            c.mailFrom = value();
        } else if (a == "--keep") {
            c.keepPerAccount = ParseNumber(a, value(), 1, 100000);
        } else if (a == "--keep-guest") {
            c.keepGuest = ParseNumber(a, value(), 1, 100000);
        } else if (a == "--max-upload") {
            c.http.maxBodyBytes = static_cast<std::size_t>(ParseNumber(a, value(), 1024, 1 << 30));
        } else if (a == "--current-version") {
            c.currentVersion = value();
        } else if (a == "--quiet") {
            c.accessLog = false;
        } else if (a == "--trust-proxy") {
            c.trustedProxy = value();
            if (!IsIpAddress(c.trustedProxy))
                throw std::invalid_argument("--trust-proxy takes an IP address, not '" + c.trustedProxy + "'");
        } else if (a == "--connections-per-address") {
            c.http.maxConnectionsPerAddress = static_cast<std::size_t>(ParseNumber(a, value(), 1, 1000000));
        } else if (a == "--setup-file") {
            c.setupFile = value();
        } else if (a == "--add-user") {
            std::string login = value();
            c.addUser = std::make_pair(login, value());
        } else if (a == "--migrate-to") {
            c.migrateTo = value();
            if (c.migrateTo.rfind("postgresql://", 0) != 0 && c.migrateTo.rfind("postgres://", 0) != 0)
                throw std::invalid_argument("--migrate-to takes a URL that begins with postgresql:// or postgres://");
        } else {
            throw std::invalid_argument("Unknown option " + a);
        }
    }
    if (!c.migrateTo.empty() && !c.db.empty())
        throw std::invalid_argument("--migrate-to moves a data folder (--data), not a --db database");
    if (c.certFile.empty() != c.keyFile.empty())
        throw std::invalid_argument("--cert and --key go together");
    if (const char* pw = std::getenv("QUILLON_SMTP_PASSWORD"))
        c.smtpPassword = pw;
    return c;
}

} // namespace quillon::server
