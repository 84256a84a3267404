#include "imaging/pictureshow.h"

#include "common/error.h"
#include "imaging/codecs.h"
#include "imaging/picturecache.h"
#include "imaging/picturefiles.h"

#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace quillon {

namespace {

// The rows of the picture being decoded, as the resampling threads wait for them.
class TRowGate {
public:
    void Done(int rows)
    {
        rows_.store(rows, std::memory_order_release);
        rows_.notify_all();
    }
    void Abandon()
    {
        abandoned_.store(true, std::memory_order_release);
        rows_.store(INT32_MAX, std::memory_order_release);
        rows_.notify_all();
    }
    // Returns once row y is final; throws when the decode was abandoned.
    void WaitFor(int32_t y) const
    {
        for (int rows = rows_.load(std::memory_order_acquire); rows <= y; rows = rows_.load(std::memory_order_acquire))
            rows_.wait(rows, std::memory_order_acquire);
        if (abandoned_.load(std::memory_order_acquire))
            throw QuillonError("the picture's decode was abandoned");
    }

private:
    std::atomic<int> rows_{0};
    std::atomic<bool> abandoned_{false};
};

// Work that runs on a thread of its own and hands its failure back at Join. Without a
// thread to be had, Join does the work itself.
class TSideWork {
public:
    explicit TSideWork(std::function<void()> work) : work_(std::move(work))
    {
        try {
            thread_ = std::thread([this] {
                try {
                    work_();
                } catch (...) {
                    error_ = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            deferred_ = true;
        }
    }
    ~TSideWork()
    {
        if (thread_.joinable())
            thread_.join();
    }
    TSideWork(const TSideWork&) = delete;
    TSideWork& operator=(const TSideWork&) = delete;

    void Join()
    {
        if (thread_.joinable())
            thread_.join();
        if (std::exchange(deferred_, false))
            work_();
        if (error_)
            std::rethrow_exception(std::exchange(error_, nullptr));
    }

private:
    std::function<void()> work_;
    std::thread thread_;
    bool deferred_ = false;
    std::exception_ptr error_;
};

// Once the decoder knows the picture's size, the frame is placed and the display picture
// and the logo start on their own threads, each waiting for the rows it reads next.
class TShowWhileDecoding final : public TDecodeListener {
public:
    TShowWhileDecoding(std::shared_ptr<TBitmap> picture, TLogoDirObject& node, const TShowSettings& settings,
                       TBitmap& logo, const std::atomic<bool>* cancel)
        : picture_(std::move(picture)), node_(node), settings_(settings), logo_(logo), cancel_(cancel)
    {
    }

    void Started(const TBitmap&) override
    {
        try {
            image_ = std::make_unique<TSourceImage>(std::shared_ptr<const TBitmap>(picture_), node_, settings_.pane,
                                                    settings_.fitToPane, settings_.fill);
            image_->PlaceFrameIfMissing();
            options_.waitForRow = &wait_;
            work_.emplace_back(std::make_unique<TSideWork>([this] { image_->BuildDisplayPicture(options_); }));
            work_.emplace_back(std::make_unique<TSideWork>([this] { image_->RenderLogo(logo_, options_); }));
        } catch (...) {
            error_ = std::current_exception();
        }
    }

    void RowsDone(int rows) override { gate_.Done(rows); }
    bool Cancelled() const override { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    // After a decode that failed: stops the threads and forgets their work.
    void Abandon()
    {
        gate_.Abandon();
        for (auto& work : work_)
            try {
                work->Join();
            } catch (...) {
                // The decoder's failure is the one to report.
            }
    }

    // After the decode: the shown picture, once both threads are done.
    std::unique_ptr<TSourceImage> Finish()
    {
        gate_.Done(INT32_MAX);
        for (auto& work : work_)
            work->Join();
        if (error_)
            std::rethrow_exception(error_);
        if (!image_)
            throw QuillonError("the decoder delivered no picture");
        return std::move(image_);
    }

private:
    std::shared_ptr<TBitmap> picture_;
    TLogoDirObject& node_;
    TShowSettings settings_;
    TBitmap& logo_;
    const std::atomic<bool>* cancel_;
    TRowGate gate_;
    std::function<void(int32_t)> wait_ = [this](int32_t y) { gate_.WaitFor(y); };
    TResampleOptions options_;
    std::unique_ptr<TSourceImage> image_;
    std::vector<std::unique_ptr<TSideWork>> work_;
    std::exception_ptr error_;
};

// A picture decoded before: the display picture and the logo in one sweep down it, on two
// cores (read twice, a large picture costs its size in memory traffic once more).
std::unique_ptr<TSourceImage> ShowDecoded(std::shared_ptr<const TBitmap> picture, TLogoDirObject& node,
                                          const TShowSettings& settings, TBitmap& logo)
{
    auto image = std::make_unique<TSourceImage>(std::move(picture), node, settings.pane, settings.fitToPane,
                                                settings.fill);
    image->PlaceFrameIfMissing();
    image->BuildDisplayAndRenderLogo(logo);
    return image;
}

} // namespace

std::unique_ptr<TSourceImage> ShowPicture(const std::string& path, TLogoDirObject& node, const TShowSettings& settings,
                                          TBitmap& logo, TPictureCache* cache, const std::atomic<bool>* cancel)
{
    if (cache)
        if (std::shared_ptr<const TBitmap> kept = cache->Find(path))
            return ShowDecoded(std::move(kept), node, settings, logo);
    // Taken before reading: a file that changes while it is read is decoded again next time.
    const std::optional<TFileStamp> stamp = TFileStamp::Of(path);
    auto picture = std::make_shared<TBitmap>();
    TShowWhileDecoding show(picture, node, settings, logo, cancel);
    try {
        LoadPictureInto(path, *picture, show);
    } catch (...) {
        show.Abandon();
        throw;
    }
    std::unique_ptr<TSourceImage> image = show.Finish();
    if (cache && stamp)
        cache->Keep(path, *stamp, std::move(picture));
    return image;
}

} // namespace quillon
