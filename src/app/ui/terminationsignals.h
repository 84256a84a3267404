#pragma once

#include <QObject>

class QSocketNotifier;

namespace quillon {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in the terminal, a closed terminal)
// into a Qt signal on the main thread, so the program can close its window normally
// and write the user's files instead of dying with them unsaved.
class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

signals:
    void Received();

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace quillon
