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

TInfoSwitch FindInfoSwitch(const std::vector<std::string>& arguments)
{
    for (const std::string& a : arguments) {
        if (a == "--")
            break;
        if (a == "--help" || a == "-h")
            return TInfoSwitch::Help;
        if (a == "--version")
            return TInfoSwitch::Version;
    }
    return TInfoSwitch::None;
}

std::string UsageText()
{
    return "Usage: quillon [PICTURE...]\n"
           "       quillon -REGSERVER | -UNREGSERVER\n"
           "\n"
           "Turns pictures into wallpapers and logos at a phone's screen size and uploads them to\n"
           "a web service that answers with the URL the phone opens. Pictures named here are\n"
           "added to the logo directory as File > Open adds them; when Quillon is already\n"
           "running, they go to that copy.\n"
           "\n"
           "Options:\n"
           "  -REGSERVER            register the browser hand-off (the settings key and a session\n"
           "                        bus activation file) and exit; any case, \"-\" or \"/\"\n"
           "  -UNREGSERVER          remove that registration and exit\n"
           "  -AUTOMATION, -EMBEDDING  how the session bus starts it for a hand-off; runs as without\n"
           "                        them\n"
           "  --                    what follows is a picture even when it begins with \"-\"\n"
           "  -h, --help            show this text and exit\n"
           "  --version             show the version and exit\n"
           "\n"
           "Qt's own options apply too, e.g. -platform NAME, -display DISPLAY, -style NAME.\n"
           "The manual page quillon(1) tells where the files live.\n";
}

} // namespace quillon
