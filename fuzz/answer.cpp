// The service answer splitter and what the workers read from its lines.
#include "common/text.h"
#include "service/answer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    size_t total = 0;
    const std::vector<std::string> lines = quillon::SplitAnswerLines(body);
    for (const std::string& line : lines) {
        // No line holds a line break, and the lines never hold more than the body.
        if (line.find_first_of("\r\n") != std::string::npos)
            __builtin_trap();
        total += line.size();
        (void)quillon::ParseInt32(line);
    }
    if (total > size)
        __builtin_trap();
    if (!lines.empty())
        (void)quillon::ClassifyKeyword(lines.front());
    return 0;
}
