#include "app/ui/platformadapters.h"

#include "logodir/directoryops.h"
#include "options/ui/colorbutton.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>

namespace quillon {

QString ToDialogFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts[i];
        const int paren = label.indexOf('(');
        if (paren >= 0)
            label = label.left(paren).trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        out << QString("%1 (%2)").arg(label, patterns);
    }
    return out.join(";;");
}

std::string AskOpenFile(QWidget* parent, const std::string& filter)
{
    // Qt's own dialog, so the program behaves the same on every desktop.
    return QFileDialog::getOpenFileName(parent ? parent : QApplication::activeWindow(), QString(), QString(),
                                        ToDialogFilter(filter), nullptr, QFileDialog::DontUseNativeDialog)
        .toStdString();
}

std::string AskSaveFile(QWidget* parent, const std::string& fileName, const std::string& folder,
                        const std::string& filter, const std::string& defaultExtension)
{
    QFileDialog dialog(parent ? parent : QApplication::activeWindow());
    dialog.setObjectName("SaveImageDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog, the same on every desktop; the program asks before overwriting.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(ToDialogFilter(filter));
    dialog.setDefaultSuffix(QString::fromStdString(defaultExtension));
    if (!folder.empty())
        dialog.setDirectory(QString::fromStdString(folder));
    dialog.selectFile(QString::fromStdString(fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

bool PickColor(QWidget* parent, int& colour)
{
    const QColor picked = QColorDialog::getColor(ColorFromBGR(colour), parent ? parent : QApplication::activeWindow(), QString(),
                                                 QColorDialog::DontUseNativeDialog);
    if (!picked.isValid())
        return false;
    colour = BGRFromColor(picked);
    return true;
}

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

std::string LaunchBrowser(const std::string& url)
{
    QString program = qEnvironmentVariable("BROWSER");
    if (program.isEmpty())
        program = "xdg-open";
    const QString path = QStandardPaths::findExecutable(program);
    QProcess process;
    process.setProgram(path.isEmpty() ? program : path);
    process.setArguments({QString::fromStdString(url)});
    if (process.startDetached())
        return {};
    // The system's reason, then the program that could not be started.
    return process.errorString().left(255).toStdString() + " " + process.program().toStdString();
}

bool MoveFileToTrash(const std::string& path)
{
    if (HomeTrashTakes(path) && QFile::moveToTrash(QString::fromStdString(path)))
        return true;
    // The user has confirmed the delete: without a trash for it the file goes as it always
    // did. One that cannot be deleted either stays, and the delete is reported as failed.
    return DeleteFileForGood(path);
}

} // namespace quillon
