#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace quillon::test {

// A fresh folder for one test, removed with everything in it afterwards.
class TTempDir {
public:
    TTempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TTempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The folder as an application directory: with a trailing separator.
    std::string AppDir() const { return path_.string() + "/"; }

    std::filesystem::path Write(const std::string& relative, const std::string& content) const
    {
        std::filesystem::path p = path_ / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(path_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::string& relative) const { return std::filesystem::exists(path_ / relative); }

private:
    std::filesystem::path path_;
};

} // namespace quillon::test
