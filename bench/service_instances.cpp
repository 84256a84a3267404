// The service on PostgreSQL beside the service on its SQLite data folder, and one instance
// against two behind nginx, all on 127.0.0.1 and started here (PostgreSQL too, in a
// temporary folder, as the user postgres when run as root):
// - BM_PhoneUrlThroughNginx: wrk on the phone URL through nginx to one instance and to two
//   (on one database), beside nginx serving the same file itself; rounds take turns.
//   Counters: static_rps, one_rps, two_rps, one_x_static, two_x_one (medians of the rounds'
//   ratios), errors.
// - BM_PhoneUrlPgVsSqlite and BM_UploadPgVsSqlite: wrk straight at an instance on
//   PostgreSQL and at one on SQLite by turns. Counters: sqlite_rps, pg_rps, pg_x_sqlite,
//   errors.
// Where it should get to: the phone URL on PostgreSQL at least 0.8 x SQLite's (the
// pictures served from memory), two instances at least as fast as one.
// Needs wrk, nginx and postgresql-15: bench/setup.sh and scripts/install-deps.sh --tests.
#define QUILLON_PG_WITHOUT_GTEST
#include "pgcluster.h"

#include "peer_support.h"
#include "service_support.h"
#include "wrk_support.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillon::bench;

constexpr int kRounds = 5;
constexpr int kRoundSeconds = 3;
constexpr int kConnections = 64;

// Every server of the comparison, up for the whole program.
class TInstances {
public:
    std::string error;
    int sqlitePort = 0, pgPort = 0, pgPort2 = 0;
    int staticPort = 0, oneInstancePort = 0, twoInstancesPort = 0;
    std::string sqlitePath, pgPath;  // phone URL paths of the logo
    std::string uploadScript;

    TInstances()
    {
        try {
            RaiseFileLimit();
            db_ = std::make_unique<quillon::server::test::TPgDatabase>();
            std::string tmpl = (fs::temp_directory_path() / "quillon-bench-XXXXXX").string();
            if (!mkdtemp(tmpl.data()))
                throw std::runtime_error("no temporary folder");
            dir_ = tmpl;
            fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
            sqlitePort = Start("sqlite", {"--data", (dir_ / "sqlite").string()});
            pgPort = Start("pg1", {"--db", db_->Url(), "--data", (dir_ / "pg1").string()});
            pgPort2 = Start("pg2", {"--db", db_->Url(), "--data", (dir_ / "pg2").string()});
            sqlitePath = Upload(sqlitePort);
            pgPath = Upload(pgPort);
            StartNginx();
            const fs::path body = dir_ / "upload.body";
            std::ofstream(body, std::ios::binary) << UploadBody(Logo());
            uploadScript = (dir_ / "upload.lua").string();
            std::ofstream(uploadScript) << "local f = io.open(\"" << body.string() << "\", \"rb\")\n"
                                        << "wrk.body = f:read(\"*a\")\nf:close()\nwrk.method = \"POST\"\n"
                                        << "wrk.headers[\"Content-Type\"] = \"multipart/form-data; boundary="
                                        << kUploadBoundary << "\"\n";
        } catch (const std::exception& e) {
            error = e.what();
        }
    }
    ~TInstances()
    {
        for (pid_t pid : pids_)
            Stop(pid);
        db_.reset();
        quillon::server::test::TPgCluster::StopIfStarted();
        std::error_code ec;
        if (!dir_.empty())
            fs::remove_all(dir_, ec);
    }

private:
    int Start(const std::string& name, std::vector<std::string> store)
    {
        const int port = FreePort();
        std::vector<std::string> args = {QUILLON_SERVICE_EXE};
        args.insert(args.end(), store.begin(), store.end());
        args.insert(args.end(), {"--listen", "127.0.0.1", "--port", std::to_string(port), "--quiet", "--keep-guest",
                                 "100000", "--connections-per-address", "4096"});
        const int log = open((dir_ / (name + ".log")).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pids_.push_back(Spawn(args, log));
        close(log);
        if (!WaitForPort(port))
            throw std::runtime_error("the service on " + name + " did not start");
        return port;
    }

    static std::string Upload(int port)
    {
        std::string answer;
        TConnection c(port);
        if (c.Exchange(UploadRequest(Logo()), &answer) != 200 || answer.rfind("SUCCESS", 0) != 0)
            throw std::runtime_error("the upload was not answered with success: " + answer);
        const size_t at = answer.find("/guest/?id=");
        return answer.substr(at, answer.find_first_of("\r\n", at) - at);
    }

    void StartNginx()
    {
        const fs::path www = dir_ / "www";
        fs::create_directories(www);
        fs::permissions(www, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                 fs::perms::group_read | fs::perms::others_read);
        std::ofstream(www / "logo.jpg", std::ios::binary) << Logo();
        fs::permissions(www / "logo.jpg", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                              fs::perms::others_read);
        staticPort = FreePort();
        oneInstancePort = FreePort();
        twoInstancesPort = FreePort();
        const std::string d = dir_.string();
        auto proxy = [](int port, const std::string& upstream) {
            return " server { listen 127.0.0.1:" + std::to_string(port) +
                   "; location / { proxy_pass http://" + upstream +
                   "; proxy_http_version 1.1; proxy_set_header Connection \"\"; } }\n";
        };
        std::ofstream(dir_ / "nginx.conf")
            << "daemon off;\nworker_processes auto;\nworker_rlimit_nofile 8192;\npid " << d
            << "/nginx.pid;\nerror_log " << d << "/error.log;\nevents { worker_connections 4096; }\nhttp {\n"
            << " access_log off;\n client_body_temp_path " << d << "/body;\n proxy_temp_path " << d << "/proxy;\n"
            << " fastcgi_temp_path " << d << "/fastcgi;\n uwsgi_temp_path " << d << "/uwsgi;\n scgi_temp_path " << d
            << "/scgi;\n keepalive_requests 100000;\n types { image/jpeg jpg; }\n"
            << " upstream one { server 127.0.0.1:" << pgPort << "; keepalive 64; }\n"
            << " upstream two { server 127.0.0.1:" << pgPort << "; server 127.0.0.1:" << pgPort2
            << "; keepalive 64; }\n"
            << " server { listen 127.0.0.1:" << staticPort << "; root " << www.string() << "; }\n"
            << proxy(oneInstancePort, "one") << proxy(twoInstancesPort, "two") << "}\n";
        const int log = open((dir_ / "nginx.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pids_.push_back(Spawn({fs::exists("/usr/sbin/nginx") ? "/usr/sbin/nginx" : "nginx", "-e", d + "/error.log",
                               "-p", d, "-c", d + "/nginx.conf"},
                              log));
        close(log);
        for (int port : {staticPort, oneInstancePort, twoInstancesPort})
            if (!WaitForPort(port))
                throw std::runtime_error("nginx did not start: run bench/setup.sh");
    }

