#include "acquire/sanescan.h"

#include "common/error.h"
#include "common/libraryoutput.h"
#include "imaging/pictureformat.h"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace quillon {

namespace {

using TFormat = TSaneFrame::TFormat;

int Channels(TFormat format)
{
    return format == TFormat::RGB ? 3 : 1;
}

// Complete lines of a frame: the known line count, or what arrived when it was unknown
// or the device stopped early.
int64_t CompleteLines(const TSaneFrame& f)
{
    int64_t arrived = static_cast<int64_t>(f.data.size()) / f.bytesPerLine;
    return f.lines >= 0 ? std::min<int64_t>(f.lines, arrived) : arrived;
}

uint8_t Sample(const uint8_t* line, int depth, int64_t index)
{
    switch (depth) {
    case 1:
        return (line[index / 8] >> (7 - index % 8)) & 1 ? 0 : 255;
    case 16: {
        uint16_t v;
        std::memcpy(&v, line + 2 * index, 2);
        return static_cast<uint8_t>((v * 255u + 32767u) / 65535u);
    }
    default:
        return line[index];
    }
}

void CheckFrame(const TSaneFrame& f)
{
    if (f.depth != 1 && f.depth != 8 && f.depth != 16)
        throw QuillonError(kMsgSaneUnreadablePage);
    int64_t needed = (static_cast<int64_t>(f.pixelsPerLine) * Channels(f.format) * f.depth + 7) / 8;
    if (f.pixelsPerLine <= 0 || f.bytesPerLine <= 0 || f.bytesPerLine < needed)
        throw QuillonError(kMsgSaneUnreadablePage);
}

SANE_Status Check(SANE_Status status)
{
    if (status != SANE_STATUS_GOOD && status != SANE_STATUS_CANCELLED)
        throw QuillonError(std::string(kMsgSaneScanFailed) + sane_strstatus(status));
    return status;
}

TSaneFrame FrameFor(const SANE_Parameters& p)
{
    TSaneFrame f;
    switch (p.format) {
    case SANE_FRAME_GRAY: f.format = TFormat::Gray; break;
    case SANE_FRAME_RGB: f.format = TFormat::RGB; break;
    case SANE_FRAME_RED: f.format = TFormat::Red; break;
    case SANE_FRAME_GREEN: f.format = TFormat::Green; break;
    case SANE_FRAME_BLUE: f.format = TFormat::Blue; break;
    default: throw QuillonError(kMsgSaneUnreadablePage);
    }
    f.bytesPerLine = p.bytes_per_line;
    f.pixelsPerLine = p.pixels_per_line;
    f.lines = p.lines;
    f.depth = p.depth;
    CheckFrame(f);
    if (f.lines > 0)
        CheckPictureDimensions(f.pixelsPerLine, f.lines);
    return f;
}

} // namespace

std::string TSaneDevice::Label() const
{
    std::string label = vendor;
    if (!model.empty())
        label += (label.empty() ? "" : " ") + model;
    return label.empty() ? name : label + " (" + name + ")";
}

TBitmap SaneFramesToBitmap(const std::vector<TSaneFrame>& frames)
{
    if (frames.empty())
        throw QuillonError(kMsgSaneUnreadablePage);
    for (const TSaneFrame& f : frames)
        CheckFrame(f);
    const TSaneFrame* planes[3] = {nullptr, nullptr, nullptr};
    const TSaneFrame* whole = nullptr;
    for (const TSaneFrame& f : frames) {
        if (f.format == TFormat::Gray || f.format == TFormat::RGB)
            whole = &f;
        else
            planes[static_cast<int>(f.format) - static_cast<int>(TFormat::Red)] = &f;
    }
    if (whole ? frames.size() != 1 : !(planes[0] && planes[1] && planes[2]))
        throw QuillonError(kMsgSaneUnreadablePage);

    int width = (whole ? whole : planes[0])->pixelsPerLine;
    int64_t height = INT64_MAX;
    for (const TSaneFrame& f : frames) {
        if (f.pixelsPerLine != width)
            throw QuillonError(kMsgSaneUnreadablePage);
        height = std::min(height, CompleteLines(f));
    }
    CheckPictureDimensions(width, height);
    TBitmap picture(width, static_cast<int>(height));
    for (int y = 0; y < picture.Height(); ++y) {
        uint8_t* out = picture.Row(y);
        for (int x = 0; x < width; ++x, out += 3) {
            for (int c = 0; c < 3; ++c) {
                const TSaneFrame& f = whole ? *whole : *planes[c];
                const uint8_t* line = f.data.data() + static_cast<size_t>(y) * f.bytesPerLine;
                int64_t index = f.format == TFormat::RGB ? 3 * static_cast<int64_t>(x) + c : x;
                out[c] = Sample(line, f.depth, index);
            }
        }
    }
    return picture;
}

TSaneDeviceList& TSaneDeviceList::Process()
{
    static TSaneDeviceList* list = new TSaneDeviceList; // never destroyed: see the header
    return *list;
}

void TSaneDeviceList::Start()
{
    {
        std::lock_guard lock(mutex_);
        if (started_)
            return;
        started_ = true;
    }
    std::thread([this] {
        // Network backends complain on the terminal when they find nothing to talk to.
        std::optional<TQuietLibraryOutput> quiet(std::in_place);
        std::vector<TSaneDevice> devices;
        SANE_Int version = 0;
        const SANE_Device** list = nullptr;
        if (sane_init(&version, nullptr) == SANE_STATUS_GOOD && sane_get_devices(&list, SANE_FALSE) == SANE_STATUS_GOOD &&
            list) {
            for (; *list; ++list) {
                const SANE_Device* d = *list;
                devices.push_back({d->name ? d->name : "", d->vendor ? d->vendor : "", d->model ? d->model : ""});
            }
        }
        quiet.reset();
        std::lock_guard lock(mutex_);
        devices_ = std::move(devices);
        finished_ = true;
        for (auto& [id, listener] : listeners_)
            listener();
        listeners_.clear();
        done_.notify_all();
    }).detach();
}

