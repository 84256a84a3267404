#include "app/ui/desktoptrash.h"

#include "logodir/directoryops.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <optional>

#include <sys/stat.h>

namespace quillon {

namespace {

std::optional<dev_t> VolumeOf(const QString& path)
{
    struct stat s{};
    if (::stat(QFile::encodeName(path).constData(), &s) != 0)
        return std::nullopt;
    return s.st_dev;
}

// Whether the user's trash ($XDG_DATA_HOME/Trash) exists, made if need be in the layout
// freedesktop.org's desktops share, and lies on the file's volume, so the file moves there by a rename.
// Only then is the toolkit asked: where it finds no trash it makes "files" and "info"
// folders in the current folder, which may be the user's or the logo directory's.
bool HomeTrashTakes(const std::string& path)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return false;
    const QString trash = dataHome + "/Trash";
    if (!QDir().mkpath(dataHome))
        return false;
    for (const QString& folder : {trash, trash + "/files", trash + "/info"}) {
        if (!QDir(folder).exists() && !QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return false;
    }
    struct stat file{};
    if (::lstat(path.c_str(), &file) != 0)
        return false;
    // The toolkit takes the home trash only for files on the home folder's volume.
    return VolumeOf(trash + "/files") == file.st_dev && VolumeOf(QDir::homePath()) == file.st_dev;
}

} // namespace

bool MoveFileToTrash(const std::string& path)
{
    if (HomeTrashTakes(path) && QFile::moveToTrash(QString::fromStdString(path)))
        return true;
    // The user has confirmed the delete: without a trash for it the file goes as it always
    // did. One that cannot be deleted either stays, and the delete is reported as failed.
    return DeleteFileForGood(path);
}

} // namespace quillon