    fs::path dir_;
    std::unique_ptr<quillon::server::test::TPgDatabase> db_;
    std::vector<pid_t> pids_;
};

TInstances& Instances()
{
    static TInstances instances;
    return instances;
}

bool Ready(benchmark::State& state)
{
    if (!Instances().error.empty()) {
        state.SkipWithError(Instances().error.c_str());
        return false;
    }
    return true;
}

// wrk rounds taking turns over the targets; the medians of each target's rates and of
// each named ratio's per-round values.
struct TTurns {
    std::map<std::string, std::vector<double>> rps;
    long errors = 0;

    void Round(const std::vector<std::pair<std::string, std::string>>& targets, const std::string& script = "")
    {
        for (const auto& [name, url] : targets) {
            const TWrk w = RunWrk(kConnections, kRoundSeconds, url, script);
            rps[name].push_back(w.rps);
            errors += w.Errors();
        }
    }
    double RateOf(const std::string& name) { return Median(rps[name]); }
    double Ratio(const std::string& a, const std::string& b)
    {
        std::vector<double> ratios;
        for (size_t i = 0; i < rps[a].size() && i < rps[b].size(); ++i)
            if (rps[b][i] > 0)
                ratios.push_back(rps[a][i] / rps[b][i]);
        return Median(ratios);
    }
};

void BM_PhoneUrlThroughNginx(benchmark::State& state)
{
    if (!Ready(state))
        return;
    TInstances& in = Instances();
    TTurns turns;
    for (auto _ : state)
        turns.Round({{"static", Url(in.staticPort, "/logo.jpg")},
                     {"one", Url(in.oneInstancePort, in.pgPath)},
                     {"two", Url(in.twoInstancesPort, in.pgPath)}});
    state.counters["static_rps"] = turns.RateOf("static");
    state.counters["one_rps"] = turns.RateOf("one");
    state.counters["two_rps"] = turns.RateOf("two");
    state.counters["one_x_static"] = turns.Ratio("one", "static");
    state.counters["two_x_one"] = turns.Ratio("two", "one");
    state.counters["errors"] = static_cast<double>(turns.errors);
}
BENCHMARK(BM_PhoneUrlThroughNginx)->Iterations(kRounds)->Unit(benchmark::kSecond);

void PgVsSqlite(benchmark::State& state, bool upload)
{
    if (!Ready(state))
        return;
    TInstances& in = Instances();
    TTurns turns;
    for (auto _ : state) {
        if (upload)
            turns.Round({{"sqlite", Url(in.sqlitePort, "/upload.php")}, {"pg", Url(in.pgPort, "/upload.php")}},
                        in.uploadScript);
        else
            turns.Round({{"sqlite", Url(in.sqlitePort, in.sqlitePath)}, {"pg", Url(in.pgPort, in.pgPath)}});
    }
    state.counters["sqlite_rps"] = turns.RateOf("sqlite");
    state.counters["pg_rps"] = turns.RateOf("pg");
    state.counters["pg_x_sqlite"] = turns.Ratio("pg", "sqlite");
    state.counters["errors"] = static_cast<double>(turns.errors);
}

void BM_PhoneUrlPgVsSqlite(benchmark::State& state)
{
    PgVsSqlite(state, false);
}
BENCHMARK(BM_PhoneUrlPgVsSqlite)->Iterations(kRounds)->Unit(benchmark::kSecond);

void BM_UploadPgVsSqlite(benchmark::State& state)
{
    PgVsSqlite(state, true);
}
BENCHMARK(BM_UploadPgVsSqlite)->Iterations(kRounds)->Unit(benchmark::kSecond);

} // namespace
