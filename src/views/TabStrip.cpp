// The tab buttons and their sideways scrolling.
#include "views/TabStrip.h"

#include "views/Icons.h"
#include "views/Spring.h"
#include "views/SystemColors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEasingCurve>
#include <QHBoxLayout>
#include <QPainter>
#include <QPropertyAnimation>
#include <QRegion>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

QFont titleFont() {
    QFont f;
    f.setPixelSize(11);
    f.setWeight(QFont::DemiBold);
    return f;
}

// A tab of the strip: symbol and title on a capsule that is filled while the tab is selected. The
// checked state follows the selection only; a press never toggles it by itself.
class TabButton final : public QAbstractButton {
public:
    TabButton(const QString& title, const QString& icon, QWidget* parent)
        : QAbstractButton(parent)
        , m_icon(icon) {
        setText(title);
        setCheckable(true);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setFont(titleFont());
        setAccessibleName(title);
    }

    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        const int w = 10 + 11 + 4 + fm.horizontalAdvance(text()) + 10;
        return {qMax(58, w), qMax(11, fm.height()) + 10};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void nextCheckState() override {}

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(rect());
        if (isChecked()) {
            p.setPen(Qt::NoPen);
            p.setBrush(SystemColors::white(0.16));
            p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
        }
        const QColor colour = isChecked() ? QColor(Qt::white) : SystemColors::white(0.55);
        const QFontMetrics fm(font());
        const int contentWidth = 11 + 4 + fm.horizontalAdvance(text());
        int x = (width() - contentWidth) / 2;
        p.drawPixmap(QPoint(x, (height() - 11) / 2),
                     Icons::pixmap(m_icon, QSize(11, 11), colour, devicePixelRatioF()));
        x += 11 + 4;
        p.setPen(colour);
        p.drawText(QRect(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    QString m_icon;
};

} // namespace

TabStrip::TabStrip(QWidget* parent)
    : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    m_row = new QWidget(this);
    m_rowLayout = new QHBoxLayout(m_row);
    m_rowLayout->setContentsMargins(0, 0, 0, 0);
    m_rowLayout->setSpacing(4);
    m_rowLayout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setWidget(m_row);
    // setWidget turns the background fill on; the strip must stay see-through on the black island.
    m_row->setAutoFillBackground(false);
    setFixedHeight(QFontMetrics(titleFont()).height() + 10);

    m_scrollAnimation = new QPropertyAnimation(horizontalScrollBar(), "value", this);
    m_scrollAnimation->setDuration(180);
    m_scrollAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, &TabStrip::showWholeTabsOnly);
    m_row->installEventFilter(this);
}

