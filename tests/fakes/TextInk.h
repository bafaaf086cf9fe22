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

// Whether the band of rows [top, bottom] ends, at its right, in three separate marks low in the line:
// the dots of "…". A letter or a word end gives one or two.
inline bool endsInEllipsis(const QImage& img, QPair<int, int> band) {
    int right = -1;
    for (int x = img.width() - 1; x >= 0 && right < 0; --x)
        for (int y = band.first; y <= band.second; ++y)
            if (inked(img.pixel(x, y))) {
                right = x;
                break;
            }
    if (right < 0)
        return false;
    // The dots sit in the lower half of the line; count the runs of inked columns there, right to left,
    // over a few dots' width, and require that nothing above them belongs to the same columns.
    const int lowTop = band.first + (band.second - band.first) / 2;
    int runs = 0;
    bool inRun = false;
    const int span = std::max(8, (band.second - band.first + 1) * 3 / 2);
    for (int x = right; x >= std::max(0, right - span); --x) {
        bool low = false, high = false;
        for (int y = band.first; y <= band.second; ++y)
            if (inked(img.pixel(x, y)))
                (y >= lowTop ? low : high) = true;
        if (high)
            return runs >= 3;
        if (low && !inRun)
            ++runs;
        inRun = low;
        if (runs == 3 && !low)
            return true;
    }
    return runs >= 3;
}

} // namespace TextInk
