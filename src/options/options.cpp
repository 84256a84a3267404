#include "options/options.h"

#include "common/text.h"
#include "common/xml.h"
#include "options/messages.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace quillon {

namespace {

enum class TFieldKind { Text, YesNo, Integer, ProxySource };

struct TField {
    const char* name;
    TFieldKind kind;
    std::string TOptions::*text = nullptr;
    bool TOptions::*flag = nullptr;
    int TOptions::*number = nullptr;
};

constexpr TField Text(const char* n, std::string TOptions::*f) { return {n, TFieldKind::Text, f, nullptr, nullptr}; }
constexpr TField YesNo(const char* n, bool TOptions::*f) { return {n, TFieldKind::YesNo, nullptr, f, nullptr}; }
constexpr TField Int(const char* n, int TOptions::*f) { return {n, TFieldKind::Integer, nullptr, nullptr, f}; }

// The order of this table is the order of the file.
const TField kFields[] = {
    Text("login", &TOptions::login),
    Text("password", &TOptions::password),
    {"proxysource", TFieldKind::ProxySource, nullptr, nullptr, &TOptions::proxysource},
    Text("proxyhost", &TOptions::proxyhost),
    Text("proxyport", &TOptions::proxyport),
    YesNo("proxyauthentication", &TOptions::proxyauthentication),
    Text("proxylogin", &TOptions::proxylogin),
    Text("proxypassword", &TOptions::proxypassword),
    YesNo("showlogochange", &TOptions::showlogochange),
    YesNo("fillemptyarea", &TOptions::fillemptyarea),
    Int("emptyareacolor", &TOptions::emptyareacolor),
    Int("jpegquality", &TOptions::jpegquality),
    YesNo("showjpegdialog", &TOptions::showjpegdialog),
    Int("gifbitdepth", &TOptions::gifbitdepth),
    YesNo("showgifdialog", &TOptions::showgifdialog),
    Int("convertretainsource", &TOptions::convertretainsource),
    YesNo("convertasktargetname", &TOptions::convertasktargetname),
    Int("mirrorretainsource", &TOptions::mirrorretainsource),
    YesNo("mirrorasktargetname", &TOptions::mirrorasktargetname),
    Int("rotateretainsource", &TOptions::rotateretainsource),
    YesNo("rotateasktargetname", &TOptions::rotateasktargetname),
    Int("importedfileformat", &TOptions::importedfileformat),
    YesNo("importasktargetname", &TOptions::importasktargetname),
    Int("grabbedfileformat", &TOptions::grabbedfileformat),
    YesNo("grabasktargetname", &TOptions::grabasktargetname),
    YesNo("enableaccesshint", &TOptions::enableaccesshint),
    YesNo("checknewversion", &TOptions::checknewversion),
};
static_assert(std::size(kFields) == 27);

const char* const kProxySourceWords[] = {"ie", "manual", "noproxy"};

void ReadField(const TField& f, const std::optional<std::string>& value, TOptions& o)
{
    switch (f.kind) {
    case TFieldKind::Text:
        o.*f.text = value.value_or("");
        break;
    case TFieldKind::YesNo:
        o.*f.flag = value && SameTextAscii(*value, "yes");
        break;
    case TFieldKind::Integer: {
        const std::optional<int> n = value ? ParseInt32(*value) : std::nullopt;
        o.*f.number = n.value_or(TOptions().*f.number);
        break;
    }
    case TFieldKind::ProxySource:
        o.*f.number = psIE;
        if (value && SameTextAscii(*value, "manual"))
            o.*f.number = psManual;
        else if (value && SameTextAscii(*value, "noproxy"))
            o.*f.number = psNoProxy;
        break;
    }
}

std::string WriteField(const TField& f, const TOptions& o)
{
    switch (f.kind) {
    case TFieldKind::Text:
        return o.*f.text;
    case TFieldKind::YesNo:
        return o.*f.flag ? "yes" : "no";
    case TFieldKind::Integer:
        return std::to_string(o.*f.number);
    case TFieldKind::ProxySource: {
        const int i = o.*f.number;
        return kProxySourceWords[i >= psIE && i <= psNoProxy ? i : psIE];
    }
    }
    return {};
}

} // namespace

