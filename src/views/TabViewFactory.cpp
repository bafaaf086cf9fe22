// The tab views known so far, and the hint shown in place of those still to come.
#include "views/TabViewFactory.h"

#include "model/DashboardModel.h"
#include "services/CustomTabsService.h"
#include "views/ClipTab.h"
#include "views/EmptyHint.h"
#include "views/TerminalTab.h"

TabViewFactory TabViewFactory::standard(DashboardModel& model) {
    TabViewFactory factory;
    CommandsService* commands = &model.commands();
    factory.setBuiltin(DashboardTab::terminal,
                       [commands](QWidget* parent) { return new TerminalTab(*commands, parent); });
    ClipboardService* clipboard = &model.clipboard();
    factory.setBuiltin(DashboardTab::clip,
                       [clipboard](QWidget* parent) { return new ClipTab(*clipboard, parent); });
    return factory;
}

QWidget* TabViewFactory::make(const TabSelection& selection, const DashboardModel& model,
                              QWidget* parent) const {
    if (selection.isBuiltin()) {
        if (auto it = m_builtin.constFind(selection.tab()); it != m_builtin.constEnd() && *it)
            return (*it)(parent);
        return new EmptyHint(selection.tab().rawValue(), parent);
    }
    const std::optional<CustomTab> tab = model.customTabs().tab(selection.uuid());
    if (!tab)
        return nullptr;
    if (m_custom)
        return m_custom(*tab, parent);
    return new EmptyHint(tab->name, parent);
}
