// The level indicator service.
#include "services/HUDService.h"

HUDService::HUDService(QObject* parent)
    : QObject(parent) {}

void HUDService::setCurrent(std::optional<Level> level) {
    if (level == m_current)
        return;
    m_current = std::move(level);
    emit currentChanged();
    emit changed();
}
