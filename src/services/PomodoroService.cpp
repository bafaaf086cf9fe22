// Countdown of the focus timer, re-derived from its deadline at every half-second tick.
#include "services/PomodoroService.h"

#include "platform/Clock.h"

PomodoroService::PomodoroService(Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock) {
    m_timer.setInterval(500);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PomodoroService::tick);
}

QString PomodoroService::formattedTime() const {
    return QString::asprintf("%02lld:%02lld", m_remainingSeconds / 60, m_remainingSeconds % 60);
}

QString PomodoroService::rawValue(PomodoroPhase phase) {
    return phase == PomodoroPhase::focus ? QStringLiteral("Foco") : QStringLiteral("Pausa");
}

void PomodoroService::toggle() {
    if (m_isRunning) {
        updateRemaining();
        stopTimer();
    } else {
        start();
    }
}

void PomodoroService::start() {
    if (m_isRunning)
        return;
    m_targetMs = m_clock.monotonicMs() + m_remainingSeconds * 1000;
    m_timer.start();
    setRunning(true);
}

void PomodoroService::stopTimer() {
    m_timer.stop();
    m_targetMs.reset();
    setRunning(false);
}

void PomodoroService::updateRemaining() {
    if (!m_targetMs)
        return;
    const qint64 leftMs = *m_targetMs - m_clock.monotonicMs();
    // Whole seconds rounded up, so 00:00 shows only once the deadline has passed.
    const qint64 seconds = leftMs <= 0 ? 0 : (leftMs + 999) / 1000;
    setRemaining(seconds);
}

void PomodoroService::tick() {
    updateRemaining();
    if (m_remainingSeconds == 0)
        completePhase(true);
}

void PomodoroService::completePhase(bool countFocus) {
    const PomodoroPhase ended = m_phase;
    stopTimer();
    if (ended == PomodoroPhase::focus) {
        if (countFocus) {
            ++m_completedFocusSessions;
            emit completedFocusSessionsChanged();
        }
        m_phase = PomodoroPhase::rest;
    } else {
        m_phase = PomodoroPhase::focus;
    }
    emit phaseChanged();
    setRemaining(length(m_phase));
    emit changed();
}

void PomodoroService::setRemaining(qint64 seconds) {
    if (seconds == m_remainingSeconds)
        return;
    m_remainingSeconds = seconds;
    emit remainingSecondsChanged();
    emit changed();
}

void PomodoroService::setRunning(bool running) {
    if (running == m_isRunning)
        return;
    m_isRunning = running;
    emit isRunningChanged();
    emit changed();
}
