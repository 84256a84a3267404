#pragma once

// A throwaway PostgreSQL 15 server for one test program, started by the first test that
// asks for a database: initdb and pg_ctl of the Debian package, its data in a temporary
// folder, listening on a unix socket in that folder alone, without fsync. It stops (an
// immediate shutdown) and its folder goes when the program's tests are over, failed or
// not, and also when the program dies: a guard process waits for the program's end on a
// pipe. Each test takes a database of its own.
#include <libpq-fe.h>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

// The benchmarks use the cluster too, without GoogleTest.
#ifndef QUILLON_PG_WITHOUT_GTEST
#include <gtest/gtest.h>
#endif
#include <iostream>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillon::server::test {

// A fault found while cleaning up: the test fails, a benchmark says so.
inline void ReportFailure(const std::string& what)
{
#ifndef QUILLON_PG_WITHOUT_GTEST
    ADD_FAILURE() << what;
#else
    std::cerr << what << "\n";
#endif
}

class TPgCluster {
public:
    // Started on the first call; throws std::runtime_error saying what is missing or what
    // the server wrote when it cannot start.
    static TPgCluster& Get()
    {
        std::lock_guard lock(Mutex());
        if (!Instance())
            Instance().reset(new TPgCluster);
        return *Instance();
    }
    static void StopIfStarted()
    {
        std::lock_guard lock(Mutex());
        Instance().reset();
    }

    ~TPgCluster()
    {
        // The guard sees the pipe end, stops the server and removes the folder.
        close(guardPipe_);
        if (WaitFor(guard_, 60) != 0)
            ReportFailure("the test PostgreSQL server in " + dir_.string() + " did not stop in time");
    }
    TPgCluster(const TPgCluster&) = delete;
    TPgCluster& operator=(const TPgCluster&) = delete;

    std::string Url(const std::string& database) const
    {
        return "postgresql:///" + database + "?host=" + dir_.string() + "&user=" + kUser;
    }
    // Runs SQL as the server's superuser; throws std::runtime_error when it fails.
    void Exec(const std::string& database, const std::string& sql) const
    {
        std::unique_ptr<PGconn, decltype(&PQfinish)> c(PQconnectdb(Url(database).c_str()), &PQfinish);
        if (PQstatus(c.get()) != CONNECTION_OK)
            throw std::runtime_error("test PostgreSQL server: " + std::string(PQerrorMessage(c.get())));
        std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(c.get(), sql.c_str()), &PQclear);
        const ExecStatusType s = PQresultStatus(r.get());
        if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK)
            throw std::runtime_error(sql + ": " + PQresultErrorMessage(r.get()));
    }

