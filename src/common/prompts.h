#pragma once

#include <string>

namespace quillon {

// The modal message boxes an operation may show. The Qt layer implements them with
// message boxes; tests script the answers and record what was shown.
enum class TAnswer { Yes, No, Cancel };

class TPrompts {
public:
    virtual ~TPrompts() = default;
    virtual void Error(const std::string& text) = 0;        // error box, OK
    virtual void Warning(const std::string& text) = 0;      // warning box, OK
    virtual void Information(const std::string& text) = 0;  // information box, OK
    virtual bool Confirm(const std::string& text) = 0;      // Yes (true) / No (false)
    virtual TAnswer ConfirmCancel(const std::string& text) = 0;  // Yes / No / Cancel
    // A text input box prefilled with value; false when the user cancels.
    virtual bool InputQuery(const std::string& title, const std::string& prompt, std::string& value) = 0;
};

} // namespace quillon
