// The collapsed island's priorities: media, then the level HUD, then the timer, then any other activity.
#include "views/IslandLayout.h"

IslandLayout IslandLayout::compute(const IslandInputs& in) {
    IslandLayout layout;
    const bool media = in.track.has_value();
    if (media)
        layout.wing = 108;
    else if (in.hud)
        layout.wing = 74;
    else if (in.pomodoroRunning)
        layout.wing = 64;
    else if (in.indicatorsActive)
        layout.wing = 30;

    if (in.hud)
        layout.left << IslandItem::hudLevel;
    else if (in.pomodoroRunning)
        layout.left << IslandItem::pomodoro;
    if (media)
        layout.left << IslandItem::playPause << IslandItem::elapsed;
    if (in.aiHot)
        layout.left << IslandItem::aiHot;
    if (in.anyWaiting)
        layout.left << IslandItem::waitingDot;

    if (media)
        layout.right << IslandItem::mediaSource;
    if (in.anyCrashed)
        layout.right << IslandItem::crashedDot;
    for (int i = 0; i < std::min(std::max(in.runningCount, 0), 3); ++i)
        layout.right << IslandItem::runningDot;
    return layout;
}

QString IslandLayout::elapsedText(int seconds) {
    seconds = std::max(seconds, 0);
    return QString::asprintf("%d:%02d", seconds / 60, seconds % 60);
}