bool TabStrip::eventFilter(QObject* watched, QEvent* event) {
    // The tabs' places are known once the row has been laid out, which may come after any call here.
    if (watched == m_row && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        QMetaObject::invokeMethod(this, &TabStrip::showWholeTabsOnly, Qt::QueuedConnection);
    return QScrollArea::eventFilter(watched, event);
}

void TabStrip::setTabs(const QList<Entry>& tabs) {
    QStringList keys;
    for (const Entry& e : tabs)
        keys << e.selection.id() + QLatin1Char('\n') + e.title + QLatin1Char('\n') + e.icon;
    if (keys == m_keys)
        return;
    qDeleteAll(m_buttons);
    m_buttons.clear();
    m_tabs.clear();
    m_keys = keys;
    for (const Entry& e : tabs) {
        auto* b = new TabButton(e.title, e.icon, m_row);
        const TabSelection selection = e.selection;
        connect(b, &QAbstractButton::clicked, this, [this, selection] { emit tabPressed(selection); });
        m_rowLayout->addWidget(b);
        m_buttons << b;
        m_tabs << selection;
    }
    setCurrent(m_current);
    m_row->layout()->activate();
    showWholeTabsOnly();
}

void TabStrip::setCurrent(const TabSelection& selection) {
    m_current = selection;
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setChecked(m_tabs[i] == selection);
}

QAbstractButton* TabStrip::button(const TabSelection& selection) const {
    const qsizetype i = m_tabs.indexOf(selection);
    return i < 0 ? nullptr : m_buttons[i];
}

QList<int> TabStrip::stops() const {
    // A stop is a scroll position with a tab's left edge at the strip's left edge; the last stop is the
    // first from which the last tab is seen whole, so the strip never ends in part of a tab.
    QList<int> out;
    const int width = viewport()->width();
    if (m_buttons.isEmpty() || width <= 0)
        return {0};
    const int end = m_buttons.last()->geometry().right() + 1;
    for (QAbstractButton* b : m_buttons) {
        out << b->x();
        if (end - b->x() <= width)
            break;
    }
    out.first() = 0;
    return out;
}

int TabStrip::nearestStop(int value) const {
    const QList<int> all = stops();
    int best = all.first();
    for (int stop : all)
        if (qAbs(stop - value) < qAbs(best - value))
            best = stop;
    return best;
}

void TabStrip::showWholeTabsOnly() {
    // Room after the last tab, so that the last stop can be scrolled to and the strip ends on whole tabs
    // at both edges; the room does not move any tab, so this settles at once.
    if (!m_buttons.isEmpty()) {
        const int end = m_buttons.last()->geometry().right() + 1;
        const int room = qMax(0, stops().last() + viewport()->width() - end);
        if (m_rowLayout->contentsMargins().right() != room) {
            m_rowLayout->setContentsMargins(0, 0, room, 0);
            m_row->layout()->activate();
            QEvent relayout(QEvent::LayoutRequest); // the scroll range takes the new width at once
            QCoreApplication::sendEvent(this, &relayout);
        }
    }
    // What the viewport holds of a tab cut by either edge is hidden: a title is read whole or not at all.
    const int left = horizontalScrollBar()->value();
    const int right = left + viewport()->width();
    QRegion shown;
    bool cut = false;
    for (QAbstractButton* b : m_buttons) {
        const QRect g = b->geometry();
        if (g.left() >= left && g.right() < right)
            shown += g;
        else if (g.right() >= left && g.left() < right)
            cut = true;
    }
    if (!cut || shown.isEmpty()) { // a tab wider than the strip is shown as far as it goes
        if (!m_row->mask().isEmpty())
            m_row->clearMask();
        return;
    }
    // The gaps between whole tabs stay shown; only the cut tabs' own space is left out.
    const QRect span = shown.boundingRect();
    m_row->setMask(QRegion(span.left(), 0, span.width(), m_row->height()));
}

void TabStrip::scrollTo(const TabSelection& selection) {
    QAbstractButton* b = button(selection);
    if (!b)
        return;
    m_row->layout()->activate();
    showWholeTabsOnly();
    QScrollBar* bar = horizontalScrollBar();
    const int width = viewport()->width();
    const QRect g = b->geometry();
    // Of the stops that show the tab whole, the one that brings it nearest the middle.
    int target = -1;
    for (int stop : stops()) {
        const bool whole = g.left() >= stop && g.right() < stop + width;
        if (whole && (target < 0 ||
                      qAbs(stop + width / 2 - g.center().x()) < qAbs(target + width / 2 - g.center().x())))
            target = stop;
    }
    if (target < 0)
        target = nearestStop(g.left()); // a tab wider than the strip starts at its left edge
    m_scrollAnimation->stop();
    if (!Animations::enabled() || !isVisible()) {
        bar->setValue(target);
        showWholeTabsOnly();
        return;
    }
    m_scrollAnimation->setStartValue(bar->value());
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
}

void TabStrip::wheelEvent(QWheelEvent* event) {
    // Most mice only turn vertically: over the strip that moves the tabs sideways, as a sideways turn does.
    // A notch, or 24 px of a touchpad, moves one whole tab.
    const QPoint angle = event->angleDelta();
    const QPoint pixels = event->pixelDelta();
    const bool vertical = qAbs(angle.y()) > qAbs(angle.x());
    const int along =
        vertical ? (pixels.isNull() ? angle.y() : pixels.y()) : (pixels.isNull() ? angle.x() : pixels.x());
    if ((along < 0) != (m_wheelRest < 0))
        m_wheelRest = 0; // a turn the other way starts afresh
    m_wheelRest += pixels.isNull() ? along : along * 5;
    const int steps = m_wheelRest / 120;
    m_wheelRest -= steps * 120;
    if (steps != 0) {
        const QList<int> all = stops();
        QScrollBar* bar = horizontalScrollBar();
        const int at = int(all.indexOf(nearestStop(bar->value())));
        const int next = qBound(0, at - steps, int(all.size()) - 1);
        m_scrollAnimation->stop();
        bar->setValue(all[next]);
        showWholeTabsOnly();
    }
    event->accept(); // the dashboard under the strip has nothing to scroll
}

void TabStrip::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    m_row->layout()->activate();
    if (m_scrollAnimation->state() != QAbstractAnimation::Running)
        horizontalScrollBar()->setValue(nearestStop(horizontalScrollBar()->value()));
    showWholeTabsOnly();
}
