// The quick-paste picker's window and paste side: shows the picker under the pointer, remembers the
// window that was active, and after a choice gives the focus back to it and types the paste keys.
#pragma once

#include "platform/ActiveWindow.h"
#include "platform/PasteKeys.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSizeF>

#include <functional>
#include <memory>
#include <optional>

class AccessibilityAuth;
class ClipboardPickerView;
class ClipboardService;
class Clock;
class KeyEvents;
class QWidget;
class Ticker;
class TickerFactory;

class ClipboardPickerController : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 40;
    static constexpr int kPasteDeadlineMs = 1000;
    static constexpr int kPasteDelayMs = 80;
    static constexpr double kMargin = 12;
    static constexpr double kBelowPointer = 16;
    static constexpr int kActivationCheckMs = 50;

    // `composited` says whether transparent pixels show through on this desktop (always, when empty);
    // without it the panel is cut to its rounded shape. `tickers` times the picker's delays.
    ClipboardPickerController(ClipboardService& clipboard, AccessibilityAuth& accessibility,
                              ActiveWindow& windows, KeyEvents& keys, Clock& clock, TickerFactory& tickers,
                              std::function<bool()> composited = {}, QObject* parent = nullptr);
    ~ClipboardPickerController() override;

    // Remembers the active window, then shows a fresh picker under the pointer with the keyboard focus.
    void show();
    // Hides the picker and gives the focus back to the window that had it.
    void hide();
    // The hot key's action: hides a shown picker, otherwise shows it.
    void toggle();
    bool isShown() const;
    // Shown and holding the keyboard (the window manager has activated it).
    bool hasKeyboard() const;

    // Where a panel of `size` goes for the pointer at `pointer` (y downwards) on a screen whose usable
    // area is `visible`: centred under the pointer, its top edge 16 below it, kept 12 inside the area;
    // on an area too small for both margins, the right and top margins win.
    static QRectF position(QSizeF size, QPointF pointer, QRectF visible);

    // The window that was active when the picker was last shown.
    std::optional<WindowRef> previousApp() const { return m_previousApp; }
    QWidget* panel() const;
    ClipboardPickerView* view() const;

    // After a choice: hides, re-activates the previous window and, when trusted, pastes into it with
    // the keys that paste there.
    void selectAction();
    // Types the paste keys once no modifier is held, the previous window is active again and the chosen
    // text is on offer, trying every 40 ms until `deadlineMs` (monotonic) and then regardless.
    void pasteWhenReady(qint64 deadlineMs);

signals:
    // The paste keys were sent (true) or refused by the window system (false).
    void pastePosted(bool ok);

private:
    void ensurePanel();
    void hideOnly();
    bool composited() const;

    ClipboardService& m_clipboard;
    AccessibilityAuth& m_accessibility;
    ActiveWindow& m_windows;
    KeyEvents& m_keys;
    Clock& m_clock;
    TickerFactory& m_tickers;
    std::function<bool()> m_composited;
    std::unique_ptr<Ticker> m_activationCheck;
    std::unique_ptr<Ticker> m_pasteRetry;
    std::unique_ptr<Ticker> m_pasteDelay;
    qint64 m_pasteDeadlineMs = 0;
    PasteKeys m_keysToPost = PasteKeys::controlV;
    std::unique_ptr<QWidget> m_panel;
    QPointer<ClipboardPickerView> m_view;
    std::optional<WindowRef> m_previousApp;
    PasteKeys m_pasteKeys = PasteKeys::controlV;
    bool m_hiding = false;
};
