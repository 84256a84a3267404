#pragma once

#include <string>

namespace quillon {

// The whole file as bytes. Throws QuillonError with the path and the system's text.
std::string ReadWholeFile(const std::string& path);

} // namespace quillon
