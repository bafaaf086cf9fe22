// Synthesised input on X11 needs no permission, only the XTEST extension on the display.
#pragma once

#include "platform/TrustProbe.h"

#include <xcb/xcb.h>

class X11TrustProbe final : public TrustProbe {
public:
    // On Qt's connection; without X11 (Wayland, offscreen) the answer is always false.
    X11TrustProbe();
    explicit X11TrustProbe(xcb_connection_t* connection)
        : m_connection(connection) {}

    bool isTrusted() const override;

private:
    xcb_connection_t* m_connection = nullptr;
};
