#include "app/ui/autosaver.h"

#include "common/prompts.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QEvent>
#include <QItemSelectionModel>
#include <QTimer>

#include <memory>

namespace quillon {

namespace {

// A failure already shown is not shown again at each retry.
class TQuietPrompts : public TPrompts {
public:
    void Error(const std::string&) override {}
    void Warning(const std::string&) override {}
    void Information(const std::string&) override {}
    bool Confirm(const std::string&) override { return false; }
    TAnswer ConfirmCancel(const std::string&) override { return TAnswer::Cancel; }
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
};

} // namespace

TAutoSaver::TAutoSaver(std::vector<TFile> files, TPrompts& prompts, QObject* parent)
    : QObject(parent), files_(std::move(files)), slots_(files_.size()), prompts_(prompts), timer_(new QTimer(this))
{
    timer_->setObjectName("AutoSaveTimer");
    timer_->setSingleShot(true);
    timer_->setInterval(kDelayMs);
    connect(timer_, &QTimer::timeout, this, &TAutoSaver::SaveChanges);
    QCoreApplication::instance()->installEventFilter(this);
}

TAutoSaver::~TAutoSaver()
{
    // A write under way finishes: the file it replaces is the user's.
    for (TSlot& slot : slots_) {
        if (slot.thread.joinable())
            slot.thread.join();
    }
}

std::function<uint64_t()> TAutoSaver::TextRevision(std::function<std::string()> text)
{
    struct TSeen {
        std::string text;
        uint64_t revision = 0;
    };
    auto seen = std::make_shared<TSeen>();
    return [seen, text = std::move(text)] {
        std::string now = text();
        if (now != seen->text) {
            seen->text = std::move(now);
            ++seen->revision;
        }
        return seen->revision;
    };
}

void TAutoSaver::Follow(QAbstractItemModel* model, QItemSelectionModel* selection)
{
    connect(model, &QAbstractItemModel::rowsInserted, this, &TAutoSaver::Changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &TAutoSaver::Changed);
    connect(model, &QAbstractItemModel::rowsMoved, this, &TAutoSaver::Changed);
    connect(model, &QAbstractItemModel::dataChanged, this, &TAutoSaver::Changed);
    connect(model, &QAbstractItemModel::modelReset, this, &TAutoSaver::Changed);
    connect(model, &QAbstractItemModel::layoutChanged, this, &TAutoSaver::Changed);
    connect(selection, &QItemSelectionModel::currentChanged, this, &TAutoSaver::Changed);
}

void TAutoSaver::Start()
{
    for (size_t i = 0; i < files_.size(); ++i)
        slots_[i].written = files_[i].revision();
    running_ = true;
}

void TAutoSaver::Stop()
{
    running_ = false;
    timer_->stop();
    WaitForWrites();
}

void TAutoSaver::Hold(bool held)
{
    held_ = held;
    if (!held_)
        SaveChanges();
}

void TAutoSaver::Changed()
{
    if (!running_)
        return;
    if (!timer_->isActive())
        pendingSince_.start();
    else if (pendingSince_.elapsed() >= kMaxDelayMs - kDelayMs)
        return;  // already due soon enough: a steady stream of changes must not hold it off
    timer_->start();
}

void TAutoSaver::SaveChanges()
{
    if (!running_ || held_)
        return;
    for (size_t i = 0; i < files_.size(); ++i) {
        if (!slots_[i].busy)
            Write(i);
    }
}

void TAutoSaver::Write(size_t i)
{
    TSlot& slot = slots_[i];
    const uint64_t revision = files_[i].revision();
    if (revision == slot.written)
        return;
    slot.writing = revision;
    slot.busy = true;
    slot.ok = false;
    // A thread of its own rather than the shared pool: a pool with no free helper runs the
    // job on the caller, which here is the window.
    slot.thread = std::thread([this, i, job = files_[i].snapshot()] {
        bool ok = false;
        try {
            job();
            ok = true;
        } catch (const std::exception&) {
        }
        slots_[i].ok = ok;
        QMetaObject::invokeMethod(this, [this, i] { Collect(i); }, Qt::QueuedConnection);
    });
}

void TAutoSaver::Collect(size_t i)
{
    TSlot& slot = slots_[i];
    if (!slot.busy)
        return;  // already taken by WaitForWrites
    slot.thread.join();
    slot.busy = false;
    TQuietPrompts quiet;
    files_[i].written(slot.ok, slot.failing ? static_cast<TPrompts&>(quiet) : prompts_);
    slot.failing = !slot.ok;
    if (slot.ok)
        slot.written = slot.writing;
    // What changed while the file was being written is written next; a failing file waits
    // for the next change, as it always did.
    if (slot.ok && running_ && !held_)
        Write(i);
}

void TAutoSaver::WaitForWrites()
{
    for (size_t i = 0; i < slots_.size(); ++i) {
        const bool wasRunning = running_;
        running_ = false;  // no follow-up write from here: the caller decides
        Collect(i);
        running_ = wasRunning;
    }
}

bool TAutoSaver::eventFilter(QObject* watched, QEvent* e)
{
    // The moments a user's edit is complete: a button or key let go, a wheel step, a drop.
    switch (e->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Drop:
        Changed();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, e);
}

} // namespace quillon
