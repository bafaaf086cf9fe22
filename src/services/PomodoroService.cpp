// Countdown of the focus timer, re-derived from its deadline at every half-second tick.
#include "services/PomodoroService.h"

#include "platform/AlertSound.h"
#include "platform/Clock.h"
#include "platform/Ticker.h"
#include "services/Published.h"

PomodoroService::PomodoroService(Clock& clock, TickerFactory& tickers, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_silence(std::make_unique<NoAlertSound>())
    , m_sound(*m_silence)
    , m_ticker(tickers.make(kTickMs, [this] { tick(); })) {}

PomodoroService::PomodoroService(Clock& clock, TickerFactory& tickers, AlertSound& sound, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_sound(sound)
    , m_ticker(tickers.make(kTickMs, [this] { tick(); })) {}

PomodoroService::~PomodoroService() = default;

bool PomodoroService::ticking() const {
    return m_ticker->isActive();
}

double PomodoroService::progress() const {
    return 1.0 - double(m_remainingSeconds) / double(length(m_phase));
}

QString PomodoroService::formattedTime() const {
    return QString::asprintf("%02lld:%02lld", m_remainingSeconds / 60, m_remainingSeconds % 60);
}

QString PomodoroService::rawValue(PomodoroPhase phase) {
    return phase == PomodoroPhase::focus ? QStringLiteral("Foco") : QStringLiteral("Pausa");
}

void PomodoroService::toggle() {
    if (!m_isRunning) {
        start();
        return;
    }
    updateRemaining();
    // A pause between the deadline and the tick that would notice it ends the phase rather than
    // freezing at 00:00 and completing only on the next start.
    if (m_remainingSeconds == 0) {
        completePhase(true, true);
        return;
    }
    stopTimer();
}

void PomodoroService::select(PomodoroPhase phase) {
    stopTimer();
    setPhase(phase);
    setRemaining(length(phase));
}

void PomodoroService::reset() {
    stopTimer();
    setRemaining(length(m_phase));
}

void PomodoroService::skip() {
    completePhase(false, false);
}

void PomodoroService::start() {
    if (m_isRunning)
        return;
    m_targetMs = m_clock.bootMs() + m_remainingSeconds * 1000;
    m_ticker->start();
    setRunning(true);
}

void PomodoroService::stopTimer() {
    m_ticker->stop();
    m_targetMs.reset();
    setRunning(false);
}

void PomodoroService::updateRemaining() {
    if (!m_targetMs)
        return;
    const qint64 leftMs = *m_targetMs - m_clock.bootMs();
    // Whole seconds rounded up, so 00:00 shows only once the deadline has passed.
    setRemaining(leftMs <= 0 ? 0 : (leftMs + 999) / 1000);
}

void PomodoroService::tick() {
    if (!m_isRunning)
        return;
    updateRemaining();
    if (m_remainingSeconds == 0)
        completePhase(true, true);
}

void PomodoroService::completePhase(bool playSound, bool countFocus) {
    const PomodoroPhase ended = m_phase;
    stopTimer();
    if (ended == PomodoroPhase::focus && countFocus) {
        ++m_completedFocusSessions;
        emit completedFocusSessionsChanged();
        emit changed();
    }
    setPhase(ended == PomodoroPhase::focus ? PomodoroPhase::rest : PomodoroPhase::focus);
    setRemaining(length(m_phase));
    if (playSound)
        m_sound.play();
}

void PomodoroService::setPhase(PomodoroPhase phase) {
    if (assignPublished(this, m_phase, phase, &PomodoroService::phaseChanged))
        emit changed();
}

void PomodoroService::setRemaining(qint64 seconds) {
    if (assignPublished(this, m_remainingSeconds, seconds, &PomodoroService::remainingSecondsChanged))
        emit changed();
}

void PomodoroService::setRunning(bool running) {
    if (assignPublished(this, m_isRunning, running, &PomodoroService::isRunningChanged))
        emit changed();
}
