// The quick-paste picker's panel and the hand-back of the focus and the paste keys.
#include "app/ClipboardPickerController.h"

#include "platform/Clock.h"
#include "platform/KeyEvents.h"
#include "platform/Ticker.h"
#include "services/AccessibilityAuth.h"
#include "services/ClipboardService.h"
#include "views/ClipboardPickerView.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPainterPath>
#include <QPalette>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// The picker's window: frameless, above other windows, on every desktop. It takes the keyboard focus,
// and losing it (the user clicked elsewhere) hides it without handing the focus back. Its transparent
// corners show through only where a compositor draws them; elsewhere the window is cut to its shape.
class ClipboardPickerPanel : public QWidget {
public:
    ClipboardPickerPanel(bool translucent, std::function<void()> resigned)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
        , m_translucent(translucent)
        , m_resigned(std::move(resigned)) {
        if (m_translucent) {
            setAttribute(Qt::WA_TranslucentBackground);
        } else {
            QPalette black = palette();
            black.setColor(QPalette::Window, Qt::black);
            setPalette(black);
            setAutoFillBackground(true);
        }
        setWindowTitle(QStringLiteral("Quillbay quick paste"));
        setFixedSize(ClipboardPickerView::kWidth, ClipboardPickerView::kHeight);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }

    // Cuts the window to the picker's rounded shape unless a compositor shows its corners through.
    void followCompositor(bool composited) {
        if (m_translucent && composited) {
            clearMask();
            return;
        }
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), ClipboardPickerView::kCornerRadius,
                             ClipboardPickerView::kCornerRadius);
        setMask(QRegion(shape.toFillPolygon().toPolygon()));
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::WindowDeactivate && isVisible() && m_resigned)
            QTimer::singleShot(0, this, [this] {
                if (isVisible() && !isActiveWindow())
                    m_resigned();
            });
        return QWidget::event(e);
    }

private:
    bool m_translucent;
    std::function<void()> m_resigned;
};

} // namespace

ClipboardPickerController::ClipboardPickerController(ClipboardService& clipboard,
                                                     AccessibilityAuth& accessibility, ActiveWindow& windows,
                                                     KeyEvents& keys, Clock& clock, TickerFactory& tickers,
                                                     std::function<bool()> composited, QObject* parent)
    : QObject(parent)
    , m_clipboard(clipboard)
    , m_accessibility(accessibility)
    , m_windows(windows)
    , m_keys(keys)
    , m_clock(clock)
    , m_tickers(tickers)
    , m_composited(std::move(composited)) {
    // A window manager that guards against focus stealing may refuse a program's own request, made
    // with no key press of ours to show for it; it grants the one a pager makes.
    m_activationCheck = m_tickers.make(kActivationCheckMs, [this] {
        m_activationCheck->stop();
        if (isShown() && !m_panel->isActiveWindow())
            m_windows.activate(WindowRef{quint32(m_panel->winId()), QCoreApplication::applicationPid()});
    });
    m_pasteRetry = m_tickers.make(kRetryMs, [this] { pasteWhenReady(m_pasteDeadlineMs); });
    m_pasteDelay = m_tickers.make(kPasteDelayMs, [this] {
        m_pasteDelay->stop();
        emit pastePosted(m_keys.postPaste(m_keysToPost));
    });
}

ClipboardPickerController::~ClipboardPickerController() = default;

QRectF ClipboardPickerController::position(QSizeF size, QPointF p, QRectF v) {
    const double w = size.width();
    const double h = size.height();
    const double x = std::min(std::max(p.x() - w / 2, v.left() + kMargin), v.right() - w - kMargin);
    const double y = std::max(std::min(p.y() + kBelowPointer, v.bottom() - h - kMargin), v.top() + kMargin);
    return QRectF(x, y, w, h);
}

QWidget* ClipboardPickerController::panel() const {
    return m_panel.get();
}

ClipboardPickerView* ClipboardPickerController::view() const {
    return m_view.data();
}

bool ClipboardPickerController::isShown() const {
    return m_panel && m_panel->isVisible();
}

bool ClipboardPickerController::hasKeyboard() const {
    return isShown() && m_panel->isActiveWindow();
}

