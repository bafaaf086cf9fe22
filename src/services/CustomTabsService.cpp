// The custom tabs list and its edits.
#include "services/CustomTabsService.h"

CustomTabsService::CustomTabsService(Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults) {}

QList<CustomTab> CustomTabsService::enabledTabs() const {
    QList<CustomTab> result;
    for (const CustomTab& t : m_tabs) {
        if (t.enabled)
            result.append(t);
    }
    return result;
}

std::optional<CustomTab> CustomTabsService::tab(const QUuid& id) const {
    for (const CustomTab& t : m_tabs) {
        if (t.id == id)
            return t;
    }
    return std::nullopt;
}

void CustomTabsService::save(const CustomTab& tab) {
    QList<CustomTab> tabs = m_tabs;
    auto it = std::find_if(tabs.begin(), tabs.end(), [&](const CustomTab& t) { return t.id == tab.id; });
    if (it != tabs.end())
        *it = tab;
    else
        tabs.append(tab);
    setTabs(std::move(tabs));
}

void CustomTabsService::remove(const CustomTab& tab) {
    QList<CustomTab> tabs = m_tabs;
    tabs.removeIf([&](const CustomTab& t) { return t.id == tab.id; });
    setTabs(std::move(tabs));
}

void CustomTabsService::setEnabled(const CustomTab& tab, bool enabled) {
    QList<CustomTab> tabs = m_tabs;
    auto it = std::find_if(tabs.begin(), tabs.end(), [&](const CustomTab& t) { return t.id == tab.id; });
    if (it == tabs.end())
        return;
    it->enabled = enabled;
    setTabs(std::move(tabs));
}

void CustomTabsService::setTabs(QList<CustomTab> tabs) {
    if (tabs == m_tabs)
        return;
    m_tabs = std::move(tabs);
    emit tabsChanged();
}
