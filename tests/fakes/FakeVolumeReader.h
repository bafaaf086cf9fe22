// An output volume a test sets, or takes away, and announces as the sound server would.
#pragma once

#include "platform/ChangeNotice.h"
#include "platform/VolumeReader.h"

class FakeVolumeReader final : public VolumeReader {
public:
    std::optional<double> readVolume() override {
        ++reads;
        return value;
    }
    // The server reports a new level (none: it went away).
    void change(std::optional<double> to) {
        value = to;
        m_changeNotice.notify();
    }
    void setChangeHandler(std::function<void()> handler) override { m_changeNotice.set(std::move(handler)); }
    std::optional<double> value;
    int reads = 0;

private:
    ChangeNotice m_changeNotice;
};
