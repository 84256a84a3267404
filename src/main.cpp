#include "app/messages.h"
#include "app/ui/instancechannel.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/terminationsignals.h"
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

    // Caught from before the window exists, so a termination request during start-up is
    // served by the event loop like any other instead of killing the program.
    quillon::TTerminationSignals termination;
    quillon::TQuillonApplication quillon(env);
    QObject::connect(&termination, &quillon::TTerminationSignals::Received, &quillon.MainForm(),
                     [&] { quillon.MainForm().close(); });
    return quillon.Exec();
}
