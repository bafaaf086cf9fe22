// A backlight level a test sets, or takes away; announced, or changed silently as some firmware does.
#pragma once

#include "platform/BrightnessReader.h"
#include "platform/ChangeNotice.h"

class FakeBrightnessReader final : public BrightnessReader {
public:
    std::optional<double> readBrightness() override {
        ++reads;
        return value;
    }
    bool present() const override { return hasDevice; }
    bool announcesChanges() const override { return announces; }

    // The level changes and the device says so.
    void change(std::optional<double> to) {
        value = to;
        m_changeNotice.notify();
    }
    // A backlight is plugged in or taken away, and announced.
    void plug(bool present) {
        hasDevice = present;
        m_changeNotice.notify();
    }
    void setChangeHandler(std::function<void()> handler) override { m_changeNotice.set(std::move(handler)); }

    std::optional<double> value;
    bool hasDevice = true;
    bool announces = true;
    int reads = 0;

private:
    ChangeNotice m_changeNotice;
};
