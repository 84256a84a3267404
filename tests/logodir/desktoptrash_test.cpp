// Deleted pictures go to the desktop's trash in the shape its file managers read, so they
// can be put back where they were.
#include "logodir/desktoptrash.h"

#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillon;
using quillon::test::TTempDir;
using quillon::test::TScopedEnv;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t ModeOf(const fs::path& p)
{
    struct stat st{};
    ::lstat(p.c_str(), &st);
    return st.st_mode & 07777;
}

std::set<std::string> Entries(const fs::path& folder)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.insert(entry.path().filename().string());
    return names;
}

std::string RunCommand(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int rc = ::pclose(pipe);
    if (status)
        *status = rc;
    return output;
}

TEST(TrashInfoPath, EncodedAsAUrlPathAndRelativeToTheTopOfAVolume)
{
    const struct {
        const char* path;
        const char* topDir;
        const char* expected;
    } cases[] = {
        {"/pics/100% juice.jpg", "", "/pics/100%25%20juice.jpg"},
        {"/pics/a%41.jpg", "", "/pics/a%2541.jpg"},  // not decoded to "aA.jpg" on the way back
        {"/pics/K\xC3\xA4se \xC3\xBC.jpg", "", "/pics/K%C3%A4se%20%C3%BC.jpg"},
        {"/pics/two\nlines.jpg", "", "/pics/two%0Alines.jpg"},
        {"/p/A-z_0.9~#?&=+;'.jpg", "", "/p/A-z_0.9~%23%3F%26%3D%2B%3B%27.jpg"},
        {"/mnt/usb/pics/a b.jpg", "/mnt/usb", "pics/a%20b.jpg"},
        {"/mnt/usb/pics/a b.jpg", "/mnt/usb/", "pics/a%20b.jpg"},
        {"/pics/a.jpg", "/", "pics/a.jpg"},
        // A folder whose name only starts like the top's stays whole.
        {"/mnt/usb2/a.jpg", "/mnt/usb", "/mnt/usb2/a.jpg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(TrashInfoPath(c.path, c.topDir), c.expected);
    }
}

TEST(MoveFileToTrash, TheFileGoesToTheUsersTrashOrWhereThereIsNoneAway)
{
    TTempDir home, pictures;
    struct {
        const char* name;
        std::string dataHome;
        bool trashed;
    } cases[] = {
        // The trash is made where there is none yet, as the desktop would make it.
        {"a trash", (home.Path() / "new" / "share").string(), true},
        {"no trash can be made", home.Write("file", "x").string() + "/share", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedEnv dataHome("XDG_DATA_HOME", c.dataHome);
        const fs::path picture = pictures.Write("100% juice.jpg", "JPEG");
        EXPECT_TRUE(MoveFileToTrash(picture.string()));
        EXPECT_FALSE(fs::exists(picture));
        const fs::path trash = fs::path(c.dataHome) / "Trash";
        EXPECT_EQ(Entries(trash / "files"), c.trashed ? std::set<std::string>{"100% juice.jpg"} : std::set<std::string>{});
        if (c.trashed) {
            for (const fs::path& folder : {home.Path() / "new", fs::path(c.dataHome), trash, trash / "files", trash / "info"})
                EXPECT_EQ(ModeOf(folder), 0700u) << folder;
            EXPECT_EQ(ReadFile(trash / "files" / "100% juice.jpg"), "JPEG");
            const std::string info = ReadFile(trash / "info" / "100% juice.jpg.trashinfo");
            const std::string head = "[Trash Info]\nPath="
                + TrashInfoPath((fs::canonical(pictures.Path()) / "100% juice.jpg").string()) + "\nDeletionDate=";
            ASSERT_EQ(info.substr(0, head.size()), head);
            EXPECT_TRUE(std::regex_match(info.substr(head.size()), std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
                << info;
        }
        // No stand-in trash is left beside the picture or in the current folder.
        for (const fs::path& folder : {pictures.Path(), fs::current_path()})
            for (const char* part : {"files", "info"})
                EXPECT_FALSE(fs::exists(folder / part)) << folder / part;
    }
    EXPECT_TRUE(MoveFileToTrash((pictures.Path() / "gone.jpg").string())) << "already gone counts as removed";
}

// A file manager's restore, through GIO: it reads each entry of trash:// with its original
// path and moves the file there. (GLib 2.74's "gio trash --restore" prints that path's
// non-ASCII bytes escaped and restores to the escaped name, whoever wrote the entry.)
constexpr const char* kRestoreScript = R"(
import sys
from gi.repository import Gio
below = sys.argv[1] + "/"
trash = Gio.File.new_for_uri("trash:///")
for info in trash.enumerate_children("standard::name,trash::orig-path", Gio.FileQueryInfoFlags.NONE, None):
    original = info.get_attribute_byte_string("trash::orig-path")
    if original is None:
        print("no original path:", repr(info.get_name()))
    elif original.startswith(below):
        trash.get_child(info.get_name()).move(Gio.File.new_for_path(original), Gio.FileCopyFlags.NOFOLLOW_SYMLINKS)
        print("restored", repr(original[len(below):]))
)";

// GIO finds the trash through gvfs, started on a session bus of the test's own.
TEST(MoveFileToTrash, TheDesktopRestoresEachFileWhereItWas)
{
    TTempDir home, pictures, runtime;
    const fs::path dataHome = home.Path() / ".local" / "share";
    TScopedEnv dataHomeEnv("XDG_DATA_HOME", dataHome.string());
    std::string longName;
    for (int i = 0; i < 122; ++i)
        longName += "\xC3\xBC";  // with ".jpg.trashinfo" too long for a name: the entry's name is cut
    const std::vector<std::pair<std::string, std::string>> files = {
        {"my pictures/100% juice.jpg", "juice"},
        {"my pictures/" + longName + ".jpg", "long"},
        {"my pictures/a%41.jpg", "not aA"},
        {"my pictures/K\xC3\xA4se \xC3\xBC.jpg", "cheese"},
        {"my pictures/two\nlines.jpg", "two"},
        // The same name trashed twice: the second entry takes another name in the trash.
        {"my pictures/same.jpg", "first"},
        {"other/same.jpg", "second"},
    };
    for (const auto& [relative, bytes] : files)
        ASSERT_TRUE(MoveFileToTrash(pictures.Write(relative, bytes).string())) << relative;
    const fs::path trash = dataHome / "Trash";
    EXPECT_EQ(Entries(trash / "files").size(), files.size());

    std::ofstream(runtime.Path() / "restore.py") << kRestoreScript;
    int status = -1;
    const std::string output = RunCommand(
        "env -u DBUS_SESSION_BUS_ADDRESS HOME='" + home.Path().string() + "' XDG_DATA_HOME='" + dataHome.string()
            + "' XDG_RUNTIME_DIR='" + runtime.Path().string() + "' timeout 60 dbus-run-session -- /usr/bin/python3 '"
            + (runtime.Path() / "restore.py").string() + "' '" + fs::canonical(pictures.Path()).string() + "' 2>&1",
        &status);
    ASSERT_EQ(status, 0) << "needs GIO for Python and gvfs (scripts/install-deps.sh --tests):\n" << output;
    for (const auto& [relative, bytes] : files) {
        SCOPED_TRACE(relative);
        EXPECT_EQ(pictures.Read(relative), bytes) << output;
    }
    EXPECT_FALSE(pictures.Exists("my pictures/aA.jpg"));
    EXPECT_TRUE(Entries(trash / "files").empty()) << output;
    EXPECT_TRUE(Entries(trash / "info").empty()) << output;
}

// A tmpfs mounted for one test: another volume than the home trash's.
class TVolume {
public:
    explicit TVolume(const fs::path& at) : at_(at)
    {
        fs::create_directories(at_);
        mounted_ = ::mount("quillon-test", at_.c_str(), "tmpfs", 0, "size=1m,mode=0755") == 0;
    }
    ~TVolume()
    {
        if (mounted_)
            ::umount2(at_.c_str(), MNT_DETACH);
    }
    TVolume(const TVolume&) = delete;
    TVolume& operator=(const TVolume&) = delete;

    bool Mounted() const { return mounted_; }
    void Empty() const
    {
        for (const auto& entry : fs::directory_iterator(at_))
            fs::remove_all(entry.path());
    }

private:
    fs::path at_;
    bool mounted_ = false;
};

TEST(MoveFileToTrash, AFileOnAnotherVolumeGoesToThatVolumesTrash)
{
    TTempDir home, dir;
    const fs::path top = fs::canonical(dir.Path()) / "volume";
    TVolume volume(top);
    if (!volume.Mounted())
        GTEST_SKIP() << "another volume needs a tmpfs mounted, which takes root";
    TScopedEnv dataHome("XDG_DATA_HOME", home.Path().string());
    const std::string uid = std::to_string(getuid());
    const fs::path own = top / (".Trash-" + uid), sharedMine = top / ".Trash" / uid;

    const struct {
        const char* name;
        std::function<void()> prepare;
        std::optional<fs::path> trash;  // none: deleted for good
        std::string noTrashIn;
    } cases[] = {
        {"a trash of the user's own, made", [] {}, own, {}},
        {"the shared trash with the sticky bit",
         [&] {
             fs::create_directory(top / ".Trash");
             ::chmod((top / ".Trash").c_str(), 01777);
         },
         sharedMine, {}},
        {"a shared trash without the sticky bit is not used",
         [&] {
             fs::create_directory(top / ".Trash");
             ::chmod((top / ".Trash").c_str(), 0777);
         },
         own, {}},
        {"a shared trash that is a link is not used",
         [&] {
             fs::create_directory(top / "elsewhere");
             ::chmod((top / "elsewhere").c_str(), 01777);
             fs::create_directory_symlink("elsewhere", top / ".Trash");
         },
         own, {}},
        {"no trash can be made", [&] { std::ofstream(own) << "x"; }, std::nullopt, {}},
        {"the volume is the application's folder", [] {}, std::nullopt, top.string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        volume.Empty();
        c.prepare();
        const fs::path picture = top / "pics" / "a b.jpg";
        fs::create_directories(picture.parent_path());
        std::ofstream(picture) << "JPEG";

        EXPECT_TRUE(MoveFileToTrash(picture.string(), c.noTrashIn));
        EXPECT_FALSE(fs::exists(picture));
        EXPECT_FALSE(fs::exists(home.Path() / "Trash" / "files" / "a b.jpg")) << "not the home trash: another volume";
        if (c.trash) {
            EXPECT_EQ(ModeOf(*c.trash), 0700u);
            EXPECT_EQ(ReadFile(*c.trash / "files" / "a b.jpg"), "JPEG");
            const std::string info = ReadFile(*c.trash / "info" / "a b.jpg.trashinfo");
            EXPECT_NE(info.find("\nPath=pics/a%20b.jpg\n"), std::string::npos) << info;
        } else {
            EXPECT_FALSE(fs::is_directory(own));
            EXPECT_FALSE(fs::exists(sharedMine));
        }
    }
}

} // namespace
