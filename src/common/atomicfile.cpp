#include "common/atomicfile.h"

#include "common/error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

std::string SystemText(const std::string& what, int err)
{
    return what + ": " + std::strerror(err);
}

} // namespace

void WriteFileAtomically(const std::filesystem::path& target, std::string_view data, bool ownerOnly)
{
    std::string tmpl = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    if (target.parent_path().empty())
        tmpl = "." + target.filename().string() + ".XXXXXX";
    int fd = mkstemp(tmpl.data());
    if (fd < 0)
        throw QuillonError(SystemText("Cannot create a file in " + target.parent_path().string(), errno));

    // mkstemp creates 0600; ordinary files get the usual umask-governed mode.
    if (!ownerOnly) {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }

    auto fail = [&](const std::string& what) {
        int err = errno;
        close(fd);
        unlink(tmpl.c_str());
        throw QuillonError(SystemText(what, err));
    };

    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot write " + target.string());
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (fsync(fd) != 0)
        fail("Cannot write " + target.string());
    if (close(fd) != 0) {
        int err = errno;
        unlink(tmpl.c_str());
        throw QuillonError(SystemText("Cannot write " + target.string(), err));
    }
    if (rename(tmpl.c_str(), target.c_str()) != 0) {
        int err = errno;
        unlink(tmpl.c_str());
        throw QuillonError(SystemText("Cannot replace " + target.string(), err));
    }
}

} // namespace quillon
