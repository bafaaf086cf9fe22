// A pointer that tests move by hand; counts how often it was read or told to forget its reading.
#pragma once

#include "platform/PointerSource.h"

class FakePointerSource final : public PointerSource {
public:
    PointerSample sample() override {
        ++reads;
        return current;
    }
    bool reportsMotion() override { return announcesMotion; }
    void forgetCached() override { ++forgets; }
    void setMovedHandler(std::function<void()> handler) override { m_moved = std::move(handler); }

    // Moves the pointer as a mouse does: the new place is announced.
    void move(const QPointF& to, bool button = false) {
        current = {to, button};
        if (m_moved)
            m_moved();
    }
    // Moves the pointer as a program does: nothing is announced.
    void warp(const QPointF& to) { current.position = to; }

    PointerSample current;
    bool announcesMotion = false;
    int reads = 0;
    int forgets = 0;

private:
    std::function<void()> m_moved;
};
