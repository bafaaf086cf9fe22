// Makes the view of a dashboard tab, so that each tab's view plugs in as it is written.
#pragma once

#include "model/DashboardTab.h"
#include "model/TabSelection.h"

#include <QHash>

#include <functional>

class DashboardModel;
class QWidget;
struct CustomTab;

class TabViewFactory {
public:
    using Maker = std::function<QWidget*(QWidget* parent)>;
    using CustomMaker = std::function<QWidget*(const CustomTab& tab, QWidget* parent)>;

    // The views that exist so far, each given the one service it shows.
    static TabViewFactory standard(DashboardModel& model);

    void setBuiltin(DashboardTab tab, Maker maker) { m_builtin.insert(tab, std::move(maker)); }
    void setCustom(CustomMaker maker) { m_custom = std::move(maker); }

    // The view of `selection`: a tab without a view yet shows a hint with its name; a custom tab
    // that no longer exists gives nothing (null).
    QWidget* make(const TabSelection& selection, const DashboardModel& model, QWidget* parent) const;

private:
    QHash<DashboardTab, Maker> m_builtin;
    CustomMaker m_custom;
};
