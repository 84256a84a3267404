// What the service takes out of a request's target and body: the query, urlencoded forms
// and multipart/form-data parts. Input: the target on the first line, the Content-Type on
// the second, the body after.
#include "core/http.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    auto line = [&input] {
        size_t end = input.find('\n');
        std::string_view l = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        return std::string(l);
    };
    quillon::server::THttpRequest request;
    request.target = line();
    request.headers.emplace_back("Content-Type", line());
    request.body = std::string(input);
    if (quillon::server::ParseRequestContent(request)) {
        // A part's content is a piece of the body.
        for (const auto& [name, part] : request.parts)
            if (part.content.size() > request.body.size() ||
                request.body.find(part.content) == std::string::npos)
                __builtin_trap();
    }
    return 0;
}
