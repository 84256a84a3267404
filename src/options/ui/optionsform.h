#pragma once

#include "common/prompts.h"
#include "options/options.h"

#include <QDialog>
#include <string>

namespace quillon {

// The options dialog object. It exists for the whole run and owns the user's settings;
// every other part of the program reads them from here.
class TOptionsForm : public QDialog {
    Q_OBJECT
public:
    TOptionsForm(std::string appDir, TPrompts& prompts, TSystemProxySource systemProxy, QWidget* parent = nullptr);

    TOptions Options;

    void LoadOptions();
    bool SaveOptions();
    const TSystemProxySource& SystemProxy() const { return systemProxy_; }

private:
    std::string appDir_;
    TPrompts& prompts_;
    TSystemProxySource systemProxy_;
};

} // namespace quillon
