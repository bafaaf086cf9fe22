// The user's custom dashboard tabs (script output or a web page).
#pragma once

#include "model/CustomTab.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

class Defaults;

class CustomTabsService : public QObject {
    Q_OBJECT
public:
    explicit CustomTabsService(Defaults& defaults, QObject* parent = nullptr);

    const QList<CustomTab>& tabs() const { return m_tabs; }
    // The tabs whose `enabled` is set, in list order.
    QList<CustomTab> enabledTabs() const;
    std::optional<CustomTab> tab(const QUuid& id) const;

    // Replaces the tab with the same id in place, else appends it.
    void save(const CustomTab& tab);
    void remove(const CustomTab& tab);
    void setEnabled(const CustomTab& tab, bool enabled);

signals:
    void tabsChanged();

private:
    void setTabs(QList<CustomTab> tabs);

    Defaults& m_defaults;
    QList<CustomTab> m_tabs;
};
