#pragma once

#include "imaging/bitmap.h"
#include "imaging/picturecache.h"
#include "imaging/pictureshow.h"
#include "imaging/sourceimage.h"
#include "logodir/logodirobject.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace quillon {

// The full decode of a large picture, its display picture and its logo, made on a thread
// of its own while the window shows the quick picture and stays alive. One show at a
// time: starting another, or Cancel, stops the one under way and its result never comes.
// The thread works on a copy of the logo's record, never on the tree's.
class TPictureShowWorker : public QObject {
    Q_OBJECT
public:
    struct TResult {
        std::unique_ptr<TLogoDirObject> record; // the copy the picture was shown for
        std::unique_ptr<TSourceImage> image;    // bound to `record`; none when it failed
        TBitmap logo;                           // the logo view's picture
        TPictureCache cache;                    // the decoded picture, for the next show
        std::string error;                      // the decoder's words when it failed
    };

    explicit TPictureShowWorker(QObject* parent = nullptr);
    ~TPictureShowWorker() override;

    // Starts showing the picture file as `record` asks (the frame already placed).
    void Start(const std::string& path, const TLogoDirObject& record, const TShowSettings& settings);
    void Cancel();
    bool Busy() const { return static_cast<bool>(job_); }
    // Waits for the show under way and hands its result over here instead of through
    // Finished (a command that needs the picture now); none when nothing is under way.
    std::optional<TResult> Wait();

    // On the window's thread, for the show last started, unless it was taken by Wait.
    std::function<void(TResult)> Finished;

private:
    struct TJob;
    void Deliver(const std::shared_ptr<TJob>& job);
    TResult Take();

    std::shared_ptr<TJob> job_;
    std::thread thread_;
};

} // namespace quillon