bool ClipboardPickerController::composited() const {
    return m_composited ? m_composited() : true;
}

void ClipboardPickerController::ensurePanel() {
    if (m_panel)
        return;
    QPointer<ClipboardPickerController> self(this);
    // Losing the focus to another window: hide, and leave the focus where the user put it.
    m_panel = std::make_unique<ClipboardPickerPanel>(composited(), [self] {
        if (self && !self->m_hiding)
            self->hideOnly();
    });
}

void ClipboardPickerController::show() {
    std::optional<WindowRef> active = m_windows.active();
    // The picker itself is never the window to return to.
    if (active && m_panel && m_panel->internalWinId() && active->window == quint32(m_panel->internalWinId()))
        active = m_previousApp;
    m_previousApp = active;
    ensurePanel();

    if (m_view) {
        m_view->hide();
        m_view->deleteLater();
    }
    QPointer<ClipboardPickerController> self(this);
    m_view = new ClipboardPickerView(
        m_clipboard, m_accessibility, m_tickers,
        [self] {
            if (self)
                self->selectAction();
        },
        [self] {
            if (self)
                self->hide();
        },
        m_panel.get());
    m_panel->layout()->addWidget(m_view);

    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRectF frame =
            position(QSizeF(m_panel->size()), QPointF(pointer), QRectF(screen->availableGeometry()));
        m_panel->move(qRound(frame.x()), qRound(frame.y()));
    }
    // A compositor that quit since the panel was made would leave its corners black.
    static_cast<ClipboardPickerPanel*>(m_panel.get())->followCompositor(composited());
    m_panel->show();
    m_panel->raise();
    m_panel->activateWindow();
    m_view->setFocus(Qt::ActiveWindowFocusReason);
    m_activationCheck->stop();
    m_activationCheck->start();
}

void ClipboardPickerController::hideOnly() {
    if (!m_panel)
        return;
    m_hiding = true;
    m_panel->hide();
    m_hiding = false;
}

void ClipboardPickerController::hide() {
    const bool hadFocus = m_panel && m_panel->isVisible();
    hideOnly();
    if (hadFocus && m_previousApp)
        m_windows.activate(*m_previousApp);
}

void ClipboardPickerController::toggle() {
    if (isShown())
        hide();
    else
        show();
}

void ClipboardPickerController::selectAction() {
    const std::optional<WindowRef> app = m_previousApp;
    const QUuid chosen = m_view ? m_view->confirmedID() : QUuid();
    hideOnly();
    if (!app)
        return; // the text stays on the clipboard
    const bool trusted = m_accessibility.isTrusted();
    m_windows.activate(*app);
    if (!trusted) {
        m_accessibility.request();
        return;
    }
    const WindowClass target = m_windows.windowClass(app->window);
    m_pasteKeys = PasteKeysFor::window(target.instance, target.className);
    if (m_pasteKeys == PasteKeys::shiftInsert) {
        // These terminals paste the primary selection from the keyboard: it gets the same text.
        for (const ClipItem& item : m_clipboard.items()) {
            if (item.id == chosen) {
                m_clipboard.copyToPrimary(item);
                break;
            }
        }
    }
    pasteWhenReady(m_clock.monotonicMs() + kPasteDeadlineMs);
}

void ClipboardPickerController::pasteWhenReady(qint64 deadlineMs) {
    const bool released = !m_keys.modifiersHeld();
    const std::optional<WindowRef> front = m_windows.active();
    bool inFront = !front && !m_previousApp;
    if (front && m_previousApp) {
        // The same program, as its process tells; a window that names no process is compared itself.
        inFront = front->pid && m_previousApp->pid ? *front->pid == *m_previousApp->pid
                                                   : front->window == m_previousApp->window;
    }
    // The clipboard is written by a thread of its own: the keys wait for the text too.
    const bool textInPlace = !m_clipboard.copying();
    if (!(released && inFront && textInPlace) && m_clock.monotonicMs() < deadlineMs) {
        m_pasteDeadlineMs = deadlineMs;
        m_pasteRetry->start();
        return;
    }
    m_pasteRetry->stop();
    m_keysToPost = m_pasteKeys;
    m_pasteDelay->stop();
    m_pasteDelay->start();
}
