#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class QAbstractItemModel;
class QItemSelectionModel;
class QTimer;

namespace quillon {

class TPrompts;

// Writes the user's files a moment after they change, so that a crash or a power cut
// loses nothing the user confirmed. Changes are noticed where they come from: the tree
// model (added, removed and renamed nodes), the selection, the user's input (a frame
// dragged, a setting chosen, a dialog confirmed) and whatever the program tells it. Each
// file says by a number whether it changed, so a click that changes nothing costs nothing;
// a changed file is copied on the window's thread and written on a thread of its own
// (atomically, exactly as at shutdown), one write of a file at a time.
class TAutoSaver : public QObject {
    Q_OBJECT
public:
    struct TFile {
        // Rises whenever what the file would say may have changed; read after every input,
        // so it must not look at the whole collection.
        std::function<uint64_t()> revision;
        // On the window's thread: what the file says now, as a job that writes it on
        // another thread and throws when it cannot.
        std::function<std::function<void()>()> snapshot;
        // On the window's thread once a write is over: reports a failure through the prompts
        // it is given (quiet ones for a retry), or takes note of a success.
        std::function<void(bool written, TPrompts& prompts)> written;
    };
    // A burst of changes (a drag, typing) is written once it settles for this long, and
    // never later than kMaxDelayMs after its first change.
    static constexpr int kDelayMs = 1000;
    static constexpr int kMaxDelayMs = 5000;

    // The first failure of a file is shown through prompts, so the user learns at once
    // that the work is not on disk; its retries stay quiet until a write succeeds again.
    TAutoSaver(std::vector<TFile> files, TPrompts& prompts, QObject* parent = nullptr);
    ~TAutoSaver() override;

    // A revision for a small file whose text is cheap to make: it rises when the text differs
    // from the last one seen.
    static std::function<uint64_t()> TextRevision(std::function<std::string()> text);

    // Notices the changes of the model and the selection too (the user's input always).
    void Follow(QAbstractItemModel* model, QItemSelectionModel* selection);
    // Takes what the files say now as written (they were just loaded) and starts writing
    // changes. Until then nothing is written: the selection is not yet restored.
    void Start();
    // For good, once the writes under way are over: the shutdown writes the files itself.
    void Stop();
    // While held (a long operation is changing the tree bit by bit) nothing is written;
    // releasing it writes what changed at once.
    void Hold(bool held);
    // Something may have changed.
    void Changed();
    // Starts writing every file whose revision differs from the last one written.
    void SaveChanges();
    // Waits for the writes under way and takes their outcome.
    void WaitForWrites();

    QTimer* Timer() const { return timer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct TSlot {
        uint64_t written = 0;   // the revision on disk
        uint64_t writing = 0;   // the revision being written
        bool failing = false;
        bool busy = false;
        bool ok = false;        // the outcome of the write, set by its thread before it ends
        std::thread thread;
    };
    void Write(size_t i);
    void Collect(size_t i);

    std::vector<TFile> files_;
    std::vector<TSlot> slots_;
    TPrompts& prompts_;
    bool running_ = false;
    bool held_ = false;
    QTimer* timer_;
    QElapsedTimer pendingSince_;
};

} // namespace quillon
