#pragma once

#include <cstdint>
#include <string>

namespace quillon {

enum TNodeKind : uint8_t { nkRoot = 0, nkFolder = 1, nkLogo = 2 };
enum TFitKind : uint8_t { fkWidth = 0, fkHeight = 1, fkSmaller = 2, fkBigger = 3 };

// The logo sizes the controls offer; a stored size outside them is brought back in.
inline constexpr int32_t kMinLogoSize = 16;
inline constexpr int32_t kMaxLogoSize = 400;

// Everything the program remembers about one node of the logo tree.
class TLogoDirObject {
public:
    TLogoDirObject() = default;
    TLogoDirObject(uint8_t kind, std::string name) : nodekind(kind), nodename(std::move(name)) {}
    TLogoDirObject(const TLogoDirObject&) = default;
    TLogoDirObject& operator=(const TLogoDirObject&) = default;

    // The frame is computed afresh the next time the logo is shown.
    void DiscardFrame() { frameleft = frametop = framewidth = frameheight = -1; }
    bool HasFrame() const { return frameleft != -1; }

    bool operator==(const TLogoDirObject&) const = default;

    uint8_t nodekind = nkLogo;
    std::string nodename = "Undefined";
    int32_t frameleft = -1;
    int32_t frametop = -1;
    int32_t framewidth = -1;
    int32_t frameheight = -1;
    int32_t phonemakeid = -1;
    int32_t phonemodelid = -1;
    int32_t logowidth = 128;
    int32_t logoheight = 128;
    uint8_t fitkind = fkBigger;
    bool keepproportions = true;
    std::string uploadurl;
};

} // namespace quillon
