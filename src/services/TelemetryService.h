// Usage statistics: counts of island openings, seconds open and tab uses, kept in the user defaults.
#pragma once

#include <QObject>
#include <QString>

#include <optional>

class Clock;
class Defaults;

class TelemetryService : public QObject {
    Q_OBJECT
public:
    TelemetryService(Defaults& defaults, Clock& clock, QObject* parent = nullptr);

    void islandOpened();
    void islandClosed();
    void tabUsed(const QString& id);

private:
    Defaults& m_defaults;
    Clock& m_clock;
    // Monotonic start of the current open period.
    std::optional<qint64> inicioDaSessao;
};
