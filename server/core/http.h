#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon::server {

// One part of a multipart/form-data body.
struct TFormPart {
    std::string filename;
    std::string contentType;
    std::string content;
};

// A request as the service's handlers see it: complete, with its form already taken apart.
// The connection layer fills it in and owns everything that has to do with the wire.
struct THttpRequest {
    std::string method;
    std::string target;  // as sent, with the query
    std::string path;    // the target's path, percent-decoded
    std::string remoteAddress;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // From the query, and from a urlencoded body; the first of a repeated name counts.
    std::multimap<std::string, std::string> params;
    // From a multipart/form-data body, by name; the first of a repeated name counts.
    std::map<std::string, TFormPart> parts;

    // Header names without regard to ASCII case; empty when absent.
    std::string Header(std::string_view name) const;
    bool HasParam(const std::string& name) const { return params.count(name) != 0; }
    std::string Param(const std::string& name) const;
    bool HasPart(const std::string& name) const { return parts.count(name) != 0; }
};

struct THttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    // The body: shared, so a cached picture goes out without a copy per request.
    std::shared_ptr<const std::string> body;

    void SetHeader(std::string name, std::string value);
    void SetContent(std::string content, std::string type);
    void SetContent(std::shared_ptr<const std::string> content, std::string type);
    void SetRedirect(const std::string& location);
    std::size_t BodySize() const { return body ? body->size() : 0; }
};

// "%41" -> "A"; with plusIsSpace, "+" -> " " (query strings and urlencoded forms). A "%"
// not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text, bool plusIsSpace);

// "a=1&b=x+y" into params; names and values percent-decoded.
void ParseUrlEncoded(std::string_view text, std::multimap<std::string, std::string>& params);

// Fills path and params from target, and params or parts from the body by its
// Content-Type. False for a body that claims multipart/form-data but is not well formed.
bool ParseRequestContent(THttpRequest& request);

// The parts of a multipart/form-data body with this boundary; nothing when the body
// does not follow the framing (every part opened by the delimiter, the last one closed).
std::optional<std::map<std::string, TFormPart>> ParseMultipart(std::string_view body, std::string_view boundary);

} // namespace quillon::server
