// A pointer, a keyboard and a drag source for a program under a compositor that has none
// (weston's headless backend offers no seat). Loaded into the program as a Qt generic
// plug-in:
//
//     QT_PLUGIN_PATH=<build>/testplugins QT_QPA_GENERIC_PLUGINS=quillontestseat:<socket>
//
// It listens on the local socket <socket> for one line per request and answers each with
// "ok ..." or "error ...". Input enters Qt where a platform plug-in hands over what its
// compositor sends (QWindowSystemInterface), so what the program does with it is what it
// does with a user's input; only the choice of the window that gets it is made here, the
// way a compositor makes it: a new window gets the keyboard, a closed one hands it back to
// the window shown before it, and the pointer goes to the open menu or window under it.
//
// Requests (coordinates are the program's own global ones, as its accessibility tree
// tells them):
//     windows                 the shown top-level windows, as JSON
//     activate TITLE          the keyboard to the shown window of that title that no modal
//                             window blocks
//     press X Y | move X Y | release X Y    the left button
//     key KEYS                e.g. "ctrl+o", "Return", "Escape", "F2", "Delete"
//     type TEXT               the rest of the line, character by character
//     drop X Y URI...         files dragged in from another program and dropped at X Y;
//                             answered after the drop with "ok accepted" or "ok refused"

#include <QFile>
#include <QGenericPlugin>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeySequence>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <QWindow>
#include <functional>
#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>
#include <private/qguiapplication_p.h>

namespace {

bool Shown(const QWindow* w)
{
    return w && w->isVisible() && w->isTopLevel() && w->type() != Qt::ToolTip && w->type() != Qt::Desktop;
}

bool IsPopup(const QWindow* w) { return w->type() == Qt::Popup; }

class TestSeat : public QObject {
public:
    explicit TestSeat(const QString& socketPath)
    {
        QFile::remove(socketPath);
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        if (!server_.listen(socketPath))
            qFatal("test seat: cannot listen on %s: %s", qPrintable(socketPath), qPrintable(server_.errorString()));
        connect(&server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* client = server_.nextPendingConnection()) {
                connect(client, &QLocalSocket::readyRead, this, [this, client] { Read(client); });
                connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            }
        });
        qApp->installEventFilter(this);
    }

