#include "service/answer.h"

#include "common/text.h"
#include "service/messages.h"

namespace quillon {

std::vector<std::string> SplitAnswerLines(std::string_view body)
{
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < body.size()) {
        char c = body[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.emplace_back(body.substr(start, i - start));
        i += (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < body.size())
        lines.emplace_back(body.substr(start));
    return lines;
}

TAnswerKeyword ClassifyKeyword(std::string_view line)
{
    std::string upper = AsciiUpper(line);
    if (upper == kKeywordSuccess)
        return TAnswerKeyword::Success;
    if (upper == kKeywordMessage)
        return TAnswerKeyword::Message;
    if (upper == kKeywordError)
        return TAnswerKeyword::Error;
    return TAnswerKeyword::Unknown;
}

} // namespace quillon
