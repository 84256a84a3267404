#pragma once

// An HTTP server on 127.0.0.1 (a free port) for network tests: it answers each path
// with a canned answer and records every request it receives, multipart parts in the
// order they arrived.
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillon::test {

struct TRecordedPart {
    std::string name;
    std::string filename;
    std::string contentType;
    std::string content;
};

struct TRecordedRequest {
    std::string method;
    std::string path;
    std::string version;
    std::string body;
    httplib::Headers headers;
    httplib::Params params;
    std::vector<TRecordedPart> parts;
    int remotePort = 0;  // tells the client's connections apart

    std::string Header(const std::string& key) const
    {
        auto it = headers.find(key);
        return it == headers.end() ? std::string() : it->second;
    }
    bool HasHeader(const std::string& key) const { return headers.find(key) != headers.end(); }
    std::vector<std::string> PartNames() const
    {
        std::vector<std::string> names;
        for (const auto& p : parts)
            names.push_back(p.name);
        return names;
    }
};

struct TCannedAnswer {
    int status = 200;
    std::string body;
    httplib::Headers headers;
    bool stall = false;  // hold the answer back until the server is released or stopped
};

class TRecordingServer {
public:
    TRecordingServer()
    {
        server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req, {}, req.body);
            Respond(req.path, res);
        });
        server_.Post(".*", [this](const httplib::Request& req, httplib::Response& res,
                                  const httplib::ContentReader& reader) {
            std::vector<TRecordedPart> parts;
            std::string body;
            if (req.is_multipart_form_data()) {
                reader(
                    [&](const httplib::MultipartFormData& f) {
                        parts.push_back({f.name, f.filename, f.content_type, ""});
                        return true;
                    },
                    [&](const char* data, size_t n) {
                        parts.back().content.append(data, n);
                        return true;
                    });
            } else {
                reader([&](const char* data, size_t n) {
                    body.append(data, n);
                    return true;
                });
            }
            Record(req, std::move(parts), body);
            Respond(req.path, res);
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0)
            throw std::runtime_error("test server cannot bind");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~TRecordingServer()
    {
        Release();
        server_.stop();
        thread_.join();
    }

    TRecordingServer(const TRecordingServer&) = delete;
    TRecordingServer& operator=(const TRecordingServer&) = delete;

    int Port() const { return port_; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string URL(const std::string& path) const { return "http://" + Host() + path; }

    void Answer(const std::string& path, TCannedAnswer answer)
    {
        std::lock_guard lock(mutex_);
        answers_[path] = std::move(answer);
    }
    void Answer(const std::string& path, const std::string& body, int status = 200)
    {
        Answer(path, TCannedAnswer{status, body, {}, false});
    }

    std::vector<TRecordedRequest> Requests() const
    {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    // Waits until a stalled answer has a request waiting on it.
    bool WaitForStall(std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return stalled_ > 0; });
    }

    void Release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    void Record(const httplib::Request& req, std::vector<TRecordedPart> parts, const std::string& body)
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(
            {req.method, req.path, req.version, body, req.headers, req.params, std::move(parts), req.remote_port});
    }

    void Respond(const std::string& path, httplib::Response& res)
    {
        std::unique_lock lock(mutex_);
        auto it = answers_.find(path);
        if (it == answers_.end()) {
            res.status = 404;
            return;
        }
        TCannedAnswer answer = it->second;
        if (answer.stall) {
            ++stalled_;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
        }
        res.status = answer.status;
        for (const auto& [k, v] : answer.headers)
            res.set_header(k.c_str(), v);
        res.set_content(answer.body, "text/plain");
    }

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, TCannedAnswer> answers_;
    std::vector<TRecordedRequest> requests_;
    int stalled_ = 0;
    bool released_ = false;
};

} // namespace quillon::test
