#pragma once

#include "common/prompts.h"

#include <functional>
#include <optional>
#include <string>

namespace quillon {

enum TProxySource { psIE = 0, psManual = 1, psNoProxy = 2 };
enum TRetainSource { rsAsk = 0, rsRetain = 1, rsDelete = 2 };
enum TFileFormatChoice { ffBMP = 0, ffJPG = 1, ffGIF = 2, ffPNG = 3, ffAsk = 4 };

// The user's settings; the field names are the element names of options.xml.
struct TOptions {
    std::string login;
    std::string password;
    int proxysource = psIE;
    std::string proxyhost;
    std::string proxyport;
    bool proxyauthentication = false;
    std::string proxylogin;
    std::string proxypassword;
    bool showlogochange = false;
    bool fillemptyarea = false;
    int emptyareacolor = 16777215;  // 0x00BBGGRR
    int jpegquality = 90;
    bool showjpegdialog = true;
    int gifbitdepth = 8;
    bool showgifdialog = true;
    int convertretainsource = rsDelete;
    bool convertasktargetname = false;
    int mirrorretainsource = rsDelete;
    bool mirrorasktargetname = false;
    int rotateretainsource = rsDelete;
    bool rotateasktargetname = false;
    int importedfileformat = ffJPG;
    bool importasktargetname = false;
    int grabbedfileformat = ffJPG;
    bool grabasktargetname = false;
    bool enableaccesshint = true;
    bool checknewversion = true;

    void Reset() { *this = TOptions(); }
    bool operator==(const TOptions&) const = default;
};

// 10..100, then to the nearest ten (halves up): 84 -> 80, 85 -> 90.
int NormalizeJpegQuality(int quality);
// 3..8.
int NormalizeGifBitDepth(int depth);

struct TSystemProxy {
    std::string host;
    std::string port;
};

// Where the system's proxy text comes from: nothing when the system uses no proxy.
using TSystemProxySource = std::function<std::optional<std::string>()>;

// The http_proxy / HTTP_PROXY environment variable, reduced to host:port.
std::optional<std::string> EnvironmentProxyText();
// Picks the HTTP entry of a per-protocol list and splits host from port (3128 by default).
TSystemProxy ParseSystemProxyText(const std::string& text);
TSystemProxy ReadSystemProxy(const TSystemProxySource& source);

// Load never fails outward: problems are reported and the values read so far stay.
void LoadOptions(const std::string& appDir, TOptions& options, TPrompts& prompts,
                 const TSystemProxySource& proxySource = EnvironmentProxyText);
// Returns whether the file was written; a failure is reported.
bool SaveOptions(const std::string& appDir, const TOptions& options, TPrompts& prompts);
// The same write, throwing on failure instead of reporting it.
void WriteOptions(const std::string& appDir, const TOptions& options);
// The document SaveOptions writes.
std::string OptionsXml(const TOptions& options);

} // namespace quillon
