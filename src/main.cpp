#include "app/messages.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "app/ui/terminationsignals.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(quillon::kMainCaption);
    QApplication::setApplicationDisplayName(quillon::kMainCaption);
    QApplication::setApplicationVersion(quillon::kAppVersion);

    quillon::TRealPlatform platform;
    // Everything the program keeps lives beside its executable.
    const quillon::TAppEnvironment env =
        platform.Environment(QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/");

    // Caught from before the window exists, so a termination request during start-up is
    // served by the event loop like any other instead of killing the program.
    quillon::TTerminationSignals termination;
    try {
        quillon::TQuillonApplication quillon(env);
        QObject::connect(&termination, &quillon::TTerminationSignals::Received, &quillon.MainForm(),
                         [&] { quillon.MainForm().close(); });
        return quillon.Exec();
    } catch (const std::logic_error& e) {
        std::fprintf(stderr, "quillon: %s\n", e.what());
        return 70;
    }
}
