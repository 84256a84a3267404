#include "http.h"

namespace quillon::server {

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The parameters after the first ";" of a header value such as Content-Type or
// Content-Disposition, names in lower case; quoted values are unquoted.
std::map<std::string, std::string> HeaderParameters(std::string_view value)
{
    std::map<std::string, std::string> out;
    size_t pos = value.find(';');
    while (pos != std::string_view::npos && pos < value.size()) {
        ++pos;
        size_t eq = value.find('=', pos);
        if (eq == std::string_view::npos)
            break;
        std::string name;
        for (char c : Trim(value.substr(pos, eq - pos)))
            name += Lower(c);
        pos = eq + 1;
        while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t'))
            ++pos;
        std::string v;
        if (pos < value.size() && value[pos] == '"') {
            ++pos;
            while (pos < value.size() && value[pos] != '"') {
                if (value[pos] == '\\' && pos + 1 < value.size())
                    ++pos;
                v += value[pos++];
            }
            pos = value.find(';', pos);
        } else {
            size_t end = value.find(';', pos);
            v = std::string(Trim(value.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos)));
            pos = end;
        }
        out.emplace(std::move(name), std::move(v));
    }
    return out;
}

std::string_view MediaType(std::string_view contentType)
{
    return Trim(contentType.substr(0, contentType.find(';')));
}

} // namespace

std::string THttpRequest::Header(std::string_view name) const
{
    for (const auto& [n, v] : headers)
        if (SameAscii(n, name))
            return v;
    return {};
}

std::string THttpRequest::Param(const std::string& name) const
{
    auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

void THttpResponse::SetHeader(std::string name, std::string value)
{
    for (auto& [n, v] : headers)
        if (SameAscii(n, name)) {
            v = std::move(value);
            return;
        }
    headers.emplace_back(std::move(name), std::move(value));
}

void THttpResponse::SetContent(std::string content, std::string type)
{
    body = std::make_shared<const std::string>(std::move(content));
    contentType = std::move(type);
}

void THttpResponse::SetContent(std::shared_ptr<const std::string> content, std::string type)
{
    body = std::move(content);
    contentType = std::move(type);
}

void THttpResponse::SetRedirect(const std::string& location)
{
    status = 302;
    SetHeader("Location", location);
}

std::string PercentDecode(std::string_view text, bool plusIsSpace)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

void ParseUrlEncoded(std::string_view text, std::multimap<std::string, std::string>& params)
{
    while (!text.empty()) {
        size_t amp = text.find('&');
        std::string_view pair = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (pair.empty())
            continue;
        size_t eq = pair.find('=');
        std::string name = PercentDecode(pair.substr(0, eq), true);
        std::string value = eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1), true);
        params.emplace(std::move(name), std::move(value));
    }
}

std::optional<std::map<std::string, TFormPart>> ParseMultipart(std::string_view body, std::string_view boundary)
{
    // RFC 2046: a boundary is 1 to 70 characters.
    if (boundary.empty() || boundary.size() > 70)
        return std::nullopt;
    const std::string delimiter = "--" + std::string(boundary);
    const std::string nextDelimiter = "\r\n" + delimiter;
    // Whatever comes before the first delimiter (the preamble) is ignored.
    size_t pos;
    if (body.substr(0, delimiter.size()) == delimiter) {
        pos = delimiter.size();
    } else {
        size_t found = body.find(nextDelimiter);
        if (found == std::string_view::npos)
            return std::nullopt;
        pos = found + nextDelimiter.size();
    }
    std::map<std::string, TFormPart> parts;
    // A multipart body holds at least one part.
    for (bool first = true;; first = false) {
        if (body.substr(pos, 2) == "--")
            return first ? std::nullopt : std::optional(std::move(parts));
        // Transport padding, then the line break that ends the delimiter line.
        while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t'))
            ++pos;
        if (body.substr(pos, 2) != "\r\n")
            return std::nullopt;
        pos += 2;
        size_t headersEnd = body.find("\r\n\r\n", pos);
        size_t contentStart;
        std::string_view headerBlock;
        if (body.substr(pos, 2) == "\r\n") {
            // A part without headers.
            contentStart = pos + 2;
        } else {
            if (headersEnd == std::string_view::npos)
                return std::nullopt;
            headerBlock = body.substr(pos, headersEnd - pos);
            contentStart = headersEnd + 4;
        }
        size_t contentEnd = body.find(nextDelimiter, contentStart);
        if (contentEnd == std::string_view::npos)
            return std::nullopt;

        std::string name;
        TFormPart part;
        bool named = false;
        while (!headerBlock.empty()) {
            size_t eol = headerBlock.find("\r\n");
            std::string_view line = headerBlock.substr(0, eol);
            headerBlock = eol == std::string_view::npos ? std::string_view() : headerBlock.substr(eol + 2);
            size_t colon = line.find(':');
            if (colon == std::string_view::npos)
                return std::nullopt;
            std::string_view field = Trim(line.substr(0, colon));
            std::string_view value = Trim(line.substr(colon + 1));
            if (SameAscii(field, "Content-Disposition")) {
                std::map<std::string, std::string> p = HeaderParameters(value);
                if (auto it = p.find("name"); it != p.end()) {
                    name = it->second;
                    named = true;
                }
                if (auto it = p.find("filename"); it != p.end())
                    part.filename = it->second;
            } else if (SameAscii(field, "Content-Type")) {
                part.contentType = std::string(value);
            }
        }
        part.content = std::string(body.substr(contentStart, contentEnd - contentStart));
        if (named)
            parts.emplace(std::move(name), std::move(part));
        pos = contentEnd + nextDelimiter.size();
    }
}

bool ParseRequestContent(THttpRequest& request)
{
    std::string_view target = request.target;
    size_t q = target.find('?');
    request.path = PercentDecode(target.substr(0, q), false);
    if (q != std::string_view::npos)
        ParseUrlEncoded(target.substr(q + 1), request.params);
    if (request.body.empty())
        return true;
    const std::string contentType = request.Header("Content-Type");
    std::string_view media = MediaType(contentType);
    if (SameAscii(media, "application/x-www-form-urlencoded")) {
        ParseUrlEncoded(request.body, request.params);
    } else if (SameAscii(media, "multipart/form-data")) {
        std::map<std::string, std::string> p = HeaderParameters(contentType);
        auto boundary = p.find("boundary");
        if (boundary == p.end())
            return false;
        std::optional<std::map<std::string, TFormPart>> parts = ParseMultipart(request.body, boundary->second);
        if (!parts)
            return false;
        request.parts = std::move(*parts);
    }
    return true;
}

} // namespace quillon::server
