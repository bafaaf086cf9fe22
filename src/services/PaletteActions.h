// The command palette bound to the dashboard: what its list is built from, read from the model and
// its services, and what each entry does to them. No widget is involved, so the palette's view only
// shows the entries and runs the one picked.
#pragma once

#include "services/CommandPalette.h"

#include <QPointer>

#include <functional>

class DashboardModel;

class PaletteActions {
public:
    // `quit` is what the quit entry asks for; its owner decides how the user is asked.
    PaletteActions(DashboardModel& model, std::function<void()> quit);

    // The list's inputs as the model holds them now.
    CommandPalette::State state() const;
    // Operations that reach the model through a guard: an entry runs from the event loop, after the
    // palette (and possibly the island) is gone, and then does nothing once the model is gone too.
    CommandPalette::Operations operations() const;
    // Every entry, in order, built from the current state.
    QList<CommandPalette::Action> entries() const;

    // What the entries do; each decides from the state at the moment it runs, not when the list
    // was drawn (a command may have stopped meanwhile).
    static void toggleCommand(DashboardModel& model, const QUuid& id);
    static void grabScreenText(DashboardModel& model);
    static void detectClipboard(DashboardModel& model);
    static void toggleCamera(DashboardModel& model);
    // A jump from the palette is not a press on the tab bar, so it is not counted as one.
    static void selectTab(DashboardModel& model, const TabSelection& selection);

private:
    QPointer<DashboardModel> m_model;
    std::function<void()> m_quit;
};
