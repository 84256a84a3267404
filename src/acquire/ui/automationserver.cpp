#include "acquire/ui/automationserver.h"

#include "app/messages.h"
#include "app/ui/instancechannel.h"
#include "common/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <exception>

namespace quillon {

uint TQuillonPIAdaptor::AddImageURL(const QString& ImageURL) { return pi_.AddImageURL(ImageURL.toStdString()); }

uint TCommandTargetAdaptor::Exec() { return pi_.Exec(); }

uint TCommandTargetAdaptor::QueryStatus(uint& flags)
{
    std::uint32_t f = 0;
    const std::uint32_t result = pi_.QueryStatus(f);
    flags = f;
    return result;
}

TAutomationServer::TAutomationServer(TSettingsStore& store, TInstanceChannel& instances, QString programName,
                                     QObject* parent)
    : QObject(parent), object_(new QObject(this))
{
    TQuillonPI::TPlatform platform;
    platform.store = &store;
    platform.activateRunning = [&instances] { return instances.Send(kMainCaption, "activate"); };
    // The window picks the URL up in its own message handling, never inside this call.
    platform.notifyRunning = [&instances] { instances.Send(kMainCaption, "message 1025"); };
    platform.startProgram = [programName](const std::string& appPath) {
        const QString folder = QString::fromStdString(appPath);
        return !folder.isEmpty() && QProcess::startDetached(folder + "/" + programName, {}, folder);
    };
    pi_ = std::make_unique<TQuillonPI>(std::move(platform));
    new TQuillonPIAdaptor(object_, *pi_);
    new TCommandTargetAdaptor(object_, *pi_);
}

TAutomationServer::~TAutomationServer()
{
    if (bus_) {
        bus_->unregisterObject(kAutomationPath);
        if (!busName_.isEmpty())
            bus_->unregisterService(busName_);
    }
}

bool TAutomationServer::Register(QDBusConnection bus)
{
    if (!bus.isConnected())
        return false;
    bus_ = std::make_unique<QDBusConnection>(bus);
    if (!bus_->registerObject(kAutomationPath, object_, QDBusConnection::ExportAdaptors))
        return false;
    if (!bus_->registerService(kAutomationService))
        return false;
    busName_ = kAutomationService;
    return true;
}

TAutomationSwitch FindAutomationSwitch(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a.size() < 2 || (a[0] != '/' && a[0] != '-'))
            continue;
        const QString name = a.mid(1).toUpper();
        if (name == "REGSERVER")
            return TAutomationSwitch::RegServer;
        if (name == "UNREGSERVER")
            return TAutomationSwitch::UnregServer;
        if (name == "AUTOMATION" || name == "EMBEDDING")
            return TAutomationSwitch::Automation;
    }
    return TAutomationSwitch::None;
}

QString ActivationFilePath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (!base.startsWith('/'))
        base = QDir::homePath() + "/.local/share";
    return base + "/dbus-1/services/" + kAutomationService + ".service";
}

namespace {

// The bus splits Exec like a shell; single quotes keep a folder with blanks in one piece.
QString ShellQuoted(const QString& s)
{
    QString q = s;
    q.replace("'", "'\\''");
    return "'" + q + "'";
}

} // namespace

QString RegisterServer(TSettingsStore& store, const QString& appDir, const QString& program)
{
    QString folder = appDir;
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    const QString text = QString("[D-BUS Service]\nName=%1\nExec=%2 -AUTOMATION\n")
                             .arg(kAutomationService, ShellQuoted(folder + "/" + program));
    try {
        const QString path = ActivationFilePath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        WriteFileAtomically(path.toStdString(), text.toStdString());
        store.CreateWith(kAppPathValue, folder.toStdString());
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

QString UnregisterServer(TSettingsStore& store)
{
    const QString path = ActivationFilePath();
    if (QFile::exists(path) && !QFile::remove(path))
        return "Cannot remove " + path;
    try {
        store.RemoveKey();
    } catch (const std::exception& e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

} // namespace quillon
