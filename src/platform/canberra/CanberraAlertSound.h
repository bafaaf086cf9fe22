// The sound theme's "bell" event through libcanberra, with the X bell where no sound can be played.
#pragma once

#include "platform/AlertSound.h"

struct ca_context;

class CanberraAlertSound final : public AlertSound {
public:
    CanberraAlertSound();
    ~CanberraAlertSound() override;
    void play() override;

private:
    ca_context* m_context = nullptr; // made on first use, so a program that never beeps opens no sound
    bool m_failed = false;
};
