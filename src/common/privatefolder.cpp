#include "common/privatefolder.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

bool MakePrivateFolder(const std::string& path)
{
    if (path.empty())
        return false;
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

} // namespace quillon