bool TSaneDeviceList::Done() const
{
    std::lock_guard lock(mutex_);
    return finished_;
}

bool TSaneDeviceList::Listing() const
{
    std::lock_guard lock(mutex_);
    return started_ && !finished_;
}

std::vector<TSaneDevice> TSaneDeviceList::Devices() const
{
    std::lock_guard lock(mutex_);
    return devices_;
}

void TSaneDeviceList::Wait()
{
    Start();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_; });
}

int TSaneDeviceList::Subscribe(std::function<void()> listener)
{
    std::lock_guard lock(mutex_);
    if (finished_) {
        listener();
        return -1;
    }
    listeners_.emplace_back(++nextId_, std::move(listener));
    return nextId_;
}

void TSaneDeviceList::Unsubscribe(int id)
{
    std::lock_guard lock(mutex_);
    std::erase_if(listeners_, [id](const auto& l) { return l.first == id; });
}

void TSanePageScan::SelectColourMode(void* handle)
{
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(handle, i);
        if (!d)
            return;
        if (!d->name || std::strcmp(d->name, SANE_NAME_SCAN_MODE) != 0 || d->type != SANE_TYPE_STRING ||
            d->constraint_type != SANE_CONSTRAINT_STRING_LIST || !SANE_OPTION_IS_ACTIVE(d->cap) ||
            !SANE_OPTION_IS_SETTABLE(d->cap))
            continue;
        for (const SANE_String_Const* mode = d->constraint.string_list; *mode; ++mode) {
            if (std::strcmp(*mode, SANE_VALUE_SCAN_MODE_COLOR) != 0)
                continue;
            std::vector<char> value(static_cast<size_t>(std::max<SANE_Int>(d->size, 16)), '\0');
            std::strncpy(value.data(), *mode, value.size() - 1);
            SANE_Int info = 0;
            // A device that refuses keeps its own mode: a gray page beats none.
            sane_control_option(handle, i, SANE_ACTION_SET_VALUE, value.data(), &info);
            return;
        }
        return;
    }
}

std::optional<TBitmap> TSanePageScan::Run(const std::function<void(int)>& progress)
{
    // Quiet until the device is closed (declared before the closing guard below).
    TQuietLibraryOutput quiet;
    SANE_Handle handle = nullptr;
    Check(sane_open(deviceName_.c_str(), &handle));
    {
        std::lock_guard lock(mutex_);
        handle_ = handle;
    }
    // Whatever happens, the device is stopped and closed before Run returns.
    struct TClose {
        TSanePageScan& scan;
        SANE_Handle handle;
        ~TClose()
        {
            std::lock_guard lock(scan.mutex_);
            sane_cancel(handle);
            sane_close(handle);
            scan.handle_ = nullptr;
        }
    } close{*this, handle};

    if (cancelled_)
        return std::nullopt;
    SelectColourMode(handle);
    std::vector<TSaneFrame> frames;
    std::vector<uint8_t> buffer(64 * 1024);
    int reported = -1;
    for (;;) {
        if (Check(sane_start(handle)) == SANE_STATUS_CANCELLED || cancelled_)
            return std::nullopt;
        SANE_Parameters p{};
        Check(sane_get_parameters(handle, &p));
        frames.push_back(FrameFor(p));
        TSaneFrame& frame = frames.back();
        const int frameCount = frame.format == TFormat::Gray || frame.format == TFormat::RGB ? 1 : 3;
        const int done = std::min<int>(static_cast<int>(frames.size()) - 1, frameCount - 1);
        const int64_t expected = frame.lines > 0 ? static_cast<int64_t>(frame.lines) * frame.bytesPerLine : 0;
        for (;;) {
            SANE_Int length = 0;
            SANE_Status status = sane_read(handle, buffer.data(), static_cast<SANE_Int>(buffer.size()), &length);
            if (status == SANE_STATUS_EOF)
                break;
            if (Check(status) == SANE_STATUS_CANCELLED || cancelled_)
                return std::nullopt;
            frame.data.insert(frame.data.end(), buffer.begin(), buffer.begin() + length);
            if (frame.lines < 0)
                CheckPictureDimensions(frame.pixelsPerLine, CompleteLines(frame) + 1);
            else if (static_cast<int64_t>(frame.data.size()) > expected)
                frame.data.resize(static_cast<size_t>(expected)); // more than it announced
            if (expected > 0 && progress) {
                int percent = static_cast<int>(
                    (done * 100 + static_cast<int64_t>(frame.data.size()) * 100 / expected) / frameCount);
                if (percent != reported) // a device may hand over a few bytes per read
                    progress(reported = percent);
            }
        }
        if (p.last_frame)
            break;
    }
    if (cancelled_)
        return std::nullopt;
    return SaneFramesToBitmap(frames);
}

void TSanePageScan::Cancel()
{
    cancelled_ = true;
    // SANE lets a scan be cancelled from another thread while it reads.
    std::lock_guard lock(mutex_);
    if (handle_)
        sane_cancel(handle_);
}

} // namespace quillon
