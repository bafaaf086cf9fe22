// The island's window: a frameless, unmanaged overlay at the top centre of a screen that lets
// clicks through everywhere except over the island's current shape.
#pragma once

#include <QPointer>
#include <QRectF>
#include <QTimer>
#include <QWidget>

#include <optional>

class DesktopWindows;

class NotchPanel : public QWidget {
    Q_OBJECT

public:
    // Takes ownership of `content`, which fills the panel and draws the island at its top centre.
    // `desktop` outlives the panel.
    NotchPanel(DesktopWindows& desktop, QWidget* content, QWidget* parent = nullptr);
    ~NotchPanel() override;

    // Moves the panel to the top centre of a screen (global coordinates).
    void placeOn(const QRectF& screenFrame);

    // While set, every click passes through; otherwise clicks on the island's shape land here.
    bool ignoresMouseEvents() const { return m_ignoresMouse; }
    void setIgnoresMouseEvents(bool ignore);

    // The island's current outline in panel coordinates, followed while it animates. `drawn` false
    // means the island is meant to be invisible (idle, no notch to cover).
    void setIslandShape(const QRectF& rect, qreal bottomRadius, bool drawn = true);

    // Opening takes the keyboard focus (remembering who had it) and raises the panel; closing
    // lets clicks through again and hands the focus back.
    void applyExpanded(bool expanded);

    // The open island gives the keyboard back to the window that had it before (a surface opened
    // from the keyboard went away) and stays open; a press on it takes the keyboard again.
    void releaseKeyboard();
    // Whether keys typed now are meant for the island: open, and the keyboard not handed back.
    bool wantsKeyboard() const { return m_expanded && !m_keyboardReleased; }
    // After one of the program's windows went away: when the keyboard was left with nobody (no window,
    // the root window) or with a hidden window of this program, it goes back to the island when the
    // island wants it, otherwise to the window that had it before the island.
    void settleKeyboard();
    // The window outside the program that had the keyboard when the island last took it; 0 when none.
    quint32 previousFocus() const { return m_previousFocus.value_or(0); }

    // Whether transparent pixels show through: translucent window and a compositor running.
    bool composited() const { return m_translucent && m_composited; }
    // Gives back the pages of the window's copy of its pixels that hold only its clear pixel (see
    // BlankPages.h) and can be given back without changing what shows: anywhere when clear is
    // transparent, beyond the rows the shape shows when it is the opaque window's black. The bytes
    // given back.
    std::size_t releaseBlankPixels();
    QWidget* content() const { return m_content; }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void takeFocus();
    void giveBackFocus();
    bool strayFocus(quint32 focus) const;
    void updateInputShape();
    void updateMask();
    void watchDesktop();
    QWidget* openDialog() const;
    void startWatching();

    QPointer<QWidget> m_content;
    bool m_translucent = false; // chosen when the window is made; fixed after
    bool m_composited = false;
    bool m_ignoresMouse = true;
    QRectF m_islandRect;
    qreal m_bottomRadius = 10;
    bool m_drawn = true;
    std::optional<QRect> m_writtenInputShape;
    std::optional<quint32> m_previousFocus;
    bool m_expanded = false;
    bool m_keyboardReleased = false;
    bool m_dialogShown = false; // one of our dialogs was above the panel at the last check
    bool m_passQueued = false;  // a closing key's held keyboard is let go after its delivery
    DesktopWindows& m_desktop;
    bool m_watched = false; // the desktop announces its changes; otherwise m_watch polls
    QTimer m_watch;
};
