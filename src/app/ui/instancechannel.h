#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

namespace quillon {

// Finds the running copy of the program by its exact main-window title. The copy that
// owns a title listens on a per-user local socket named after it; "find" is a connect,
// and the requests are "activate" (come to the front), "message 1025" (a picture URL
// was handed over) and "open PATH" (a picture named on another copy's command line;
// the absolute path, percent-encoded so any file name fits on the request's line).
class TInstanceChannel : public QObject {
    Q_OBJECT
public:
    // runtimeDir: where the sockets live; empty means XDG_RUNTIME_DIR, else a private
    // folder in the temporary folder.
    explicit TInstanceChannel(const QString& runtimeDir = QString(), QObject* parent = nullptr);

    static QString DefaultRuntimeDir();
    QString SocketPath(const QString& title) const;

    // True when a window with this title exists; the requests are delivered to it, in order.
    bool Send(const QString& title, const QString& request);
    bool Send(const QString& title, const QStringList& requests);
    static QString OpenRequest(const QString& path);
    bool Exists(const QString& title);
    // Starts answering for title; a socket left behind by a crashed copy is replaced.
    bool Claim(const QString& title);
    void Release();

signals:
    void ActivateRequested();
    void Message1025();
    void OpenRequested(const QString& path);

private:
    void Accept();
    void Open(const QString& path);
    QString runtimeDir_;
    QLocalServer server_;
};

} // namespace quillon
