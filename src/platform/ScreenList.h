// The connected screens, as the choice and placement of the island's screen read them.
#pragma once

#include <QList>
#include <QRectF>
#include <QString>
#include <QtGlobal>

#include <optional>

// The part of a screen that decides the collapsed island's size. The auxiliary widths are the
// menu-bar areas beside a camera housing; no Linux screen reports them, fakes do.
struct ScreenMetrics {
    QRectF frame;
    qreal safeAreaTop = 0;
    std::optional<qreal> auxiliaryTopLeftWidth;
    std::optional<qreal> auxiliaryTopRightWidth;
};

// What the screen choice reads of one connected screen.
struct ScreenInfo {
    QString name; // connector or RandR monitor name, e.g. "HDMI-1"
    QString manufacturer;
    QString model;
    QString serialNumber;
    ScreenMetrics metrics;

    bool hasNotch() const { return metrics.safeAreaTop > 0; }
};

// The connected screens in the platform's order.
class ScreenList {
public:
    ScreenList() = default;
    virtual ~ScreenList() = default;
    Q_DISABLE_COPY_MOVE(ScreenList)

    // Every connected screen, in the platform's order; empty when none is connected.
    virtual QList<ScreenInfo> screens() const = 0;
    // Index into screens() of the screen with the keyboard focus (the primary screen), or -1.
    virtual int mainIndex() const = 0;
};
