// Repaints one small widget at once, straight onto its window through WindowPixels, where the usual
// repaint would wait on the display server. The window's own copy of those pixels (what the toolkit
// shows again when the window is uncovered) is then behind, and catches up through a usual repaint the
// next time the window is exposed.
#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>

class QWidget;
class QWindow;
class WindowPixels;

class DirectRepaint : public QObject {
    Q_OBJECT
public:
    // Belongs to `widget`. Without pixels every repaint is a usual update().
    explicit DirectRepaint(QWidget* widget);

    void setPixels(WindowPixels* pixels) { m_pixels = pixels; }
    WindowPixels* pixels() const { return m_pixels; }

    // Shows the widget as it is now: straight onto the window where that can be done, otherwise
    // through update(). Returns whether the pixels went straight. A widget that shows one of a few
    // looks over and over (a pulse) names the look with `look` (0 to 255): a look drawn once is put
    // again as it was drawn, for as long as nothing beneath the widget changed.
    bool repaint(int look = -1);
    // Whether the window's own copy of the widget is older than what is shown.
    bool behind() const { return m_behind; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool putNow(int look);
    QImage backdrop(QWidget* top, const QRect& inWindow) const;

    QWidget* m_widget;
    WindowPixels* m_pixels = nullptr;
    QPointer<QWindow> m_watched;
    bool m_behind = false;
    bool m_rendering = false;
    QImage m_backdrop;  // null: another widget overlaps, the whole window is drawn
    QRect m_backdropAt; // in window coordinates; null: to be drawn again
    QPointer<QWindow> m_backdropWindow;
    QHash<int, QImage> m_looks; // drawn over the kept backdrop
};
