#pragma once

#include "acquire/sanescan.h"
#include "acquire/ui/scanner.h"
#include "common/prompts.h"

#include <QObject>


namespace quillon {

// Scanners through SANE. The process's device list (TSaneDeviceList) is started by the
// first Available(), which answers false until the list is there; the answer is then
// kept for the run.
class TSaneScanner : public QObject, public TScanner {
    Q_OBJECT
public:
    explicit TSaneScanner(TPrompts& prompts, QObject* parent = nullptr);
    ~TSaneScanner() override;

    bool Available() override;
    // A small dialog listing the devices; the choice holds for the run (the first device
    // until one is chosen).
    bool SelectSource(QWidget* parent) override;
    // One page from the chosen device, scanned on a worker thread behind a progress
    // dialog whose Cancel stops the device; nothing when cancelled or failed (the failure
    // is shown).
    std::optional<TBitmap> Acquire(QWidget* parent) override;


signals:
    // The device list is there: Available() has its answer for the run.
    void AvailabilityKnown();

private:
    TPrompts& prompts_;
    int subscription_ = 0; // 0: not yet subscribed
    std::vector<TSaneDevice> devices_;
    bool known_ = false;
    size_t chosen_ = 0;
};

} // namespace quillon
