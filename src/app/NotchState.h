// The island's observable state: open or closed, and the sizes that place it.
#pragma once

#include "app/IslandGeometry.h"

#include <QObject>
#include <QSizeF>

class NotchState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isExpanded READ isExpanded WRITE setExpanded NOTIFY isExpandedChanged)
    Q_PROPERTY(QSizeF collapsedSize READ collapsedSize NOTIFY geometryChanged)
    Q_PROPERTY(bool hasPhysicalNotch READ hasPhysicalNotch NOTIFY geometryChanged)
    Q_PROPERTY(QSizeF expandedSize READ expandedSize CONSTANT)
    Q_PROPERTY(qreal windowPadding READ windowPadding CONSTANT)

public:
    explicit NotchState(QObject* parent = nullptr);

    bool isExpanded() const { return m_isExpanded; }
    void setExpanded(bool expanded);

    QSizeF collapsedSize() const { return m_collapsedSize; }
    bool hasPhysicalNotch() const { return m_hasPhysicalNotch; }
    // Takes the notch rule's result for the island's (new) screen.
    void applyNotchGeometry(const IslandGeometry::NotchGeometry& geometry);

    static constexpr QSizeF expandedSize() { return {640, 320}; }
    static constexpr qreal windowPadding() { return 24; }

signals:
    void isExpandedChanged(bool isExpanded);
    void geometryChanged();

private:
    bool m_isExpanded = false;
    bool m_hasPhysicalNotch = false;
    QSizeF m_collapsedSize = IslandGeometry::kDefaultCollapsedSize;
};
