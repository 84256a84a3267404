#include "app/ui/autosaver.h"

#include "common/prompts.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QEvent>
#include <QItemSelectionModel>
#include <QTimer>

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
    : QObject(parent), files_(std::move(files)), written_(files_.size()), failing_(files_.size()), prompts_(prompts),
      timer_(new QTimer(this))
{
    timer_->setObjectName("AutoSaveTimer");
    timer_->setSingleShot(true);
    timer_->setInterval(kDelayMs);
    connect(timer_, &QTimer::timeout, this, &TAutoSaver::SaveChanges);
    QCoreApplication::instance()->installEventFilter(this);
}

TAutoSaver::~TAutoSaver() = default;

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
        written_[i] = files_[i].state();
    running_ = true;
}

void TAutoSaver::Stop()
{
    running_ = false;
    timer_->stop();
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
    if (!running_)
        return;
    TQuietPrompts quiet;
    for (size_t i = 0; i < files_.size(); ++i) {
        std::string state = files_[i].state();
        if (state == written_[i])
            continue;
        const bool ok = files_[i].write(failing_[i] ? static_cast<TPrompts&>(quiet) : prompts_);
        failing_[i] = !ok;
        if (ok)
            written_[i] = std::move(state);
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
