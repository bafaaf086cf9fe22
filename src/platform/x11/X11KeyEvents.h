// Modifier state from the pointer query and the paste key press through the XTEST extension.
#pragma once

#include "platform/KeyEvents.h"

#include <QtGlobal>

#include <memory>

struct xcb_connection_t;

class X11KeyEvents final : public KeyEvents {
public:
    // Null away from X11.
    static std::unique_ptr<X11KeyEvents> create();

    bool modifiersHeld() override;
    bool postPaste(PasteKeys keys) override;

private:
    X11KeyEvents(xcb_connection_t* connection, quint32 root);

    xcb_connection_t* m_c;
    quint32 m_root;
};
