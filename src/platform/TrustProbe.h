// The seam for "may this process synthesise key presses into other applications?".
#pragma once

#include <QtGlobal>

class TrustProbe {
public:
    TrustProbe() = default;
    virtual ~TrustProbe() = default;
    Q_DISABLE_COPY_MOVE(TrustProbe)
    // Whether the desktop lets this program send key presses to other programs' windows. On X11 that is
    // the XTEST extension, which cannot come or go while the display connection lives: one answer holds.
    virtual bool isTrusted() const = 0;
};
