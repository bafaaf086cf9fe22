// Entries of the command palette and the filter over them.
#include "services/CommandPalette.h"

#include "services/CommandsService.h"

#include <QCoreApplication>

namespace CommandPalette {

namespace {

QString text(const char* source) {
    return QCoreApplication::translate("CommandPalette", source);
}

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
                     (command.running ? text(QT_TRANSLATE_NOOP("CommandPalette", "Stop %1"))
                                      : text(QT_TRANSLATE_NOOP("CommandPalette", "Start %1")))
                         .arg(command.name),
                     command.command, [toggle, id] {
                         if (toggle)
                             toggle(id);
                     }});
    }

    list.append(
        {QStringLiteral("ocr"), QStringLiteral("text.viewfinder"),
         text(QT_TRANSLATE_NOOP("CommandPalette", "Grab text from the screen (OCR)")),
         text(QT_TRANSLATE_NOOP("CommandPalette", "Select an area — the text goes to your clipboard")),
         call(ops.grabScreenText)});
    list.append({QStringLiteral("clipdetect"), QStringLiteral("sparkles.rectangle.stack"),
                 text(QT_TRANSLATE_NOOP("CommandPalette", "Detect clipboard in the Kit")),
                 text(QT_TRANSLATE_NOOP("CommandPalette", "JSON, JWT, epoch, cor, base64, URL…")),
                 call(ops.detectClipboard)});
    list.append({QStringLiteral("camera"), QStringLiteral("web.camera"),
                 state.cameraActive ? text(QT_TRANSLATE_NOOP("CommandPalette", "Desativar espelho da câmera"))
                                    : text(QT_TRANSLATE_NOOP("CommandPalette", "Ativar espelho da câmera")),
                 text(QT_TRANSLATE_NOOP("CommandPalette", "Floating preview below the notch")),
                 call(ops.toggleCamera)});
    list.append({QStringLiteral("settings"), QStringLiteral("gearshape"),
                 text(QT_TRANSLATE_NOOP("CommandPalette", "Open Settings")),
                 text(QT_TRANSLATE_NOOP("CommandPalette", "Shortcuts, tabs, updates")),
                 call(ops.openSettings)});
    list.append({QStringLiteral("quit"), QStringLiteral("power"),
                 text(QT_TRANSLATE_NOOP("CommandPalette", "Quit Quillbay")),
                 text(QT_TRANSLATE_NOOP("CommandPalette", "Fecha o app por completo")), call(ops.quit)});

    auto select = ops.selectTab;
    auto selecting = [select](TabSelection selection) {
        return [select, selection] {
            if (select)
                select(selection);
        };
    };
    const QString goTo = text(QT_TRANSLATE_NOOP("CommandPalette", "Go to %1"));
    const QString openTab = text(QT_TRANSLATE_NOOP("CommandPalette", "Abrir aba"));
    for (DashboardTab tab : state.enabledTabs)
        list.append({QStringLiteral("tab-") + tab.id(), tab.icon(), goTo.arg(tab.title()), openTab,
                     selecting(TabSelection(tab))});
    for (const State::CustomEntry& custom : state.customTabs)
        list.append({QStringLiteral("ctab-") + uuidString(custom.id),
                     custom.web ? QStringLiteral("globe") : QStringLiteral("terminal.fill"),
                     goTo.arg(custom.name), openTab, selecting(TabSelection::custom(custom.id))});
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
