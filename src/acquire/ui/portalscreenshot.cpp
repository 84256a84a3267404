#include "acquire/ui/portalscreenshot.h"

#include "common/ui/windowsystem.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

#include <optional>

namespace quillon {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
// The Response signal's codes: taken, cancelled by the user, ended another way.
constexpr uint kResponseSuccess = 0;
constexpr uint kResponseCancelled = 1;

// The bus's words for "nobody here serves that": no portal, or one without the
// screenshot interface. Any other error is a portal that is there and failed.
bool IsAbsent(const QString& error)
{
    static const QStringList absent{
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
    };
    return absent.contains(error);
}

// Receives the Response signal of one portal request.
class TPortalRequest : public QObject {
    Q_OBJECT
public:
    explicit TPortalRequest(QDBusConnection bus) : bus_(std::move(bus)) {}
    ~TPortalRequest() override
    {
        for (const QString& path : paths_)
            bus_.disconnect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), this,
                            SLOT(Response(uint, QVariantMap)));
    }

    bool Listen(const QString& path)
    {
        if (paths_.contains(path))
            return true;
        paths_ << path;
        return bus_.connect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), this,
                            SLOT(Response(uint, QVariantMap)));
    }

    std::optional<uint> code;
    QVariantMap results;
    QEventLoop loop;

public slots:
    void Response(uint responseCode, const QVariantMap& responseResults)
    {
        code = responseCode;
        results = responseResults;
        loop.quit();
    }

private:
    QDBusConnection bus_;
    QStringList paths_;
};

} // namespace

bool ScreenNeedsPortal()
{
    return NativeWayland() || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

TPortalScreenshot TakePortalScreenshot(int callTimeoutMs, int answerTimeoutMs)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return {};
    // The portal names the request object after the caller and the token, so the answer
    // can be listened for before the call is made: a fast portal answers before its reply.
    const QString token = QStringLiteral("quillon%1").arg(QRandomGenerator::global()->generate());
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    TPortalRequest request(bus);
    request.Listen(QStringLiteral("%1/request/%2/%3").arg(kPortalPath, sender, token));

    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                       QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                       QStringLiteral("Screenshot"));
    call << QString() << QVariantMap{{QStringLiteral("handle_token"), token},
                                     {QStringLiteral("interactive"), false}};
    // A portal that hangs must not hang the program: the call returns at once in a
    // working portal (the answer comes later, as a signal).
    const QDBusMessage reply = bus.call(call, QDBus::BlockWithGui, callTimeoutMs);
    TPortalScreenshot shot;
    if (reply.type() == QDBusMessage::ErrorMessage && !IsAbsent(reply.errorName())) {
        shot.outcome = TPortalOutcome::Failed;
        return shot;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return shot;  // no portal, or one without the screenshot interface
    // Older portals choose the request path themselves.
    const QString handle = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    shot.outcome = TPortalOutcome::Failed;
    if (!handle.isEmpty() && !request.Listen(handle))
        return shot;

    if (!request.code) {
        QTimer::singleShot(answerTimeoutMs, &request.loop, &QEventLoop::quit);
        request.loop.exec();
    }
    if (request.code == kResponseCancelled) {
        shot.outcome = TPortalOutcome::Refused;
        return shot;
    }
    if (request.code != kResponseSuccess)
        return shot;  // the portal failed, or gave no answer in time
    const QUrl uri(request.results.value(QStringLiteral("uri")).toString());
    if (uri.isLocalFile())
        shot.image.load(uri.toLocalFile());
    if (!shot.image.isNull())
        shot.outcome = TPortalOutcome::Taken;
    return shot;
}

} // namespace quillon

#include "portalscreenshot.moc"
