// Puts a few pixels that are already drawn straight onto a shown window. The toolkit's own path copies
// through a shared-memory image and, before the same pixels are drawn again, waits for the display
// server to have read them: a round trip that wakes two threads, for a pulse frame of a 6 × 6 dot or a
// changed second of a time label costing far more than the pixels. A few hundred bytes through the
// socket need no wait.
#pragma once

#include <QPoint>

class QImage;
class QWindow;

class WindowPixels {
public:
    WindowPixels() = default;
    virtual ~WindowPixels() = default;
    Q_DISABLE_COPY_MOVE(WindowPixels)

    // Copies `pixels` (premultiplied ARGB32, in the window's device pixels) onto `window` with its top
    // left corner at `at` (device pixels). False when this window cannot take them that way (not shown,
    // another pixel layout, too large for one request): the caller repaints as usual.
    virtual bool put(QWindow* window, QPoint at, const QImage& pixels) = 0;
};
