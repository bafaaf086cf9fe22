// Stable screen identifiers and the choice of the island's screen.
#pragma once

#include "app/IslandGeometry.h"

#include <QList>
#include <QString>

#include <optional>

class QScreen;

// What the screen choice reads of one connected screen.
struct ScreenInfo {
    QString name; // connector or RandR monitor name, e.g. "HDMI-1"
    QString manufacturer;
    QString model;
    QString serialNumber;
    IslandGeometry::NotchMetrics metrics;

    bool hasNotch() const { return metrics.safeAreaTop > 0; }
};

// The connected screens in the platform's order.
class ScreenList {
public:
    virtual ~ScreenList() = default;
    virtual QList<ScreenInfo> screens() const = 0;
    // Index of the screen with the keyboard focus (the primary screen), or -1.
    virtual int mainIndex() const = 0;
};

// The screens Qt knows about.
class QtScreenList final : public ScreenList {
public:
    QList<ScreenInfo> screens() const override;
    int mainIndex() const override;
    // The QScreen behind an index of screens(); null when the list changed since.
    QScreen* screenAt(int index) const;

    static ScreenInfo info(const QScreen& screen);
};

namespace AppScreens {

inline constexpr auto kAuto = "auto";

// A UUID-shaped, upper-case identifier that stays the same for the same monitor: from its EDID
// when the serial number is known, else from its connector name. Empty when neither is known.
QString identifier(const ScreenInfo& screen);

std::optional<int> screenFor(const ScreenList& list, const QString& identifier);
std::optional<int> notchScreen(const ScreenList& list);

// The preferred screen if connected, else the notched one, else the main one, else the first.
std::optional<int> resolve(const ScreenList& list, const QString& preferred);

} // namespace AppScreens
