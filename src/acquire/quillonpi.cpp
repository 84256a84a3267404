#include "acquire/quillonpi.h"

#include <exception>

namespace quillon {

std::uint32_t TQuillonPI::AddImageURL(const std::string& imageURL)
{
    try {
        std::string appPath;
        const bool keyFound = platform_.store->Update([&](TSettingsValues& values) {
            if (auto it = values.find(kAppPathValue); it != values.end())
                appPath = it->second;
            values[kImageURLValue] = imageURL;
        });
        if (!keyFound)
            return kE_FAIL;
        return WakeOrStart(appPath, true);
    } catch (const std::exception&) {
        return kE_FAIL;
    }
}

std::uint32_t TQuillonPI::Exec()
{
    try {
        const std::optional<TSettingsValues> values = platform_.store->Read();
        if (!values)
            return kE_FAIL;
        const auto it = values->find(kAppPathValue);
        return WakeOrStart(it == values->end() ? std::string() : it->second, false);
    } catch (const std::exception&) {
        return kE_FAIL;
    }
}

std::uint32_t TQuillonPI::QueryStatus(std::uint32_t& firstCommandFlags)
{
    firstCommandFlags = kOLECMDF_ENABLED;
    return kS_OK;
}

std::uint32_t TQuillonPI::WakeOrStart(const std::string& appPath, bool notify)
{
    if (platform_.activateRunning()) {
        if (notify)
            platform_.notifyRunning();
        return kS_OK;
    }
    return platform_.startProgram(appPath) ? kS_OK : kE_FAIL;
}

} // namespace quillon
