#include "common/libraryoutput.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace quillon {

namespace {

std::mutex& Lock()
{
    static std::mutex* lock = new std::mutex; // used by threads that may outlive exit
    return *lock;
}

// Guarded by Lock().
int quietScopes = 0;
bool redirected = false;
int terminal = -1; // while redirected: descriptor 2 as it was before

void WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace

bool DiagnosticsWanted()
{
    const char* value = std::getenv(kDiagnosticsVariable);
    return value && *value && std::strcmp(value, "0") != 0;
}

TQuietLibraryOutput::TQuietLibraryOutput()
{
    std::lock_guard lock(Lock());
    if (quietScopes++ > 0 || DiagnosticsWanted())
        return;
    terminal = fcntl(2, F_DUPFD_CLOEXEC, 3);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    // Without a copy of the terminal the program's messages would go too: keep it all.
    if (terminal >= 0 && null >= 0)
        redirected = dup2(null, 2) == 2;
    if (null >= 0)
        close(null);
    if (!redirected && terminal >= 0) {
        close(terminal);
        terminal = -1;
    }
}

TQuietLibraryOutput::~TQuietLibraryOutput()
{
    std::lock_guard lock(Lock());
    if (--quietScopes > 0 || !redirected)
        return;
    dup2(terminal, 2);
    close(terminal);
    terminal = -1;
    redirected = false;
}

void WriteProgramMessage(const std::string& text)
{
    std::lock_guard lock(Lock());
    WriteAll(redirected ? terminal : 2, text.data(), text.size());
}

} // namespace quillon
