// The volume or brightness level shown briefly on the island after it changed.
#pragma once

#include "model/HUDLevel.h"

#include <QObject>

#include <memory>
#include <optional>

class BrightnessReader;
class Ticker;
class TickerFactory;
class VolumeReader;

class HUDService : public QObject {
    Q_OBJECT
public:
    using Kind = HUDKind;
    using Level = HUDLevel;

    static constexpr int kPollMs = 300;
    static constexpr int kHideMs = 1600;
    // A smaller step than this is noise, not a change the user made.
    static constexpr double kThreshold = 0.005;

    // Either reader may be null: that level is never shown. The poll starts here.
    HUDService(VolumeReader* volume, BrightnessReader* brightness, TickerFactory& tickers,
               QObject* parent = nullptr);
    explicit HUDService(QObject* parent = nullptr); // no readers: nothing is ever shown
    ~HUDService() override;

    const std::optional<Level>& current() const { return m_current; }
    // Publishes a level directly; for observers' tests.
    void setCurrent(std::optional<Level> level);

    // One look at both levels; the poll timer calls it.
    void poll();

signals:
    // Sent after any of the published values changed.
    void changed();
    void currentChanged();

private:
    void show(Kind kind, double value);

    VolumeReader* m_volume = nullptr;
    BrightnessReader* m_brightness = nullptr;
    std::optional<Level> m_current;
    std::optional<double> m_lastVolume;
    std::optional<double> m_lastBrightness;
    bool m_warmedUp = false;
    std::unique_ptr<Ticker> m_timer;
    std::unique_ptr<Ticker> m_hideWork;
};
