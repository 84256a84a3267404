#pragma once

#include "common/prompts.h"

class QWidget;

namespace quillon {

// The real message boxes: modal, over the active window.
class TMessageBoxPrompts : public TPrompts {
public:
    void Error(const std::string& text) override;
    void Warning(const std::string& text) override;
    void Information(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    TAnswer ConfirmCancel(const std::string& text) override;
    bool InputQuery(const std::string& title, const std::string& prompt, std::string& value) override;
};

} // namespace quillon