private:
    static constexpr const char* kUser = "quillon";

    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::unique_ptr<TPgCluster>& Instance()
    {
        static std::unique_ptr<TPgCluster> instance;
        return instance;
    }

    TPgCluster()
    {
        const char* bin = std::getenv("QUILLON_PG_BIN");
        bin_ = bin && *bin ? bin : "/usr/lib/postgresql/15/bin";
        for (const char* tool : {"initdb", "pg_ctl", "postgres"})
            if (access((bin_ / tool).c_str(), X_OK) != 0)
                throw std::runtime_error((bin_ / tool).string() +
                                         " is missing: the PostgreSQL tests need the Debian package postgresql-15 "
                                         "(scripts/install-deps.sh --tests installs it)");
        std::string tmpl = (std::filesystem::temp_directory_path() / "quillon-pg-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("cannot make a folder for the test PostgreSQL server");
        dir_ = tmpl;
        // initdb refuses root: the server runs as the package's own user then.
        if (geteuid() == 0) {
            const passwd* pw = getpwnam("postgres");
            if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
                std::filesystem::remove_all(dir_);
                throw std::runtime_error("the test PostgreSQL server runs as the user postgres, which is missing");
            }
            asUser_ = {"/usr/sbin/runuser", "-u", "postgres", "--"};
        }
        StartGuard();
        const std::string data = (dir_ / "data").string();
        if (Run({(bin_ / "initdb").string(), "-D", data, "-U", kUser, "-A", "trust", "-E", "UTF8", "--locale=C.UTF-8",
                 "--no-sync", "--no-instructions"},
                120) != 0)
            Fail("initdb failed");
        if (Run({(bin_ / "pg_ctl").string(), "-D", data, "-l", (dir_ / "server.log").string(), "-w", "-t", "60", "-o",
                 "-c listen_addresses='' -c unix_socket_directories='" + dir_.string() +
                     "' -c fsync=off -c full_page_writes=off -c synchronous_commit=off -c shared_buffers=32MB",
                 "start"},
                90) != 0)
            Fail("the server did not start");
    }

    // Stops what was started, then throws with the logs.
    [[noreturn]] void Fail(const std::string& what)
    {
        std::string logs;
        for (const char* name : {"tools.log", "server.log"}) {
            std::ifstream in(dir_ / name);
            logs += std::string(std::istreambuf_iterator<char>(in), {});
        }
        close(guardPipe_);
        WaitFor(guard_, 60);
        throw std::runtime_error("test PostgreSQL server: " + what + "\n" + logs);
    }

    // A shell that reads its standard input, the read end of a pipe whose write end only
    // this process holds: the read returns when the process closes it or dies.
    void StartGuard()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        std::vector<std::string> args{"/bin/sh", "-c",
                                      "read -r _; dir=$1; bin=$2; shift 2;"
                                      " [ -f \"$dir/data/postmaster.pid\" ] &&"
                                      " \"$@\" \"$bin/pg_ctl\" -D \"$dir/data\" stop -m immediate -w -t 30;"
                                      " rm -rf \"$dir\"",
                                      "guard", dir_.string(), bin_.string()};
        args.insert(args.end(), asUser_.begin(), asUser_.end());
        guard_ = Spawn(args, fds[0], "/dev/null");
        close(fds[0]);
        guardPipe_ = fds[1];
    }

    // The program's exit status, or -1 when it did not end within the time (it is
    // killed then).
    int Run(std::vector<std::string> args, int seconds)
    {
        args.insert(args.begin(), asUser_.begin(), asUser_.end());
        return WaitFor(Spawn(args, -1, (dir_ / "tools.log").string()), seconds);
    }

    pid_t Spawn(const std::vector<std::string>& args, int input, const std::string& output)
    {
        int in = input >= 0 ? input : open("/dev/null", O_RDONLY | O_CLOEXEC);
        int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string cwd = dir_.string();
        pid_t pid = fork();
        if (pid == 0) {
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
            // The server's user may not enter the test's own folder.
            if (chdir(cwd.c_str()) != 0)
                _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (input < 0)
            close(in);
        close(out);
        if (pid < 0)
            throw std::runtime_error("fork");
        return pid;
    }

    static int WaitFor(pid_t pid, int seconds)
    {
        int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        pollfd p{fd, POLLIN, 0};
        if (fd < 0 || poll(&p, 1, seconds * 1000) != 1)
            kill(pid, SIGKILL);
        if (fd >= 0)
            close(fd);
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

    std::filesystem::path bin_;
    std::filesystem::path dir_;
    std::vector<std::string> asUser_;
    pid_t guard_ = -1;
    int guardPipe_ = -1;
};

#ifndef QUILLON_PG_WITHOUT_GTEST
// Stops the server after the last test, whatever the tests' outcome.
class TPgEnvironment : public ::testing::Environment {
public:
    void TearDown() override { TPgCluster::StopIfStarted(); }
};
inline ::testing::Environment* const kPgEnvironment = ::testing::AddGlobalTestEnvironment(new TPgEnvironment);
#endif

// A database of its own for one test, dropped after it.
class TPgDatabase {
public:
    TPgDatabase() : cluster_(TPgCluster::Get())
    {
        static std::atomic<int> count{0};
        name_ = "test_" + std::to_string(getpid()) + "_" + std::to_string(++count);
        cluster_.Exec("postgres", "CREATE DATABASE " + name_);
    }
    ~TPgDatabase()
    {
        try {
            cluster_.Exec("postgres", "DROP DATABASE " + name_ + " WITH (FORCE)");
        } catch (const std::exception& e) {
            ReportFailure(e.what());
        }
    }
    TPgDatabase(const TPgDatabase&) = delete;
    TPgDatabase& operator=(const TPgDatabase&) = delete;

    std::string Url() const { return cluster_.Url(name_); }
    void Exec(const std::string& sql) const { cluster_.Exec(name_, sql); }

private:
    TPgCluster& cluster_;
    std::string name_;
};

} // namespace quillon::server::test
