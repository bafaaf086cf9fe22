// The command palette's entries and their filter, as plain functions of the state they are built from,
// so that the list can be rebuilt on every keystroke and checked without any widget.
#pragma once

#include "model/DashboardTab.h"
#include "model/TabSelection.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <functional>

namespace CommandPalette {

// At most this many entries are shown; Enter runs the first shown.
inline constexpr int maxRows = 8;

struct Action {
    QString id;
    QString icon;
    QString title;
    QString subtitle;
    std::function<void()> run;
};

// What the list is built from, read fresh each time.
struct State {
    struct Command {
        QUuid id;
        QString name;
        QString command;
        bool running = false;
    };
    struct CustomEntry {
        QUuid id;
        QString name;
        bool web = false;
    };
    QList<Command> commands;         // saved commands, in their order
    bool cameraActive = false;       // the camera mirror is on
    QList<DashboardTab> enabledTabs; // built-in tabs switched on, in tab order
    QList<CustomEntry> customTabs;   // enabled custom tabs, in list order
};

// What the entries do. Each operation decides from the state at the moment it runs (a command may
// have stopped since the list was drawn), so the entries carry only identities.
struct Operations {
    std::function<void(const QUuid& command)> toggleCommand;
    std::function<void()> grabScreenText;
    std::function<void()> detectClipboard;
    std::function<void()> toggleCamera;
    std::function<void()> openSettings;
    std::function<void()> quit;
    std::function<void(const TabSelection&)> selectTab;
};

// Every entry: saved commands, the fixed actions, then the built-in and the custom tabs.
QList<Action> actions(const State& state, const Operations& operations);

// The entries whose title, or else subtitle, holds the query trimmed of blanks (not line breaks), ignoring
// case (accents count: "camera" does not find "Câmera"). An empty query keeps every entry.
QList<Action> filtered(const QList<Action>& actions, const QString& query);

} // namespace CommandPalette
