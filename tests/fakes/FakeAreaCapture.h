// An area selection that stays open until the test ends it.
#pragma once

#include "platform/AreaCapture.h"

class FakeAreaCapture final : public AreaCapture {
public:
    void selectArea(std::function<void(std::optional<QImage>)> done) override {
        ++opened;
        pending = std::move(done);
    }
    // The user finishes (an image) or cancels (nothing).
    void finish(std::optional<QImage> area) {
        auto done = std::move(pending);
        pending = nullptr;
        if (done)
            done(std::move(area));
    }
    bool isOpen() const { return bool(pending); }

    int opened = 0;
    std::function<void(std::optional<QImage>)> pending;
};
