#include "imaging/exiforientation.h"

#include "imaging/transforms.h"

#include <cstdint>
#include <cstring>
#include <optional>

namespace quillon {

namespace {

constexpr int kUpright = 1;

// A bounds-checked view of the TIFF structure inside the Exif segment.
class TTiffReader {
public:
    TTiffReader(std::string_view data, bool bigEndian) : data_(data), bigEndian_(bigEndian) {}

    std::optional<uint32_t> U16(uint64_t at) const
    {
        if (at > data_.size() || data_.size() - at < 2)
            return std::nullopt;
        auto b = [&](uint64_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(data_[at + i])); };
        return bigEndian_ ? (b(0) << 8 | b(1)) : (b(1) << 8 | b(0));
    }

    std::optional<uint32_t> U32(uint64_t at) const
    {
        std::optional<uint32_t> first = U16(at), second = U16(at + 2);
        if (!first || !second)
            return std::nullopt;
        return bigEndian_ ? (*first << 16 | *second) : (*second << 16 | *first);
    }

private:
    std::string_view data_;
    bool bigEndian_;
};

int OrientationOfTiff(std::string_view tiff)
{
    if (tiff.size() < 8)
        return kUpright;
    bool bigEndian;
    if (tiff.substr(0, 2) == "MM")
        bigEndian = true;
    else if (tiff.substr(0, 2) == "II")
        bigEndian = false;
    else
        return kUpright;
    TTiffReader reader(tiff, bigEndian);
    if (reader.U16(2) != 42u)
        return kUpright;
    const std::optional<uint32_t> ifd = reader.U32(4);
    if (!ifd)
        return kUpright;
    const std::optional<uint32_t> count = reader.U16(*ifd);
    if (!count)
        return kUpright;
    // An entry count that runs past the segment marks the directory as damaged: none of
    // its entries is trusted.
    const uint64_t entries = uint64_t{*ifd} + 2;
    if (entries + uint64_t{*count} * 12 > tiff.size())
        return kUpright;
    constexpr uint32_t kOrientationTag = 0x0112, kShortType = 3;
    for (uint32_t i = 0; i < *count; ++i) {
        const uint64_t entry = entries + uint64_t{i} * 12;
        if (reader.U16(entry) != kOrientationTag)
            continue;
        if (reader.U16(entry + 2) != kShortType || reader.U32(entry + 4) != 1u)
            return kUpright;
        // One SHORT sits in the first two bytes of the value field.
        const std::optional<uint32_t> value = reader.U16(entry + 8);
        return value && *value >= 1 && *value <= 8 ? static_cast<int>(*value) : kUpright;
    }
    return kUpright;
}

} // namespace

int ExifOrientationOfJPEG(std::string_view file)
{
    auto byte = [&](size_t i) { return static_cast<uint8_t>(file[i]); };
    if (file.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8)
        return kUpright;
    size_t pos = 2;
    while (pos < file.size()) {
        if (byte(pos) != 0xFF)
            return kUpright;
        while (pos < file.size() && byte(pos) == 0xFF) // fill bytes
            ++pos;
        if (pos >= file.size())
            return kUpright;
        const uint8_t marker = byte(pos++);
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // no length follows these
        if (marker == 0xD9 || marker == 0xDA)
            return kUpright; // metadata comes before the image data or not at all
        if (file.size() - pos < 2)
            return kUpright;
        const size_t length = size_t{byte(pos)} << 8 | byte(pos + 1);
        if (length < 2 || length > file.size() - pos)
            return kUpright;
        const std::string_view segment = file.substr(pos + 2, length - 2);
        constexpr std::string_view kExifHeader{"Exif\0\0", 6};
        if (marker == 0xE1 && segment.substr(0, kExifHeader.size()) == kExifHeader)
            return OrientationOfTiff(segment.substr(kExifHeader.size()));
        pos += length;
    }
    return kUpright;
}

TBitmap ApplyExifOrientation(TBitmap picture, int orientation)
{
    switch (orientation) {
    case 2: return MirrorBitmap(picture, TMirrorDirection::Horizontal);
    case 3: return RotateBitmap(picture, 180);
    case 4: return MirrorBitmap(picture, TMirrorDirection::Vertical);
    case 5: return MirrorBitmap(RotateBitmap(picture, 90), TMirrorDirection::Horizontal);
    case 6: return RotateBitmap(picture, 90);
    case 7: return MirrorBitmap(RotateBitmap(picture, 90), TMirrorDirection::Vertical);
    case 8: return RotateBitmap(picture, 270);
    default: return picture;
    }
}

} // namespace quillon