int NormalizeJpegQuality(int quality)
{
    quality = std::clamp(quality, 10, 100);
    return (quality + 5) / 10 * 10;
}

int NormalizeGifBitDepth(int depth) { return std::clamp(depth, 3, 8); }

std::optional<std::string> EnvironmentProxyText()
{
    const char* value = std::getenv("http_proxy");
    if (!value || !*value)
        value = std::getenv("HTTP_PROXY");
    if (!value || !*value)
        return std::nullopt;
    std::string text = value;
    // The variable is a URL; the proxy setting is its host:port alone.
    if (size_t scheme = text.find("://"); scheme != std::string::npos)
        text.erase(0, scheme + 3);
    if (size_t at = text.rfind('@'); at != std::string::npos)
        text.erase(0, at + 1);
    if (size_t slash = text.find('/'); slash != std::string::npos)
        text.erase(slash);
    return text;
}

TSystemProxy ParseSystemProxyText(const std::string& raw)
{
    std::string text = raw;
    if (text.find("http=") != std::string::npos) {
        const size_t start = AsciiLower(text).find("http=") + 5;
        const size_t end = text.find(';', start);
        text = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    if (text.empty())
        return {};
    const size_t colon = text.find(':');
    if (colon == std::string::npos)
        return {text, "3128"};
    return {text.substr(0, colon), text.substr(colon + 1)};
}

TSystemProxy ReadSystemProxy(const TSystemProxySource& source)
{
    const std::optional<std::string> text = source ? source() : std::nullopt;
    if (!text)
        return {};
    return ParseSystemProxyText(*text);
}

void LoadOptions(const std::string& appDir, TOptions& options, TPrompts& prompts, const TSystemProxySource& proxySource)
{
    options.Reset();
    const std::filesystem::path file = appDir + kOptionsFile;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        try {
            XmlDocument doc = XmlDocument::Load(file);
            XmlElement root = doc.Root();
            if (root.LowerName() != "options") {
                prompts.Error(kMsgOptionsCorrupt);
            } else {
                for (const XmlElement& e : root.ChildElements()) {
                    const std::string name = e.LowerName();
                    for (const TField& f : kFields) {
                        if (name == f.name)
                            ReadField(f, e.Attribute("value"), options);
                    }
                }
            }
        } catch (const std::exception&) {
            prompts.Error(kMsgOptionsCorrupt);
        }
    }
    options.jpegquality = NormalizeJpegQuality(options.jpegquality);
    options.gifbitdepth = NormalizeGifBitDepth(options.gifbitdepth);
    if (options.proxysource == psIE) {
        const TSystemProxy proxy = ReadSystemProxy(proxySource);
        options.proxyhost = proxy.host;
        options.proxyport = proxy.port;
    }
}

namespace {

XmlDocument OptionsDocument(const TOptions& options)
{
    XmlDocument doc = XmlDocument::Create("options");
    for (const TField& f : kFields)
        doc.Root().AppendChild(f.name).SetAttribute("value", WriteField(f, options));
    return doc;
}

} // namespace

std::string OptionsXml(const TOptions& options) { return OptionsDocument(options).ToString(); }

void WriteOptions(const std::string& appDir, const TOptions& options)
{
    // The passwords are stored as they are typed, so the file is its owner's alone.
    OptionsDocument(options).Save(appDir + kOptionsFile, /*ownerOnly=*/true);
}

bool SaveOptions(const std::string& appDir, const TOptions& options, TPrompts& prompts)
{
    try {
        WriteOptions(appDir, options);
        return true;
    } catch (const std::exception&) {
        prompts.Error(kMsgOptionsSaveError);
        return false;
    }
}

} // namespace quillon
