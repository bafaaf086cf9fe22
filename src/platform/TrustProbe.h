// The seam for "may this process synthesise key presses into other applications?".
#pragma once

#include <QtGlobal>

class TrustProbe {
public:
    TrustProbe() = default;
    virtual ~TrustProbe() = default;
    Q_DISABLE_COPY_MOVE(TrustProbe)
    // Whether the desktop lets this program send key presses to other programs' windows; asked afresh
    // each time, since the user may grant or withdraw it while the program runs.
    virtual bool isTrusted() const = 0;
};
