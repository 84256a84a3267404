#include "acquire/ui/platformscanner.h"

namespace quillon {

TPlatformScanner::TPlatformScanner(TPrompts& prompts, QObject* parent) : QObject(parent), sane_(prompts)
{
    connect(&sane_, &TSaneScanner::AvailabilityKnown, this, &TPlatformScanner::AvailabilityKnown);
    connect(this, &TPlatformScanner::AvailabilityKnown, this, [this] {
        if (listener_)
            listener_();
    });
    // SANE's list takes from a few milliseconds (local devices) to seconds (network
    // backends waiting for answers). Started with the program, on its own thread, it is
    // usually there when the main window first asks; when it is not, the import commands
    // follow at a later refresh (or at AvailabilityKnown).
    TSaneDeviceList::Process().Start();
}

bool TPlatformScanner::Available()
{
    if (!decided_) {
        // Looking for the TWAIN manager costs a failed dlopen; SANE's list takes longer
        // and arrives later.
        if (twain_.Available()) {
            chosen_ = &twain_;
            decided_ = true;
        } else if (sane_.Available()) {
            chosen_ = &sane_;
            decided_ = true;
        }
    }
    return chosen_ != nullptr;
}

bool TPlatformScanner::SelectSource(QWidget* parent)
{
    return Available() && chosen_->SelectSource(parent);
}

std::optional<TBitmap> TPlatformScanner::Acquire(QWidget* parent)
{
    return Available() ? chosen_->Acquire(parent) : std::nullopt;
}

void TPlatformScanner::SetAvailabilityListener(std::function<void()> listener)
{
    listener_ = std::move(listener);
}

} // namespace quillon
