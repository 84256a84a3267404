#pragma once

#include <functional>
#include <string>

namespace quillon {

// Where the program's files live. In a folder the user can write (the build folder, the
// per-user install) both are the executable's folder, as they always were. A system
// install under a prefix such as /usr reads its shipped files from <prefix>/share/quillon
// and keeps each user's files in that user's data folder.
struct TAppFolders {
    std::string userDir;     // logodirectory.xml, options.xml, Logo Directory/, Temp/ ...; ends with "/"
    std::string shippedDir;  // phoneslist.xml, parameters.xml, the help file (only read); ends with "/"
};

// What the choice looks at besides the folders on disk, so a test can play root or a user
// without write access.
struct TFolderFacts {
    std::function<const char*(const char* name)> getenv;
    std::function<bool(const std::string& folder)> writable;
    std::string accountHome;  // the home folder of the user's account entry, "" when none

    static TFolderFacts Real();
};

// The shipped file whose presence marks a folder as holding the shipped files: without it
// the program cannot start, so a folder lacking it holds no usable copy.
inline constexpr const char* kShippedMarkerFile = "phoneslist.xml";

// exeDir: the absolute folder of the running executable (links resolved). userDir is
// empty when the user's files belong in the data folder and no home can be found.
TAppFolders ChooseAppFolders(const std::string& exeDir, const TFolderFacts& facts);

// ${XDG_DATA_HOME:-$HOME/.local/share}/quillon/; a relative XDG_DATA_HOME is ignored, as
// the desktop ignores it. Empty when there is no home to put it in.
std::string UserDataFolder(const TFolderFacts& facts);

// Creates the user's folder and its missing parents for this user alone (an existing one
// is left as it is). Returns an error text naming the folder, empty on success.
std::string MakeUserFolder(const std::string& folder);

} // namespace quillon
