// The brightness keys heard through XInput 2 raw key events on a connection of its own: nothing is
// grabbed, so the desktop still changes the brightness.
#pragma once

#include "platform/BrightnessKeys.h"

#include <QList>

#include <memory>

struct xcb_connection_t;
class QSocketNotifier;

class X11BrightnessKeys final : public BrightnessKeys {
public:
    // Null away from X11, without XInput 2, or when no key of the keyboard map changes the brightness.
    static std::unique_ptr<X11BrightnessKeys> create();
    ~X11BrightnessKeys() override;

    void setListening(bool on) override;
    void setPressedHandler(std::function<void()> handler) override { m_pressed = std::move(handler); }

private:
    X11BrightnessKeys() = default;
    void readEvents();
    void notifyPressed() {
        if (m_pressed)
            m_pressed();
    }

    std::function<void()> m_pressed;

    xcb_connection_t* m_connection = nullptr;
    quint32 m_root = 0;
    quint8 m_xinput = 0; // the extension's major opcode
    QList<quint8> m_keycodes;
    bool m_listening = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
