#pragma once

#include "acquire/ui/sanescanner.h"
#include "acquire/ui/twainscanner.h"

#include <QObject>

namespace quillon {

// The program's scanner: the TWAIN data source manager when one is installed, else SANE
// when it finds devices, else none (the import commands stay disabled, silently).
// SANE's devices are listed from construction on, on a thread of their own; the TWAIN
// manager is looked for at the first Available() call.
class TPlatformScanner : public QObject, public TScanner {
    Q_OBJECT
public:
    explicit TPlatformScanner(TPrompts& prompts, QObject* parent = nullptr);

    bool Available() override;
    bool SelectSource(QWidget* parent) override;
    std::optional<TBitmap> Acquire(QWidget* parent) override;
    void SetAvailabilityListener(std::function<void()> listener) override;

signals:
    // SANE's device list arrived after the first Available() call; the import commands
    // may become available now.
    void AvailabilityKnown();

private:
    TTwainScanner twain_;
    TSaneScanner sane_;
    TScanner* chosen_ = nullptr;
    bool decided_ = false;
    std::function<void()> listener_;
};

} // namespace quillon
