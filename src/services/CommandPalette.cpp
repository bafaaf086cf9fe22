// Entries of the command palette and the filter over them.
#include "services/CommandPalette.h"

#include "services/CommandsService.h"

namespace CommandPalette {

namespace {

template <typename F> std::function<void()> call(const F& operation) {
    return [operation] {
        if (operation)
            operation();
    };
}

} // namespace

QList<Action> actions(const State& state, const Operations& ops) {
    QList<Action> list;
    list.reserve(state.commands.size() + state.enabledTabs.size() + state.customTabs.size() + 5);

    for (const State::Command& command : state.commands) {
        const QUuid id = command.id;
        auto toggle = ops.toggleCommand;
        list.append({QStringLiteral("svc-") + uuidString(id),
                     command.running ? QStringLiteral("stop.fill") : QStringLiteral("play.fill"),
                     (command.running ? QStringLiteral("Stop ") : QStringLiteral("Start ")) + command.name,
                     command.command, [toggle, id] {
                         if (toggle)
                             toggle(id);
                     }});
    }

    list.append({QStringLiteral("ocr"), QStringLiteral("text.viewfinder"),
                 QStringLiteral("Grab text from the screen (OCR)"),
                 QStringLiteral("Select an area — the text goes to your clipboard"),
                 call(ops.grabScreenText)});
    list.append({QStringLiteral("clipdetect"), QStringLiteral("sparkles.rectangle.stack"),
                 QStringLiteral("Detect clipboard in the Kit"),
                 QStringLiteral("JSON, JWT, epoch, cor, base64, URL…"), call(ops.detectClipboard)});
    list.append({QStringLiteral("camera"), QStringLiteral("web.camera"),
                 state.cameraActive ? QStringLiteral("Desativar espelho da câmera")
                                    : QStringLiteral("Ativar espelho da câmera"),
                 QStringLiteral("Floating preview below the notch"), call(ops.toggleCamera)});
    list.append({QStringLiteral("settings"), QStringLiteral("gearshape"), QStringLiteral("Open Settings"),
                 QStringLiteral("Shortcuts, tabs, updates"), call(ops.openSettings)});
    list.append({QStringLiteral("quit"), QStringLiteral("power"), QStringLiteral("Quit Quillbay"),
                 QStringLiteral("Fecha o app por completo"), call(ops.quit)});

    auto select = ops.selectTab;
    auto selecting = [select](TabSelection selection) {
        return [select, selection] {
            if (select)
                select(selection);
        };
    };
    for (DashboardTab tab : state.enabledTabs)
        list.append({QStringLiteral("tab-") + tab.id(), tab.icon(), QStringLiteral("Go to ") + tab.rawValue(),
                     QStringLiteral("Abrir aba"), selecting(TabSelection(tab))});
    for (const State::CustomEntry& custom : state.customTabs)
        list.append({QStringLiteral("ctab-") + uuidString(custom.id),
                     custom.web ? QStringLiteral("globe") : QStringLiteral("terminal.fill"),
                     QStringLiteral("Go to ") + custom.name, QStringLiteral("Abrir aba"),
                     selecting(TabSelection::custom(custom.id))});
    return list;
}

QList<Action> filtered(const QList<Action>& actions, const QString& query) {
    // The same trim as the command form: spaces, tabs and other space separators, never line breaks.
    const QString q = CommandsService::trimmed(query);
    if (q.isEmpty())
        return actions;
    QList<Action> kept;
    for (const Action& action : actions) {
        if (action.title.contains(q, Qt::CaseInsensitive) || action.subtitle.contains(q, Qt::CaseInsensitive))
            kept.append(action);
    }
    return kept;
}

} // namespace CommandPalette
