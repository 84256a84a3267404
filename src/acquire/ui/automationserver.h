#pragma once

#include "acquire/quillonpi.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace quillon {

class TInstanceChannel;

// The plug-in object on the D-Bus session bus: service kAutomationService, object
// kAutomationPath, interfaces kPluginInterface (AddImageURL) and kCommandInterface
// (Exec, QueryStatus). Results are the HRESULT values 0 and 0x80004005.
inline constexpr const char* kAutomationService = "org.quillon.QuillonPI";
inline constexpr const char* kAutomationPath = "/QuillonPI";
inline constexpr const char* kPluginInterface = "org.quillon.IQuillonPI";
inline constexpr const char* kCommandInterface = "org.quillon.OleCommandTarget";

class TQuillonPIAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quillon.IQuillonPI")
public:
    TQuillonPIAdaptor(QObject* parent, TQuillonPI& pi) : QDBusAbstractAdaptor(parent), pi_(pi) {}
public slots:
    uint AddImageURL(const QString& ImageURL);

private:
    TQuillonPI& pi_;
};

class TCommandTargetAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quillon.OleCommandTarget")
public:
    TCommandTargetAdaptor(QObject* parent, TQuillonPI& pi) : QDBusAbstractAdaptor(parent), pi_(pi) {}
public slots:
    uint Exec();
    // The flags of the first command go into flags.
    uint QueryStatus(uint& flags);

private:
    TQuillonPI& pi_;
};

// Serves TQuillonPI for the running program. Finding the running window goes through the
// instance channel; starting the program runs programName in the AppPath folder.
class TAutomationServer : public QObject {
    Q_OBJECT
public:
    TAutomationServer(TSettingsStore& store, TInstanceChannel& instances, QString programName = "quillon",
                      QObject* parent = nullptr);
    ~TAutomationServer() override;

    // Publishes the object and takes the service name; false when the bus is not there
    // or another copy already serves the name.
    bool Register(QDBusConnection bus);

private:
    std::unique_ptr<TQuillonPI> pi_;
    QObject* object_;
    QString busName_;
    std::unique_ptr<QDBusConnection> bus_;
};

// The start switches of the automation server.
enum class TAutomationSwitch { None, RegServer, UnregServer, Automation };
// "REGSERVER", "UNREGSERVER", "AUTOMATION" or "EMBEDDING" after "/" or "-", in any case.
TAutomationSwitch FindAutomationSwitch(const QStringList& arguments);

// Where the bus looks for the activation file: ${XDG_DATA_HOME:-~/.local/share}/dbus-1/services.
QString ActivationFilePath();
// Writes the activation file that starts program with -AUTOMATION and stores AppPath
// (appDir without its trailing "/") in the settings key. Returns an error text, empty on success.
QString RegisterServer(TSettingsStore& store, const QString& appDir, const QString& program);
// Removes the activation file and the settings key. Returns an error text, empty on success.
QString UnregisterServer(TSettingsStore& store);

} // namespace quillon
