// Every reader of an application file gets the same input as its file: options,
// logo directory, phone list, service parameters and application state. Each must take
// its fallback for whatever it cannot use, never crash.
#include "app/appstate.h"
#include "datafiles/parameters.h"
#include "datafiles/phoneslist.h"
#include "common/prompts.h"
#include "logodir/logodirfile.h"
#include "logodir/logotree.h"
#include "options/options.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class TSilentPrompts : public quillon::TPrompts {
public:
    void Error(const std::string&) override {}
    void Warning(const std::string&) override {}
    void Information(const std::string&) override {}
    bool Confirm(const std::string&) override { return false; }
    quillon::TAnswer ConfirmCancel(const std::string&) override { return quillon::TAnswer::Cancel; }
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
};

// The application folder of every run, removed when the fuzzer exits.
class TScratchDir {
public:
    TScratchDir()
    {
        // A folder in memory where there is one: every run writes five files.
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string tmpl = (base / "quillon-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            std::abort();
        path_ = tmpl;
        std::filesystem::create_directories(path_ / "Logo Directory");
        appDir_ = tmpl + "/";
    }
    ~TScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& AppDir() const { return appDir_; }

private:
    std::filesystem::path path_;
    std::string appDir_;
};

const std::string& AppDir()
{
    static const TScratchDir dir;
    return dir.AppDir();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& dir = AppDir();
    for (const char* name : {"options.xml", "logodirectory.xml", "phoneslist.xml", "parameters.xml", "appstate.xml"}) {
        // A fresh file each time: rewriting a truncated one makes some file systems flush
        // it to disk on close, which slows every run down to the disk's pace.
        std::filesystem::remove(dir + name);
        std::ofstream(dir + name, std::ios::binary).write(reinterpret_cast<const char*>(data),
                                                          static_cast<std::streamsize>(size));
    }
    TSilentPrompts prompts;
    quillon::TOptions options;
    quillon::LoadOptions(dir, options, prompts, [] { return std::nullopt; });
    quillon::TPhoneMakes phones;
    quillon::LoadPhonesList(dir, phones, prompts);
    quillon::TServiceParameters parameters;
    quillon::LoadParameters(dir, parameters, prompts);
    quillon::TLogoTree tree;
    tree.CreateRootNode();
    quillon::LoadLogoDirectory(dir, tree, prompts);
    // An unreadable directory file is copied aside; one copy at a time is enough here.
    std::filesystem::remove(dir + "logodirectory.xml.bad");
    quillon::LoadAppState(dir, tree, prompts);
    // What was read must also write back.
    (void)quillon::LogoDirectoryXml(tree);
    return 0;
}
