#include "imaging/ui/pictureshowworker.h"

#include <atomic>
#include <exception>
#include <system_error>
#include <utility>

namespace quillon {

struct TPictureShowWorker::TJob {
    std::atomic<bool> cancel{false};
    std::string path;
    TShowSettings settings;
    TResult result; // written by the thread, read after it has been joined

    void Run()
    {
        try {
            result.image = ShowPicture(path, *result.record, settings, result.logo, &result.cache, &cancel);
        } catch (const std::exception& e) {
            result.image.reset();
            result.error = e.what();
        }
    }
};

TPictureShowWorker::TPictureShowWorker(QObject* parent) : QObject(parent) {}

TPictureShowWorker::~TPictureShowWorker() { Cancel(); }

void TPictureShowWorker::Start(const std::string& path, const TLogoDirObject& record, const TShowSettings& settings)
{
    Cancel();
    auto job = std::make_shared<TJob>();
    job->path = path;
    job->settings = settings;
    job->result.record = std::make_unique<TLogoDirObject>(record);
    job_ = job;
    auto work = [this, job] {
        job->Run();
        // Queued to the window's thread; dropped there if the job is no longer the one
        // wanted, and with this object if it is gone (it joins this thread first).
        QMetaObject::invokeMethod(this, [this, job] { Deliver(job); }, Qt::QueuedConnection);
    };
    try {
        thread_ = std::thread(work);
    } catch (const std::system_error&) {
        work(); // no thread to be had: the window waits, as for a small picture
    }
}

void TPictureShowWorker::Cancel()
{
    if (job_)
        job_->cancel.store(true, std::memory_order_relaxed);
    if (thread_.joinable())
        thread_.join();
    job_.reset();
}

TPictureShowWorker::TResult TPictureShowWorker::Take()
{
    if (thread_.joinable())
        thread_.join();
    TResult result = std::move(job_->result);
    job_.reset();
    return result;
}

std::optional<TPictureShowWorker::TResult> TPictureShowWorker::Wait()
{
    if (!job_)
        return std::nullopt;
    return Take();
}

void TPictureShowWorker::Deliver(const std::shared_ptr<TJob>& job)
{
    if (job != job_)
        return;
    TResult result = Take();
    if (Finished)
        Finished(std::move(result));
}

} // namespace quillon
