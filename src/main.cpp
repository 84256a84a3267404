#include "acquire/sanescan.h"
#include "acquire/settingsstore.h"
#include "acquire/ui/automationserver.h"
#include "app/appfolders.h"
#include "app/commandline.h"
#include "app/messages.h"
#include "app/ui/mainappform.h"
#include "app/ui/quillonapplication.h"
#include "app/ui/realplatform.h"
#include "app/ui/terminationsignals.h"
#include "common/libraryoutput.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

// REGSERVER and UNREGSERVER do their work and end before any window or display is needed,
// as an installer runs them.
int RunRegistrationSwitch(quillon::TAutomationSwitch which)
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        quillon::WriteProgramMessage("quillon: cannot find the program file: " + ec.message() + "\n");
        return 1;
    }
    quillon::TSettingsFile settings(quillon::TSettingsFile::DefaultPath());
    const QString error =
        which == quillon::TAutomationSwitch::RegServer
            ? quillon::RegisterServer(settings, QString::fromStdString(exe.parent_path().string()),
                                      QString::fromStdString(exe.filename().string()))
            : quillon::UnregisterServer(settings);
    if (!error.isEmpty()) {
        quillon::WriteProgramMessage("quillon: " + error.toLocal8Bit().toStdString() + "\n");
        return 1;
    }
    return 0;
}

// The arguments left once Qt has taken its own, less the start switches.
std::vector<std::string> PictureArguments(const QStringList& arguments)
{
    std::vector<std::string> rest;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (quillon::FindAutomationSwitch({QString(), arguments[i]}) == quillon::TAutomationSwitch::None)
            rest.push_back(arguments[i].toStdString());
    }
    return quillon::PictureArguments(rest, QDir::currentPath().toStdString());
}

// Ends the process with the program's status. While SANE's backends are still listing
// devices on their thread, the libraries' exit handlers must not run: they tear down what
// that thread is using (OpenSSL under a network scanner backend) and the program would
// crash after a clean shutdown. Everything the program keeps is written by then.
int EndProcess(int status)
{
    if (quillon::TSaneDeviceList::Process().Listing()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

// Qt's messages are the program's own: they reach the terminal while the scanner
// libraries' output is kept off it.
void ProgramMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    quillon::WriteProgramMessage(qFormatLogMessage(type, context, message).toLocal8Bit().toStdString() + "\n");
}

int RunProgram(int argc, char** argv)
{
    qInstallMessageHandler(ProgramMessageHandler);
    switch (quillon::FindInfoSwitch(std::vector<std::string>(argv + 1, argv + argc))) {
    case quillon::TInfoSwitch::Help:
        std::fputs(quillon::UsageText().c_str(), stdout);
        return 0;
    case quillon::TInfoSwitch::Version:
        std::printf("quillon %s\n", quillon::kAppVersion);
        return 0;
    case quillon::TInfoSwitch::None:
        break;
    }
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // AUTOMATION and EMBEDDING (a start by the bus) run the program as any other start.
    const quillon::TAutomationSwitch automationSwitch = quillon::FindAutomationSwitch(arguments);
    if (automationSwitch == quillon::TAutomationSwitch::RegServer ||
        automationSwitch == quillon::TAutomationSwitch::UnregServer)
        return RunRegistrationSwitch(automationSwitch);

    QApplication app(argc, argv);
    QApplication::setApplicationName(quillon::kMainCaption);
    QApplication::setApplicationDisplayName(quillon::kMainCaption);
    QApplication::setApplicationVersion(quillon::kAppVersion);
    // Ties the window to its desktop entry (its icon and name in the task bar).
    QGuiApplication::setDesktopFileName("org.quillon.Quillon");

    quillon::TRealPlatform platform;
    // Beside the executable when the user can write there; a system install's users keep
    // their files in their own data folder.
    const quillon::TAppFolders folders = quillon::ChooseAppFolders(
        QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString(), quillon::TFolderFacts::Real());
    const std::string folderError = folders.userDir.empty() ? std::string(quillon::kMsgNoUserFolder)
                                                             : quillon::MakeUserFolder(folders.userDir);
    quillon::TAppEnvironment env = platform.Environment(folders);
    if (!folderError.empty()) {
        quillon::WriteProgramMessage("quillon: " + folderError + "\n");
        env.prompts->Error(folderError);
        return 1;
    }
    env.openFiles = PictureArguments(QCoreApplication::arguments());

    // The plug-in object is served before the window exists; its calls are handled once
    // the event loop runs. Without a session bus the program runs without it.
    quillon::TAutomationServer automation(platform.Settings(), platform.Instances(),
                                          QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    automation.Register(QDBusConnection::sessionBus());

    // Caught from before the window exists, so a termination request during start-up is
    // served by the event loop like any other instead of killing the program.
    quillon::TTerminationSignals termination;
    try {
        quillon::TQuillonApplication quillon(env);
        QObject::connect(&termination, &quillon::TTerminationSignals::Received, &quillon.MainForm(),
                         [&] { quillon.MainForm().close(); });
        return quillon.Exec();
    } catch (const std::logic_error& e) {
        quillon::WriteProgramMessage(std::string("quillon: ") + e.what() + "\n");
        return 70;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // The program's objects are gone when RunProgram returns.
    return EndProcess(RunProgram(argc, argv));
}
