// The volume or brightness level shown briefly on the island after it changed.
#pragma once

#include "model/HUDLevel.h"

#include <QObject>

#include <memory>
#include <optional>

class AbsentSeams;
class BrightnessKeys;
class BrightnessReader;
class Ticker;
class TickerFactory;
class VolumeReader;

class HUDService : public QObject {
    Q_OBJECT
public:
    using Kind = HUDKind;
    using Level = HUDLevel;

    // How often a backlight that announces none of its changes is read while the island is shown, or
    // for a while after a brightness key.
    static constexpr int kPollMs = 300;
    static constexpr int kAfterKeyMs = 3000;
    static constexpr int kHideMs = 1600;
    // A smaller step than this is noise, not a change the user made.
    static constexpr double kThreshold = 0.005;

    // An absent reader's level is never shown. Each level is looked at when its reader announces a
    // change; the first look, here, only learns the levels. Without `keys`, a backlight that announces
    // nothing is read only while the island is open.
    HUDService(VolumeReader& volume, BrightnessReader& brightness, TickerFactory& tickers,
               QObject* parent = nullptr);
    HUDService(VolumeReader& volume, BrightnessReader& brightness, BrightnessKeys& keys,
               TickerFactory& tickers, QObject* parent = nullptr);
    explicit HUDService(QObject* parent = nullptr); // absent readers: nothing is ever shown
    ~HUDService() override;

    const std::optional<Level>& current() const { return m_current; }
    // Publishes a level directly; for observers' tests.
    void setCurrent(std::optional<Level> level);

    // One look at both levels: what moved since the last look shows. Every announcement and every tick
    // of the backlight poll ends here.
    void poll();

    // Whether the island is open. A backlight that announces nothing is read only meanwhile; one that
    // announces changes is looked at as the island opens and closes, and one found changed without a
    // word is read from then on like the other kind.
    void setIslandShown(bool shown);
    // Whether the backlight is read on a timer now; for tests.
    bool pollingBrightness() const;

signals:
    // Sent after any of the published values changed.
    void changed();
    void currentChanged();

private:
    HUDService(VolumeReader& volume, BrightnessReader& brightness, std::unique_ptr<AbsentSeams> absent,
               TickerFactory& tickers, QObject* parent);
    void start(TickerFactory& tickers);
    void show(Kind kind, double value);
    void updateBrightnessPoll();
    void brightnessKeyPressed();

    std::unique_ptr<AbsentSeams> m_absent; // stands in for what is not given
    VolumeReader& m_volume;
    BrightnessReader& m_brightness;
    BrightnessKeys& m_keys;
    std::optional<Level> m_current;
    std::optional<double> m_lastVolume;
    std::optional<double> m_lastBrightness;
    bool m_warmedUp = false;
    bool m_islandShown = false;
    bool m_afterKey = false;
    bool m_brightnessAnnounced = false; // since the last look
    bool m_volumeNotice = false;        // the look under way answers the sound server
    bool m_brightnessSilent = false;    // it was seen to change without an announcement
    std::unique_ptr<Ticker> m_timer;
    std::unique_ptr<Ticker> m_hideWork;
    std::unique_ptr<Ticker> m_keyWindow; // ends the reads after a brightness key
};
