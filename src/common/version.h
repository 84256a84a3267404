#pragma once

// The program's version: shown in the About box, compared with the service's current
// version, and the service's own default answer to that question.
namespace quillon {

inline constexpr const char* kAppVersion = "1.1.2";

} // namespace quillon
