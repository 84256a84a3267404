// quillon-service: the reference web service of Quillon.
#include "core/config.h"
#include "core/credentials.h"
#include "core/migrate.h"
#include "core/service.h"
#include "core/store.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <thread>

using namespace quillon::server;

namespace {

std::mutex g_logMutex;

void Log(const std::string& line)
{
    std::lock_guard lock(g_logMutex);
    std::cout << "quillon-service: " << line << std::endl;
}

int AddUser(const TServiceConfig& config)
{
    const auto& [login, password] = *config.addUser;
    if (!IsValidLogin(login)) {
        std::cerr << "quillon-service: a login is up to 32 letters, digits, '.', '_' and '-'\n";
        return 2;
    }
    if (!IsValidPassword(password)) {
        std::cerr << "quillon-service: a password is 4 to 64 characters without spaces and without & # % + =\n";
        return 2;
    }
    std::unique_ptr<TStore> store = OpenStore(config);
    if (!store->AddAccount(login, HashPassword(password), "", true)) {
        std::cerr << "quillon-service: the login " << login << " is taken\n";
        return 1;
    }
    Log("added the account " + login);
    return 0;
}

std::string Counted(int n, const std::string& thing)
{
    return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

int MigrateTo(const TServiceConfig& config)
{
    TMoveSummary moved = MoveToPostgres(config.dataDir, config.migrateTo, [](const std::string& line) {
        std::cerr << "quillon-service: " << line << "\n";
    });
    Log("Moved " + Counted(moved.accounts, "account") + " and " + Counted(moved.pictures, "picture") + " to " +
        moved.target + "; every picture verified.");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TServiceConfig config;
    try {
        config = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::cerr << "quillon-service: " << e.what() << "\n\n" << UsageText();
        return 2;
    }
    if (config.help) {
        std::cout << UsageText();
        return 0;
    }

    // Every thread inherits the blocked signals; one thread waits for them and stops
    // the server, which lets the requests in progress finish.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        InitCredentials();
        if (config.addUser)
            return AddUser(config);
        if (!config.migrateTo.empty())
            return MigrateTo(config);
        TService service(config, Log);
        int port = service.Bind();
        Log("listening on " + config.listenAddress + " port " + std::to_string(port) + ", public URL " +
            service.PublicUrl() + "/, data in " + service.Store().Location());
        std::thread waiter([&] {
            int sig = 0;
            sigwait(&stopSignals, &sig);
            Log(std::string("stopping on ") + (sig == SIGTERM ? "SIGTERM" : sig == SIGINT ? "SIGINT" : "SIGHUP"));
            service.Stop();
        });
        service.Run();
        // Run also ends when listening fails; wake the waiter so it can be joined.
        pthread_kill(waiter.native_handle(), SIGTERM);
        waiter.join();
        Log("stopped");
    } catch (const std::exception& e) {
        std::cerr << "quillon-service: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
