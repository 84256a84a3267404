#include "app/messages.h"
#include "app/ui/instancechannel.h"
#include "app/ui/quillonapplication.h"
#include "common/ui/messageboxprompts.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(quillon::kMainCaption);
    QApplication::setApplicationDisplayName(quillon::kMainCaption);
    QApplication::setApplicationVersion(quillon::kAppVersion);

    quillon::TMessageBoxPrompts prompts;
    quillon::TInstanceChannel instances;
    quillon::TAppEnvironment env;
    // Everything the program keeps lives beside its executable.
    env.appDir = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
    env.prompts = &prompts;
    env.instances = &instances;

    quillon::TQuillonApplication quillon(env);
    return quillon.Exec();
}
