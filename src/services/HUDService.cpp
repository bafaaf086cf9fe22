// The level indicator: a poll compares each reading with the one before and shows what moved.
#include "services/HUDService.h"

#include "platform/BrightnessReader.h"
#include "platform/Ticker.h"
#include "platform/VolumeReader.h"
#include "services/Published.h"

#include <cmath>

namespace {

// A reading that is not a number counts as no reading, so it can never be compared or shown.
std::optional<double> sane(std::optional<double> v) {
    if (v && !std::isfinite(*v))
        return std::nullopt;
    return v;
}

bool moved(const std::optional<double>& now, const std::optional<double>& before) {
    return now && before && std::abs(*now - *before) > HUDService::kThreshold;
}

} // namespace

HUDService::HUDService(QObject* parent)
    : QObject(parent) {}

HUDService::HUDService(VolumeReader* volume, BrightnessReader* brightness, TickerFactory& tickers,
                       QObject* parent)
    : QObject(parent)
    , m_volume(volume)
    , m_brightness(brightness) {
    if (!m_volume && !m_brightness)
        return;
    m_hideWork = tickers.make(kHideMs, [this] {
        m_hideWork->stop();
        setCurrent(std::nullopt);
    });
    m_timer = tickers.make(kPollMs, [this] { poll(); });
    m_timer->start();
}

HUDService::~HUDService() = default;

void HUDService::setCurrent(std::optional<Level> level) {
    if (assignPublished(this, m_current, std::move(level), &HUDService::currentChanged))
        emit changed();
}

void HUDService::poll() {
    const std::optional<double> v = m_volume ? sane(m_volume->readVolume()) : std::nullopt;
    const std::optional<double> b = m_brightness ? sane(m_brightness->readBrightness()) : std::nullopt;
    if (m_warmedUp) {
        if (moved(v, m_lastVolume))
            show(Kind::volume, *v);
        else if (moved(b, m_lastBrightness))
            show(Kind::brightness, *b);
    }
    // Both are stored even when only one was shown, so a brightness change hidden by a volume change is
    // not shown a poll later; a missing reading keeps the level from before the gap.
    if (v)
        m_lastVolume = v;
    if (b)
        m_lastBrightness = b;
    m_warmedUp = true;
}

void HUDService::show(Kind kind, double value) {
    setCurrent(Level{kind, value});
    if (m_hideWork) {
        // Restarted, not added to: the level stays until the hide delay after the last change.
        m_hideWork->stop();
        m_hideWork->start();
    }
}
