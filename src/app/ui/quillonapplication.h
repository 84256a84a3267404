#pragma once

#include "app/ui/appenvironment.h"

#include <memory>

namespace quillon {

class TMainAppForm;
class TDialogs;

// The program entry's work: the main window first (its creation reads the data files),
// then every dialog in its fixed order, then the event loop.
class TQuillonApplication {
public:
    explicit TQuillonApplication(const TAppEnvironment& env);
    ~TQuillonApplication();

    TMainAppForm& MainForm() { return *mainForm_; }
    TDialogs& Dialogs() { return *dialogs_; }
    bool TerminateRequested() const;

    // Shows the main window; false when this copy must end instead.
    bool Start();
    // Start, then the event loop; returns the exit code.
    int Exec();

private:
    TAppEnvironment env_;
    // Declared before the dialogs, so the dialogs (children of the main window) go first.
    std::unique_ptr<TMainAppForm> mainForm_;
    std::unique_ptr<TDialogs> dialogs_;
};

} // namespace quillon
