#include "app/ui/desktoptrash.h"

#include "logodir/directoryops.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>

namespace quillon {

namespace {

// Whether the user's trash ($XDG_DATA_HOME/Trash) exists, made if need be as the trash
// specification asks, and lies on the file's volume, so the file moves there by a rename.
// Only then is the toolkit asked: where it finds no trash it makes "files" and "info"
// folders beside the file, which inside a logo folder would keep that folder from ever
// being deleted.
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
    struct stat file{}, files{};
    return ::lstat(path.c_str(), &file) == 0 && ::stat(QFile::encodeName(trash + "/files").constData(), &files) == 0 &&
           file.st_dev == files.st_dev;
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
