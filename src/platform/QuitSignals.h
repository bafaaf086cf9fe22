// Turns SIGINT and SIGTERM into a Qt signal on the main thread, so that Ctrl-C or a service manager ends
// the event loop in order instead of killing the process mid-write.
#pragma once

#include <QObject>

class QSocketNotifier;

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers. Only one instance per process can be active; a second stays inactive.
    explicit QuitSignals(QObject* parent = nullptr);
    // Restores the default dispositions, so a signal during tear-down ends the process as usual.
    ~QuitSignals() override;

    bool isActive() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void drain();

    int m_readFd = -1;
    int m_writeFd = -1;
    QSocketNotifier* m_notifier = nullptr;
};
