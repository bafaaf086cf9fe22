// The module that holds CanberraAlertSound, loaded by the program the first time the seam is used.
#include "platform/canberra/CanberraAlertSound.h"

extern "C" Q_DECL_EXPORT AlertSound* quillbay_make_alert_sound() {
    return new CanberraAlertSound();
}
