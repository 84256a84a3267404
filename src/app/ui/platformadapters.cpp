#include "app/ui/platformadapters.h"

#include "acquire/ui/portalscreenshot.h"
#include "common/error.h"
#include "common/ui/windowsystem.h"
#include "imaging/ui/qtbitmap.h"
#include "options/ui/colorbutton.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

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

QString DialogStartFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

std::string AskOpenFile(QWidget* parent, const std::string& filter)
{
    // The next Open starts where the last one found its picture.
    static QString lastFolder;
    if (lastFolder.isEmpty())
        lastFolder = DialogStartFolder();
    // Qt's own dialog, so the program behaves the same on every desktop.
    const QString file =
        QFileDialog::getOpenFileName(parent ? parent : QApplication::activeWindow(), QString(), lastFolder,
                                     ToDialogFilter(filter), nullptr, QFileDialog::DontUseNativeDialog);
    if (!file.isEmpty())
        lastFolder = QFileInfo(file).absolutePath();
    return file.toStdString();
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
    dialog.setDirectory(folder.empty() ? DialogStartFolder() : QString::fromStdString(folder));
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

namespace {

// The portal answers with the whole desktop; the grab shows the primary screen.
QImage PrimaryScreenPart(const QImage& desktop, const QScreen& screen)
{
    const qreal scale = screen.devicePixelRatio();
    const QRect logical(screen.geometry().topLeft() - screen.virtualGeometry().topLeft(), screen.geometry().size());
    const QRect device(QPoint(qRound(logical.x() * scale), qRound(logical.y() * scale)),
                       QSize(qRound(logical.width() * scale), qRound(logical.height() * scale)));
    if (device.isEmpty() || device == desktop.rect() || !desktop.rect().contains(device))
        return desktop;
    return desktop.copy(device);
}

} // namespace

std::optional<TBitmap> GrabPrimaryScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    if (ScreenNeedsPortal()) {
        const TPortalScreenshot shot = TakePortalScreenshot();
        const TScreenSource source = ChooseScreenSource(shot.outcome, NativeWayland());
        if (!source.problem.empty())
            throw QuillonError(source.problem);
        if (source.kind == TScreenSource::PortalPicture)
            return BitmapFromImage(PrimaryScreenPart(shot.image, *screen));
        if (source.kind == TScreenSource::Nothing)
            return std::nullopt;
    }
    // Window 0 is the whole screen; the pixmap comes in device pixels.
    const QImage image = screen->grabWindow(0).toImage();
    if (image.isNull())
        return std::nullopt;
    return BitmapFromImage(image);
}

} // namespace quillon
