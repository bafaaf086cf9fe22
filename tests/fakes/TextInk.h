// Reading drawn text back from pixels: which rows carry ink (one band a line of text) and whether a
// line ends in the three dots of an ellipsis. The widget is drawn over black, its text being light.
#pragma once

#include <QImage>
#include <QList>
#include <QPair>
#include <QWidget>

#include <algorithm>

namespace TextInk {

// `widget` drawn at its present size over black.
inline QImage drawn(QWidget* widget) {
    QImage img(widget->size(), QImage::Format_ARGB32);
    img.fill(Qt::black);
    widget->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

inline bool inked(QRgb px) {
    return std::max({qRed(px), qGreen(px), qBlue(px)}) > 60;
}

// The runs of rows holding ink, top to bottom, as first and last row.
inline QList<QPair<int, int>> bands(const QImage& img) {
    QList<QPair<int, int>> out;
    int start = -1;
    for (int y = 0; y <= img.height(); ++y) {
        bool ink = false;
        for (int x = 0; y < img.height() && x < img.width() && !ink; ++x)
            ink = inked(img.pixel(x, y));
        if (ink && start < 0)
            start = y;
        if (!ink && start >= 0) {
            out.append({start, y - 1});
            start = -1;
        }
    }
    return out;
}

// Whether every band is a whole line of text: at least half a line high. A line cut by the edge of
// its label shows as a low sliver of glyphs. (Lines of the texts under test have capitals or
// ascenders.)
inline bool wholeLines(const QList<QPair<int, int>>& bands, int fontHeight) {
    for (const auto& b : bands)
        if (b.second - b.first + 1 < fontHeight / 2)
            return false;
    return !bands.isEmpty();
}

// Whether the band of rows [top, bottom] ends, at its right, in an ellipsis: a mark at least three
// pixels wide that sits low in the line with nothing above it (three dots, or at small sizes a short
// bar of them). A letter reaches higher; a full stop or comma is narrower.
inline bool endsInEllipsis(const QImage& img, QPair<int, int> band) {
    const int lowTop = band.first + (band.second - band.first + 1) / 2;
    int lowColumns = 0;
    bool seen = false;
    for (int x = img.width() - 1; x >= 0; --x) {
        bool low = false, high = false;
        for (int y = band.first; y <= band.second; ++y)
            if (inked(img.pixel(x, y)))
                (y >= lowTop ? low : high) = true;
        if (high)
            break;
        seen = seen || low;
        lowColumns += low;
    }
    return seen && lowColumns >= 3;
}

} // namespace TextInk
