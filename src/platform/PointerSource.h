// The global pointer as the island's tracker sees it, wherever the pointer is on the desktop.
#pragma once

#include <QtGlobal>

#include <QPointF>

struct PointerSample {
    QPointF position;               // global, device-independent pixels
    bool primaryButtonDown = false; // held over any window, not only ours
};

class PointerSource {
public:
    PointerSource() = default;
    virtual ~PointerSource() = default;
    Q_DISABLE_COPY_MOVE(PointerSource)
    virtual PointerSample sample() = 0;
};
