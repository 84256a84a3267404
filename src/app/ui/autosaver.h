#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QAbstractItemModel;
class QItemSelectionModel;
class QTimer;

namespace quillon {

class TPrompts;

// Writes the user's files a moment after they change, so that a crash or a power cut
// loses nothing the user confirmed. Changes are noticed where they come from: the tree
// model (added, removed and renamed nodes), the selection, the user's input (a frame
// dragged, a setting chosen, a dialog confirmed) and whatever the program tells it. A
// file is written only when what it would say differs from what was last written, and
// through its own writer, so it is replaced atomically exactly as at shutdown.
class TAutoSaver : public QObject {
    Q_OBJECT
public:
    struct TFile {
        // What the file would say if it were written now.
        std::function<std::string()> state;
        // Writes it, reporting a failure through the prompts it is given; false when it
        // could not be written (tried again at the next change).
        std::function<bool(TPrompts& prompts)> write;
    };
    // A burst of changes (a drag, typing) is written once it settles for this long, and
    // never later than kMaxDelayMs after its first change.
    static constexpr int kDelayMs = 1000;
    static constexpr int kMaxDelayMs = 5000;

    // The first failure of a file is shown through prompts, so the user learns at once
    // that the work is not on disk; its retries stay quiet until a write succeeds again.
    TAutoSaver(std::vector<TFile> files, TPrompts& prompts, QObject* parent = nullptr);
    ~TAutoSaver() override;

    // Notices the changes of the model and the selection too (the user's input always).
    void Follow(QAbstractItemModel* model, QItemSelectionModel* selection);
    // Takes what the files say now as written (they were just loaded) and starts writing
    // changes. Until then nothing is written: the selection is not yet restored.
    void Start();
    // For good: the shutdown writes the files itself.
    void Stop();
    // Something may have changed.
    void Changed();
    // Writes every file whose state differs from the last one written.
    void SaveChanges();

    QTimer* Timer() const { return timer_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    std::vector<TFile> files_;
    std::vector<std::string> written_;
    std::vector<bool> failing_;
    TPrompts& prompts_;
    bool running_ = false;
    QTimer* timer_;
    QElapsedTimer pendingSince_;
};

} // namespace quillon
