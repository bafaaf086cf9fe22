// The desktop's alert sound, played when something the user waits for has finished.
#pragma once

#include <QtGlobal>

class AlertSound {
public:
    AlertSound() = default;
    virtual ~AlertSound() = default;
    Q_DISABLE_COPY_MOVE(AlertSound)
    // Plays the alert once without waiting for it to end. Never fails loudly: a desktop without
    // sound simply stays silent.
    virtual void play() = 0;
};

// A desktop without sound: timers end silently.
class NoAlertSound final : public AlertSound {
public:
    void play() override {}
};
