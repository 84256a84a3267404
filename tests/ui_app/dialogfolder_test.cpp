#include "app/ui/platformadapters.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

using test::TScopedEnv;

TEST(DialogStartFolder, ThePicturesFolderOfTheDesktopElseHome)
{
    const struct {
        const char* name;
        std::string userDirs;   // the user's user-dirs.dirs, or none
        const char* madeFolder; // a folder under home that exists, or none
        const char* expected;   // under home
    } cases[] = {
        {"no pictures folder", "", nullptr, ""},
        {"the usual one", "", "Pictures", "Pictures"},
        {"named by user-dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", "Bilder", "Bilder"},
        {"named but missing", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", nullptr, ""},
    };
    for (const auto& c : cases) {
        test::TTempDir home;
        if (!c.userDirs.empty())
            home.Write(".config/user-dirs.dirs", c.userDirs);
        if (c.madeFolder)
            std::filesystem::create_directories(home.Path() / c.madeFolder);
        TScopedEnv homeEnv("HOME", home.Path().string());
        TScopedEnv configEnv("XDG_CONFIG_HOME", (home.Path() / ".config").string());
        const std::filesystem::path expected = *c.expected ? home.Path() / c.expected : home.Path();
        EXPECT_EQ(std::filesystem::path(DialogStartFolder().toStdString()).lexically_normal(),
                  expected.lexically_normal())
            << c.name;
    }
}

} // namespace
} // namespace quillon
