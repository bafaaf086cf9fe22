// The focus timer: a focus phase and a rest phase counted down against a deadline.
#pragma once

#include "model/PomodoroPhase.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class AlertSound;
class Clock;
class Ticker;
class TickerFactory;

class PomodoroService : public QObject {
    Q_OBJECT
    Q_PROPERTY(PomodoroPhase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(qint64 remainingSeconds READ remainingSeconds NOTIFY remainingSecondsChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(qint64 completedFocusSessions READ completedFocusSessions NOTIFY completedFocusSessionsChanged)
public:
    // `tickers` gives the half-second tick; without `sound` the phase ends silently.
    PomodoroService(Clock& clock, TickerFactory& tickers, QObject* parent = nullptr);
    PomodoroService(Clock& clock, TickerFactory& tickers, AlertSound& sound, QObject* parent = nullptr);
    ~PomodoroService() override;

    PomodoroPhase phase() const { return m_phase; }
    qint64 remainingSeconds() const { return m_remainingSeconds; }
    bool isRunning() const { return m_isRunning; }
    qint64 completedFocusSessions() const { return m_completedFocusSessions; }
    // 0 at the start of a phase, 1 when it is used up.
    double progress() const;
    // "MM:SS" of the remaining time; minutes are not capped.
    QString formattedTime() const;

    // Pauses a running timer (keeping the whole seconds left, rounded up) or starts a stopped one.
    void toggle();
    // Stops and refills the given phase, the current one included.
    void select(PomodoroPhase phase);
    // Stops and refills the current phase; the phase and the count stay.
    void reset();
    // Ends the phase at once, silently and without counting it.
    void skip();

    // One step of the half-second timer; public so that tests drive it with their own clock.
    void tick();
    // Whether the half-second timer is armed; it is only while the countdown runs.
    bool ticking() const;
    static constexpr int kTickMs = 500;

    static qint64 length(PomodoroPhase phase) { return phase == PomodoroPhase::focus ? 1500 : 300; }
    static QString rawValue(PomodoroPhase phase);

signals:
    // Sent after any of the published values above changed.
    void changed();
    void phaseChanged();
    void remainingSecondsChanged();
    void isRunningChanged();
    void completedFocusSessionsChanged();

private:
    void start();
    void stopTimer();
    void updateRemaining();
    void completePhase(bool playSound, bool countFocus);
    void setPhase(PomodoroPhase phase);
    void setRemaining(qint64 seconds);
    void setRunning(bool running);

    Clock& m_clock;
    std::unique_ptr<AlertSound> m_silence; // stands in when no sound is given
    AlertSound& m_sound;
    PomodoroPhase m_phase = PomodoroPhase::focus;
    qint64 m_remainingSeconds = 1500;
    bool m_isRunning = false;
    qint64 m_completedFocusSessions = 0;
    std::unique_ptr<Ticker> m_ticker;
    // Deadline on the boot clock: a change of the wall clock does not stretch a phase, and a phase
    // that ends while the machine sleeps has ended when it wakes.
    std::optional<qint64> m_targetMs;
};
