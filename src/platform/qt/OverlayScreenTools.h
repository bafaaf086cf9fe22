// Area selection and colour sampling over a frozen picture of the screen the pointer is on (the island's
// screen, since the user has just clicked there), in windows of our own.
#pragma once

#include "platform/AreaCapture.h"
#include "platform/ScreenColorSampler.h"

#include <QPointer>

class ScreenOverlay;

class OverlayScreenTools final : public AreaCapture, public ScreenColorSampler {
public:
    OverlayScreenTools() = default;

    void selectArea(std::function<void(std::optional<QImage>)> done) override;
    void sample(std::function<void(std::optional<QColor>)> done) override;

private:
    // The picture of the screen under the pointer and that screen's place; null where none can be taken.
    ScreenOverlay* makeOverlay(int mode);

    QPointer<ScreenOverlay> m_open;
};
