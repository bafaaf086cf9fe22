// The self-update: decides when an automatic check is due.
#pragma once

#include <QObject>

class Clock;
class Defaults;

class UpdateService : public QObject {
    Q_OBJECT
public:
    UpdateService(Defaults& defaults, Clock& clock, QObject* parent = nullptr);

    // Starts a check when automatic checking is on and the last one is more than 20 hours old.
    void checkIfDue();

    static constexpr qint64 kCheckIntervalSeconds = 72000;

signals:
    // Sent each time a check starts.
    void checkStarted();

private:
    void check();

    Defaults& m_defaults;
    Clock& m_clock;
};
