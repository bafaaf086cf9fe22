// What the collapsed island shows: the wing width and the indicator items of each wing, in order.
#pragma once

#include "model/HUDLevel.h"
#include "model/MediaTrack.h"
#include "model/PomodoroPhase.h"

#include <QList>
#include <QString>

#include <optional>

// The values the island reads from the model and its services, gathered in one place.
struct IslandInputs {
    bool indicatorsActive = false;
    bool simulateNotch = true;
    std::optional<MediaTrack> track; // present exactly when media is present
    int elapsedSeconds = 0;
    std::optional<HUDLevel> hud;
    bool pomodoroRunning = false;
    PomodoroPhase pomodoroPhase = PomodoroPhase::focus;
    QString pomodoroTime;
    bool aiHot = false;
    bool anyWaiting = false;
    bool anyCrashed = false;
    int runningCount = 0;

    bool operator==(const IslandInputs&) const = default;
};

enum class IslandItem {
    hudLevel,
    pomodoro,
    playPause,
    elapsed,
    aiHot,
    waitingDot,
    mediaSource,
    crashedDot,
    runningDot,
};

struct IslandLayout {
    int wing = 0;
    QList<IslandItem> left;
    QList<IslandItem> right;

    bool operator==(const IslandLayout&) const = default;

    static IslandLayout compute(const IslandInputs& inputs);
    // Whole minutes, a colon and two-digit seconds ("0:07", "12:30", "75:00").
    static QString elapsedText(int seconds);
};
