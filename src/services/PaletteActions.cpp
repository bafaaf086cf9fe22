// The palette's entries read from, and run against, the dashboard model.
#include "services/PaletteActions.h"

#include "services/CameraService.h"
#include "services/CommandsService.h"
#include "services/CustomTabsService.h"
#include "services/DashboardModel.h"
#include "services/SettingsService.h"
#include "services/UtilsState.h"

PaletteActions::PaletteActions(DashboardModel& model, std::function<void()> quit)
    : m_model(&model)
    , m_quit(std::move(quit)) {}

CommandPalette::State PaletteActions::state() const {
    CommandPalette::State s;
    if (!m_model)
        return s;
    const QSet<QUuid>& running = m_model->commands().runningIDs();
    for (const SavedCommand& c : m_model->commands().commands())
        s.commands.append({c.id, c.name, c.command, running.contains(c.id)});
    s.cameraActive = m_model->camera().isActive();
    s.enabledTabs = m_model->settings().enabledTabs();
    for (const CustomTab& t : m_model->customTabs().enabledTabs())
        s.customTabs.append({t.id, t.name, t.kind == CustomTab::Kind::web});
    return s;
}

CommandPalette::Operations PaletteActions::operations() const {
    const QPointer<DashboardModel> guard = m_model;
    // Each operation gets the model only while it still exists.
    auto guarded = [guard](auto operation) {
        return [guard, operation](auto&&... args) {
            if (guard)
                operation(*guard, std::forward<decltype(args)>(args)...);
        };
    };
    CommandPalette::Operations ops;
    ops.toggleCommand = guarded(&PaletteActions::toggleCommand);
    ops.grabScreenText = guarded(&PaletteActions::grabScreenText);
    ops.detectClipboard = guarded(&PaletteActions::detectClipboard);
    ops.toggleCamera = guarded(&PaletteActions::toggleCamera);
    ops.openSettings = guarded([](DashboardModel& model) { model.openSettings(); });
    ops.quit = m_quit;
    ops.selectTab = guarded(&PaletteActions::selectTab);
    return ops;
}

QList<CommandPalette::Action> PaletteActions::entries() const {
    return CommandPalette::actions(state(), operations());
}

void PaletteActions::toggleCommand(DashboardModel& model, const QUuid& id) {
    CommandsService& commands = model.commands();
    for (const SavedCommand& c : commands.commands()) {
        if (c.id != id)
            continue;
        if (commands.runningIDs().contains(id))
            commands.stop(c);
        else
            commands.start(c);
        return;
    }
}

void PaletteActions::grabScreenText(DashboardModel& model) {
    model.setTab(TabSelection::kit());
    model.utils().captureAndOCR();
}

void PaletteActions::detectClipboard(DashboardModel& model) {
    model.setTab(TabSelection::kit());
    // The kit's own paste: the text the clipboard thread already read (a silent owner cannot hold this
    // up), or, for a very long one, the whole text once it has been read again.
    model.utils().pasteAndDetect();
}

void PaletteActions::toggleCamera(DashboardModel& model) {
    CameraService& camera = model.camera();
    if (camera.isActive())
        camera.stop();
    else
        camera.start();
}

void PaletteActions::selectTab(DashboardModel& model, const TabSelection& selection) {
    model.setTab(selection);
}
