#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

// The one exception type core raises for a failed operation. The text is either a
// fixed message of the program or the underlying library's own error text.
class QuillonError : public std::runtime_error {
public:
    explicit QuillonError(const std::string& text) : std::runtime_error(text) {}
};

} // namespace quillon
