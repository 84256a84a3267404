#include "app/ui/platformadapters.h"

#include <QApplication>
#include <QFileDialog>
#include <QProcess>
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

std::string AskOpenFile(QWidget* parent, const std::string& filter)
{
    // Qt's own dialog, so the program behaves the same on every desktop.
    return QFileDialog::getOpenFileName(parent ? parent : QApplication::activeWindow(), QString(), QString(),
                                        ToDialogFilter(filter), nullptr, QFileDialog::DontUseNativeDialog)
        .toStdString();
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

} // namespace quillon
