// The island's observable state; see NotchState.h.
#include "app/NotchState.h"

NotchState::NotchState(QObject* parent)
    : QObject(parent) {}

void NotchState::setExpanded(bool expanded) {
    if (m_isExpanded == expanded)
        return;
    m_isExpanded = expanded;
    emit isExpandedChanged(expanded);
}

void NotchState::applyNotchGeometry(const IslandGeometry::NotchGeometry& geometry) {
    if (m_hasPhysicalNotch == geometry.hasPhysicalNotch && m_collapsedSize == geometry.collapsedSize)
        return;
    m_hasPhysicalNotch = geometry.hasPhysicalNotch;
    m_collapsedSize = geometry.collapsedSize;
    emit geometryChanged();
}
