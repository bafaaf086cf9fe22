// The tab views known so far, and the hint shown in place of those still to come.
#include "views/TabViewFactory.h"

#include "services/CustomTabsService.h"
#include "services/DashboardModel.h"
#include "services/ProfilesService.h"
#include "services/UtilsState.h"
#include "views/AITab.h"
#include "views/CameraTab.h"
#include "views/ClipTab.h"
#include "views/CustomTabView.h"
#include "views/EmptyHint.h"
#include "views/KanbanTab.h"
#include "views/KitTab.h"
#include "views/MediaTab.h"
#include "views/NewsTab.h"
#include "views/PomodoroTab.h"
#include "views/ShelfTab.h"
#include "views/TerminalTab.h"

namespace {

QWidget* builtinView(DashboardTab tab, DashboardModel& model, QWidget* parent) {
    // One line per tab; the hint stands in until the tab's view exists.
    // clang-format off
    switch (tab.value()) {
    case DashboardTab::terminal: return new TerminalTab(model.commands(), model.clipboard(), parent);
    case DashboardTab::ai: return new AITab(model.ai(), model.agents(), parent);
    case DashboardTab::kit: return new KitTab(model.utils(), parent);
    case DashboardTab::clip: return new ClipTab(model.clipboard(), parent);
    case DashboardTab::camera: return new CameraTab(model.camera(), parent);
    case DashboardTab::media: return new MediaTab(model.media(), parent);
    case DashboardTab::pomodoro: return new PomodoroTab(model.pomodoro(), parent);
    case DashboardTab::kanban: return new KanbanTab(model.kanban(), parent);
    case DashboardTab::shelf: return new ShelfTab(model.shelf(), parent);
    case DashboardTab::news: return new NewsTab(model.news(), NewsTab::Estilo::site, parent);
    case DashboardTab::profiles: return new NewsTab(model.profiles(), NewsTab::Estilo::perfil, parent);
    }
    // clang-format on
    return new EmptyHint(tab.rawValue(), parent);
}

QWidget* customView(const CustomTab& tab, DashboardModel& model, QWidget* parent) {
    return new CustomTabView(model.customTabs(), tab, webPageFactory(), parent);
}

} // namespace

QWidget* makeTabView(const TabSelection& selection, DashboardModel& model, QWidget* parent) {
    if (selection.isBuiltin())
        return builtinView(selection.tab(), model, parent);
    const std::optional<CustomTab> tab = model.customTabs().tab(selection.uuid());
    return tab ? customView(*tab, model, parent) : nullptr;
}
