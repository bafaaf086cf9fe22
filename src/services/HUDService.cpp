// The level indicator: each announced change is a look that compares the readings with the ones before
// and shows what moved.
#include "services/HUDService.h"

#include "platform/AbsentSeams.h"
#include "platform/BrightnessKeys.h"
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
    : QObject(parent)
    , m_absent(std::make_unique<AbsentSeams>())
    , m_volume(m_absent->volume)
    , m_brightness(m_absent->brightness)
    , m_keys(m_absent->brightnessKeys) {}

HUDService::HUDService(VolumeReader& volume, BrightnessReader& brightness, TickerFactory& tickers,
                       QObject* parent)
    : HUDService(volume, brightness, std::make_unique<AbsentSeams>(), tickers, parent) {}

HUDService::HUDService(VolumeReader& volume, BrightnessReader& brightness, BrightnessKeys& keys,
                       TickerFactory& tickers, QObject* parent)
    : QObject(parent)
    , m_volume(volume)
    , m_brightness(brightness)
    , m_keys(keys) {
    start(tickers);
}

HUDService::HUDService(VolumeReader& volume, BrightnessReader& brightness,
                       std::unique_ptr<AbsentSeams> absent, TickerFactory& tickers, QObject* parent)
    : QObject(parent)
    , m_absent(std::move(absent))
    , m_volume(volume)
    , m_brightness(brightness)
    , m_keys(m_absent->brightnessKeys) {
    start(tickers);
}

void HUDService::start(TickerFactory& tickers) {
    m_hideWork = tickers.make(kHideMs, [this] {
        m_hideWork->stop();
        setCurrent(std::nullopt);
    });
    m_timer = tickers.make(kPollMs, [this] { poll(); });
    m_keyWindow = tickers.make(kAfterKeyMs, [this] {
        m_keyWindow->stop();
        m_afterKey = false;
        updateBrightnessPoll();
    });
    m_keys.setPressedHandler([this] { brightnessKeyPressed(); });
    m_volume.setChangeHandler([this] {
        m_volumeNotice = true;
        poll();
    });
    m_brightness.setChangeHandler([this] {
        m_brightnessAnnounced = true;
        poll();
    });
    poll();
}

HUDService::~HUDService() {
    m_keys.setPressedHandler({});
    m_keys.setListening(false);
    m_volume.setChangeHandler({});
    m_brightness.setChangeHandler({});
}

void HUDService::setCurrent(std::optional<Level> level) {
    if (assignPublished(this, m_current, std::move(level), &HUDService::currentChanged))
        emit changed();
}

void HUDService::poll() {
    const std::optional<double> v = sane(m_volume.readVolume());
    // Without a backlight there is nothing to read: not even the files are asked.
    const bool backlight = m_brightness.present();
    const std::optional<double> b = backlight ? sane(m_brightness.readBrightness()) : std::nullopt;
    const bool brightnessMoved = moved(b, m_lastBrightness);
    if (m_warmedUp) {
        if (moved(v, m_lastVolume))
            show(Kind::volume, *v);
        else if (brightnessMoved)
            show(Kind::brightness, *b);
    }
    // A volume notice may come just before the backlight's own announcement: it proves nothing.
    if (brightnessMoved && !m_brightnessAnnounced && !m_volumeNotice)
        m_brightnessSilent = true;
    m_brightnessAnnounced = false;
    m_volumeNotice = false;
    // Both are stored even when only one was shown, so a brightness change hidden by a volume change is
    // not shown a look later; a missing reading keeps the level from before the gap.
    if (v)
        m_lastVolume = v;
    if (b)
        m_lastBrightness = b;
    m_warmedUp = true;
    updateBrightnessPoll();
}

void HUDService::setIslandShown(bool shown) {
    if (shown == m_islandShown)
        return;
    m_islandShown = shown;
    if (m_brightness.present())
        poll(); // a change made without an announcement shows up here
    else
        updateBrightnessPoll();
}

bool HUDService::pollingBrightness() const {
    return m_timer && m_timer->isActive();
}

void HUDService::brightnessKeyPressed() {
    // Restarted, not added to: the reads go on until a while after the last press.
    m_afterKey = true;
    m_keyWindow->stop();
    m_keyWindow->start();
    updateBrightnessPoll();
}

void HUDService::updateBrightnessPoll() {
    if (!m_timer)
        return;
    const bool unannounced =
        m_brightness.present() && (m_brightnessSilent || !m_brightness.announcesChanges());
    // The keys are heard only for a backlight that needs them: listening wakes at every key press.
    m_keys.setListening(unannounced);
    const bool wanted = unannounced && (m_islandShown || m_afterKey);
    if (wanted && !m_timer->isActive())
        m_timer->start();
    else if (!wanted && m_timer->isActive())
        m_timer->stop();
}

void HUDService::show(Kind kind, double value) {
    setCurrent(Level{kind, value});
    if (m_hideWork) {
        // Restarted, not added to: the level stays until the hide delay after the last change.
        m_hideWork->stop();
        m_hideWork->start();
    }
}
