#include "app/ui/appenvironment.h"

namespace quillon {

std::vector<std::string> TAppEnvironment::MissingAdapters() const
{
    std::vector<std::string> missing;
    if (appDir.empty())
        missing.push_back("appDir");
    if (shippedDir.empty())
        missing.push_back("shippedDir");
    if (!prompts)
        missing.push_back("prompts");
    if (!instances)
        missing.push_back("instances");
    if (!settings)
        missing.push_back("settings");
    if (!scanner)
        missing.push_back("scanner");
    if (!systemProxy)
        missing.push_back("systemProxy");
    if (!askOpenFile)
        missing.push_back("askOpenFile");
    if (!askSaveFile)
        missing.push_back("askSaveFile");
    if (!pickColor)
        missing.push_back("pickColor");
    if (!launchBrowser)
        missing.push_back("launchBrowser");
    if (!grabScreen)
        missing.push_back("grabScreen");
    if (!removeFile)
        missing.push_back("removeFile");
    return missing;
}

} // namespace quillon
