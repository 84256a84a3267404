#include "acquire/ui/sanescanner.h"

#include "common/error.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QListWidget>
#include <QProgressDialog>
#include <QVBoxLayout>

#include <exception>

namespace quillon {

TSaneScanner::TSaneScanner(TPrompts& prompts, QObject* parent) : QObject(parent), prompts_(prompts) {}

TSaneScanner::~TSaneScanner()
{
    if (subscription_ > 0)
        TSaneDeviceList::Process().Unsubscribe(subscription_);
}

bool TSaneScanner::Available()
{
    TSaneDeviceList& list = TSaneDeviceList::Process();
    if (!subscription_) {
        list.Start();
        // Runs on the listing thread, under the list's lock, so this object is still there.
        subscription_ = list.Subscribe(
            [this] { QMetaObject::invokeMethod(this, [this] { emit AvailabilityKnown(); }, Qt::QueuedConnection); });
    }
    if (!known_ && list.Done()) {
        devices_ = list.Devices();
        known_ = true;
    }
    return !devices_.empty();
}

bool TSaneScanner::SelectSource(QWidget* parent)
{
    if (!Available())
        return false;
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SelectSourceForm"));
    dialog.setWindowTitle(QStringLiteral("Select source"));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("SourceListBox"));
    list->setAccessibleName(QStringLiteral("Sources"));
    for (const TSaneDevice& device : devices_)
        list->addItem(QString::fromStdString(device.Label()));
    list->setCurrentRow(static_cast<int>(chosen_));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0)
        return false;
    chosen_ = static_cast<size_t>(list->currentRow());
    return true;
}

std::optional<TBitmap> TSaneScanner::Acquire(QWidget* parent)
{
    if (!Available())
        return std::nullopt;
    TSanePageScan scan(devices_[chosen_].name);
    QProgressDialog progress(QStringLiteral("Scanning..."), QStringLiteral("Cancel"), 0, 100, parent);
    progress.setObjectName(QStringLiteral("ScanProgressForm"));
    progress.setWindowTitle(QStringLiteral("Acquire image"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setValue(0);
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&scan] { scan.Cancel(); });

    QEventLoop loop;
    std::optional<TBitmap> page;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            page = scan.Run([&progress](int percent) {
                QMetaObject::invokeMethod(&progress, [&progress, percent] { progress.setValue(percent); },
                                          Qt::QueuedConnection);
            });
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // The loop only ends by the worker's own call, or when the program quits: then the
    // device is stopped first.
    scan.Cancel();
    worker.join();
    progress.close();
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const QuillonError& e) {
            prompts_.Error(e.what());
        } catch (const std::exception& e) {
            prompts_.Error(std::string(kMsgSaneScanFailed) + e.what());
        }
        return std::nullopt;
    }
    return page;
}

} // namespace quillon
