#include "common/readfile.h"

#include "common/error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quillon {

std::string ReadWholeFile(const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        throw QuillonError(path + ": " + std::strerror(errno));
    std::string data;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(file.get());
        if (size > 0)
            data.resize(static_cast<size_t>(size));
        std::rewind(file.get());
    }
    // Read straight into the string; a file that grew meanwhile is read to its end.
    size_t have = std::fread(data.data(), 1, data.size(), file.get());
    data.resize(have);
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        data.append(buffer, n);
    if (std::ferror(file.get()))
        throw QuillonError(path + ": " + std::strerror(errno));
    return data;
}

} // namespace quillon
