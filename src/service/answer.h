#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// Splits a service answer at every CR LF, CR or LF. A final line break makes no extra
// empty line, and lines keep their blanks.
std::vector<std::string> SplitAnswerLines(std::string_view body);

enum class TAnswerKeyword { Success, Message, Error, Unknown };

// Line 1 of an answer, compared with the keywords after conversion to upper case.
TAnswerKeyword ClassifyKeyword(std::string_view line);

} // namespace quillon