protected:
    // A compositor gives the keyboard to a window as it is mapped, and back to the one
    // below when the window with the keyboard goes away.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWindow*>(watched);
        if (!window || !window->isTopLevel() || IsPopup(window) || window->type() == Qt::ToolTip)
            return false;
        if (event->type() == QEvent::Show) {
            stack_.removeAll(window);
            stack_.append(window);
            QMetaObject::invokeMethod(
                this, [this, w = QPointer<QWindow>(window)] { if (Shown(w)) Activate(w); }, Qt::QueuedConnection);
        } else if (event->type() == QEvent::Hide) {
            const bool hadKeyboard = QGuiApplication::focusWindow() == window;
            stack_.removeAll(window);
            if (hadKeyboard)
                QMetaObject::invokeMethod(this, [this] { ActivateTop(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void Read(QLocalSocket* socket)
    {
        // A request may run a dialog's event loop, in which the harness may hang up.
        const QPointer<QLocalSocket> client(socket);
        while (client && client->canReadLine()) {
            const QString line = QString::fromUtf8(client->readLine()).chopped(1);
            const qsizetype space = line.indexOf(QLatin1Char(' '));
            const QString verb = line.left(space < 0 ? line.size() : space);
            const QString rest = space < 0 ? QString() : line.mid(space + 1);
            // The answer goes out before the input is handled: a click may open a modal
            // dialog whose event loop runs until the next requests have come in.
            QString problem;
            std::function<void()> act = Request(client, verb, rest, problem);
            if (!act) {
                Answer(client, "error " + problem);
                continue;
            }
            if (verb == QLatin1String("drop") || verb == QLatin1String("windows")) {
                act();
                continue;
            }
            Answer(client, QStringLiteral("ok"));
            act();
        }
    }

    static void Answer(QLocalSocket* client, const QString& text)
    {
        client->write(text.toUtf8() + '\n');
        client->flush();
    }

    std::function<void()> Request(QLocalSocket* client, const QString& verb, const QString& rest, QString& problem)
    {
        const QStringList args = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (verb == QLatin1String("windows"))
            return [client] {
                Answer(client, "ok " + QString::fromUtf8(QJsonDocument(Windows()).toJson(QJsonDocument::Compact)));
            };
        if (verb == QLatin1String("activate")) {
            QWindow* target = nullptr;
            for (QWindow* w : std::as_const(stack_))
                if (Shown(w) && w->title() == rest && !QGuiApplicationPrivate::instance()->isWindowBlocked(w))
                    target = w;
            if (!target) {
                problem = "no window " + rest;
                return {};
            }
            return [this, target = QPointer<QWindow>(target)] { Activate(target); };
        }
        if (verb == QLatin1String("press") || verb == QLatin1String("move") || verb == QLatin1String("release")) {
            QPoint at;
            QWindow* target = args.size() == 2 ? TargetAt(args, at, problem) : nullptr;
            if (!target) {
                problem = problem.isEmpty() ? QStringLiteral("wants X Y") : problem;
                return {};
            }
            const QEvent::Type type = verb == QLatin1String("press")  ? QEvent::MouseButtonPress
                                      : verb == QLatin1String("move") ? QEvent::MouseMove
                                                                      : QEvent::MouseButtonRelease;
            return [this, target = QPointer<QWindow>(target), at, type] { Mouse(target, at, type); };
        }
        if (verb == QLatin1String("key") || verb == QLatin1String("type")) {
            QWindow* target = QGuiApplication::focusWindow();
            if (!target) {
                problem = QStringLiteral("no window has the keyboard");
                return {};
            }
            QList<std::pair<QKeyCombination, QString>> keys;
            if (verb == QLatin1String("type")) {
                for (QChar c : rest)
                    keys.append({QKeyCombination(Qt::NoModifier, KeyOf(c)), QString(c)});
            } else {
                const QKeySequence sequence = QKeySequence::fromString(KeysOf(rest), QKeySequence::PortableText);
                if (sequence.isEmpty() || sequence[0].key() == Qt::Key_unknown) {
                    problem = "unknown keys " + rest;
                    return {};
                }
                for (int i = 0; i < sequence.count(); ++i)
                    keys.append({sequence[i], TextOf(sequence[i])});
            }
            return [target = QPointer<QWindow>(target), keys] {
                for (const auto& [combination, text] : keys) {
                    if (!target)
                        return;
                    QWindowSystemInterface::handleKeyEvent(target, QEvent::KeyPress, combination.key(),
                                                           combination.keyboardModifiers(), text);
                    if (!target)
                        return;
                    QWindowSystemInterface::handleKeyEvent(target, QEvent::KeyRelease, combination.key(),
                                                           combination.keyboardModifiers(), text);
                }
            };
        }
        if (verb == QLatin1String("drop")) {
            QPoint at;
            QWindow* target = args.size() >= 3 ? TargetAt(args, at, problem) : nullptr;
            if (!target) {
                problem = problem.isEmpty() ? QStringLiteral("wants X Y URI...") : problem;
                return {};
            }
            QList<QUrl> urls;
            for (qsizetype i = 2; i < args.size(); ++i)
                urls.append(QUrl(args[i]));
            return [target = QPointer<QWindow>(target), at, urls, client = QPointer<QLocalSocket>(client)] {
                // What a platform plug-in does when another program's drag enters the
                // window, moves over it and is dropped there.
                QMimeData data;
                data.setUrls(urls);
                const QPoint local = target->mapFromGlobal(at);
                const QPlatformDragQtResponse over =
                    QWindowSystemInterface::handleDrag(target, &data, local, Qt::CopyAction, Qt::LeftButton, {});
                bool accepted = false;
                if (target && over.isAccepted())
                    accepted =
                        QWindowSystemInterface::handleDrop(target, &data, local, Qt::CopyAction, Qt::LeftButton, {})
                            .isAccepted();
                else if (target)
                    QWindowSystemInterface::handleDrag(target, nullptr, QPoint(), Qt::IgnoreAction, {}, {});
                if (client)
                    Answer(client, accepted ? QStringLiteral("ok accepted") : QStringLiteral("ok refused"));
            };
        }
        problem = "unknown request " + verb;
        return {};
    }

    static QJsonArray Windows()
    {
        QJsonArray list;
        for (QWindow* w : QGuiApplication::topLevelWindows()) {
            if (!Shown(w))
                continue;
            const QRect g = w->geometry();
            list.append(QJsonObject{{"title", w->title()},
                                    {"popup", IsPopup(w)},
                                    {"active", w == QGuiApplication::focusWindow()},
                                    {"modal", w->modality() != Qt::NonModal},
                                    {"geometry", QJsonArray{g.x(), g.y(), g.width(), g.height()}}});
        }
        return list;
    }

    // The point that args start with, and the window that gets the pointer there.
    QWindow* TargetAt(const QStringList& args, QPoint& at, QString& problem) const
    {
        bool okX = false, okY = false;
        at = QPoint(args[0].toInt(&okX), args[1].toInt(&okY));
        if (!okX || !okY)
            return nullptr;
        QWindow* target = WindowAt(at);
        if (!target)
            problem = QStringLiteral("no window at %1 %2").arg(at.x()).arg(at.y());
        return target;
    }

    // Open menus first, they are on top; then the window with the keyboard; then the
    // others, the last shown first.
    QWindow* WindowAt(QPoint at) const
    {
        const QWindowList all = QGuiApplication::topLevelWindows();
        for (QWindow* w : all)
            if (Shown(w) && IsPopup(w) && w->geometry().contains(at))
                return w;
        QWindow* focus = QGuiApplication::focusWindow();
        if (Shown(focus) && focus->geometry().contains(at))
            return focus;
        for (qsizetype i = stack_.size() - 1; i >= 0; --i)
            if (Shown(stack_[i]) && stack_[i]->geometry().contains(at))
                return stack_[i];
        return nullptr;
    }

    void Activate(QWindow* window)
    {
        stack_.removeAll(window);
        stack_.append(window);
        QWindowSystemInterface::handleWindowActivated(window, Qt::ActiveWindowFocusReason);
    }

    void ActivateTop()
    {
        if (Shown(QGuiApplication::focusWindow()))
            return;
        for (qsizetype i = stack_.size() - 1; i >= 0; --i)
            if (Shown(stack_[i])) {
                Activate(stack_[i]);
                return;
            }
    }

    void Mouse(QWindow* target, QPoint at, QEvent::Type type)
    {
        if (!target)
            return;
        if (target != underMouse_) {
            if (underMouse_)
                QWindowSystemInterface::handleLeaveEvent(underMouse_);
            underMouse_ = target;
            QWindowSystemInterface::handleEnterEvent(target, target->mapFromGlobal(at), at);
        }
        if (type == QEvent::MouseButtonPress)
            buttons_ = Qt::LeftButton;
        else if (type == QEvent::MouseButtonRelease)
            buttons_ = Qt::NoButton;
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QWindowSystemInterface::handleMouseEvent(target, QPointF(target->mapFromGlobal(at)), QPointF(at), buttons_,
                                                 button, type);
    }

    // "ctrl+o" in the spelling of the harness's keys, as Qt reads key sequences.
    static QString KeysOf(const QString& keys)
    {
        QStringList parts = keys.split(QLatin1Char('+'));
        for (QString& part : parts) {
            const QString lower = part.toLower();
            if (lower == QLatin1String("ctrl"))
                part = QStringLiteral("Ctrl");
            else if (lower == QLatin1String("shift"))
                part = QStringLiteral("Shift");
            else if (lower == QLatin1String("alt"))
                part = QStringLiteral("Alt");
            else if (lower == QLatin1String("return"))
                part = QStringLiteral("Return");
            else if (lower == QLatin1String("escape"))
                part = QStringLiteral("Esc");
            else if (lower == QLatin1String("delete"))
                part = QStringLiteral("Del");
        }
        return parts.join(QLatin1Char('+'));
    }

    static Qt::Key KeyOf(QChar c)
    {
        if (c == QLatin1Char('\n'))
            return Qt::Key_Return;
        return static_cast<Qt::Key>(c.toUpper().unicode());
    }

    // The text a keyboard map gives a key: none with Ctrl or Alt, except the control
    // characters of Return, Esc and friends.
    static QString TextOf(QKeyCombination combination)
    {
        switch (combination.key()) {
        case Qt::Key_Return:
            return QStringLiteral("\r");
        case Qt::Key_Escape:
            return QString(QChar(0x1b));
        case Qt::Key_Tab:
            return QStringLiteral("\t");
        case Qt::Key_Backspace:
            return QString(QChar(0x08));
        case Qt::Key_Delete:
            return QString(QChar(0x7f));
        default:
            break;
        }
        if (combination.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return {};
        const int key = combination.key();
        if (key >= 0x20 && key < 0x7f) {
            const QChar c(key);
            return combination.keyboardModifiers() & Qt::ShiftModifier ? QString(c.toUpper()) : QString(c.toLower());
        }
        return {};
    }

    QLocalServer server_;
    QList<QPointer<QWindow>> stack_;
    QPointer<QWindow> underMouse_;
    Qt::MouseButtons buttons_ = Qt::NoButton;
};

} // namespace

class TestSeatPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "testseat.json")
public:
    QObject* create(const QString& name, const QString& spec) override
    {
        if (name.compare(QLatin1String("quillontestseat"), Qt::CaseInsensitive) != 0 || spec.isEmpty())
            return nullptr;
        return new TestSeat(spec);
    }
};

#include "testseat.moc"
