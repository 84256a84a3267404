#include "app/commandline.h"

#include <filesystem>

namespace quillon {

std::vector<std::string> PictureArguments(const std::vector<std::string>& arguments, const std::string& currentDir)
{
    std::vector<std::string> paths;
    bool optionsEnded = false;
    for (const std::string& a : arguments) {
        if (a.empty())
            continue;
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && a[0] == '-')
            continue;
        const std::filesystem::path p(a);
        // Joined, not normalised: "dir/../x" through a link to a folder is not "x".
        paths.push_back((p.is_absolute() ? p : std::filesystem::path(currentDir) / p).string());
    }
    return paths;
}

} // namespace quillon
