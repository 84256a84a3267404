#pragma once

#include "imaging/bitmap.h"

#include <functional>
#include <optional>

class QWidget;

namespace quillon {

// Where scanned pages come from: the TWAIN data source manager when one is installed,
// SANE otherwise. The import commands talk only to this, so a test can hand them a
// scripted scanner and the program gets the real one from TRealPlatform.
class TScanner {
public:
    virtual ~TScanner() = default;

    // Whether a scanner interface is there at all; the import commands are enabled by it.
    // Once answered true it stays true for the run. An interface that lists its devices
    // in the background (SANE) answers false until its list is there.
    virtual bool Available() = 0;

    // Lets the user choose the default source; true when one was chosen.
    virtual bool SelectSource(QWidget* parent) = 0;

    // One picture from the default source, the last one when it delivers several;
    // nothing when it was cancelled, closed or failed (the scanner has reported any failure).
    virtual std::optional<TBitmap> Acquire(QWidget* parent) = 0;

    // Called when Available() may have changed by itself (a device list arrived late), so
    // the commands that depend on it can be refreshed; an empty function stops the calls.
    virtual void SetAvailabilityListener(std::function<void()> listener) { (void)listener; }
};

// A machine with no scanner interface: the import commands stay disabled for the run.
class TNoScanner final : public TScanner {
public:
    bool Available() override { return false; }
    bool SelectSource(QWidget*) override { return false; }
    std::optional<TBitmap> Acquire(QWidget*) override { return std::nullopt; }
};

} // namespace quillon
