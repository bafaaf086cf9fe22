// The wing items: small painted widgets, recreated only when the set of items changes, so that the
// pulsing dots keep their rhythm and the once-a-second elapsed time costs one small repaint.
#include "views/IslandIndicatorsView.h"

#include "views/DirectRepaint.h"
#include "views/Icons.h"
#include "views/KitPanelStyle.h"
#include "views/PulsingDot.h"
#include "views/SystemColors.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kSpacing = 4;
// How close a crowded wing's items may come to each other.
constexpr int kMinSpacing = 2;
// The wing items keep this far from the island's outer edges, whose bottom corners are rounded.
constexpr int kEdgeInset = 6;
// What a wing running on into the middle leaves free on either side of the centre.
constexpr int kMiddleGap = 4;
// The AI symbol: at the 8 pixels of the other small symbols its thin strokes read as a speck.
constexpr int kAiSymbolPx = 12;

using KitPanelStyle::pixelFont;

// A bezel-less button: a symbol, optionally followed by a text, centred in its frame.
class WingButton : public QAbstractButton {
public:
    WingButton(QSize frame, int iconPx, QWidget* parent)
        : QAbstractButton(parent)
        , m_frame(frame)
        , m_iconPx(iconPx) {
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(frame.isValid() ? frame : QSize(iconPx, iconPx));
    }

    void setSymbol(const QString& symbol, QColor color) {
        if (symbol == m_symbol && color == m_color)
            return;
        m_symbol = symbol;
        m_color = color;
        update();
    }

    void setLabel(const QString& text, const QFont& font, QColor color, int spacing) {
        if (text == m_text && font == m_font && color == m_textColor && spacing == m_textSpacing)
            return;
        m_text = text;
        m_font = font;
        m_textColor = color;
        m_textSpacing = spacing;
        if (!m_frame.isValid()) {
            const QFontMetrics fm(m_font);
            const int w = m_iconPx + (m_text.isEmpty() ? 0 : m_textSpacing + fm.horizontalAdvance(m_text));
            setFixedSize(w, std::max(m_iconPx, fm.height()));
        }
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QFontMetrics fm(m_font);
        const int textWidth = m_text.isEmpty() ? 0 : m_textSpacing + fm.horizontalAdvance(m_text);
        const int x = (width() - m_iconPx - textWidth) / 2;
        const QPixmap icon = Icons::pixmap(m_symbol, QSize(m_iconPx, m_iconPx), m_color, devicePixelRatioF());
        p.drawPixmap(QRect(x, (height() - m_iconPx) / 2, m_iconPx, m_iconPx), icon);
        if (!m_text.isEmpty()) {
            p.setFont(m_font);
            p.setPen(m_textColor);
            p.drawText(QRect(x + m_iconPx + m_textSpacing, 0, textWidth, height()), Qt::AlignVCenter, m_text);
        }
    }

private:
    QSize m_frame;
    int m_iconPx;
    QString m_symbol;
    QColor m_color;
    QString m_text;
    QFont m_font;
    QColor m_textColor;
    int m_textSpacing = 0;
};

// The level HUD: its symbol, then a 44 × 4 track with the level drawn over it from the left.
class HudLevel : public QWidget {
public:
    explicit HudLevel(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(9 + kSpacing + 44, 9);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void setLevel(const HUDLevel& level) {
        if (level == m_level)
            return;
        m_level = level;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QString symbol = m_level.kind == HUDKind::brightness ? QStringLiteral("sun.max.fill")
                                                                   : QStringLiteral("speaker.wave.2.fill");
        p.drawPixmap(QRect(0, 0, 9, 9), Icons::pixmap(symbol, QSize(9, 9), Qt::white, devicePixelRatioF()));
        const QRectF track(9 + kSpacing, (height() - 4) / 2.0, 44, 4);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::white(0.18));
        p.drawRoundedRect(track, 2, 2);
        const double level = std::isfinite(m_level.value) ? std::clamp(m_level.value, 0.0, 1.0) : 0.0;
        QRectF bar = track;
        bar.setWidth(std::max(2.0, level * 44.0));
        p.setBrush(Qt::white);
        p.drawRoundedRect(bar, 2, 2);
    }

private:
    HUDLevel m_level{HUDKind::volume, -1.0};
};

class Dot : public QWidget {
public:
    Dot(QColor color, QWidget* parent)
        : QWidget(parent)
        , m_color(color) {
        setFixedSize(5, 5);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(m_color);
        p.drawEllipse(rect());
    }

private:
    QColor m_color;
};

class Symbol : public QWidget {
public:
    Symbol(const QString& symbol, int px, QColor color, QWidget* parent)
        : QWidget(parent)
        , m_symbol(symbol)
        , m_color(color) {
        setFixedSize(px, px);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawPixmap(rect(), Icons::pixmap(m_symbol, size(), m_color, devicePixelRatioF()));
    }

private:
    QString m_symbol;
    QColor m_color;
};

class TextItem : public QWidget {
public:
    TextItem(const QFont& font, QColor color, QWidget* parent)
        : QWidget(parent)
        , m_font(font)
        , m_color(color) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void setText(const QString& text) {
        if (text == m_text && !size().isEmpty())
            return;
        m_text = text;
        const QFontMetrics fm(m_font);
        const QSize size(fm.horizontalAdvance(m_text), fm.height());
        // A new second of the same width is put straight onto the window; a new width moves the row.
        if (size == this->size()) {
            m_repaint.repaint();
            return;
        }
        setFixedSize(size);
        update();
    }

    void setWindowPixels(WindowPixels* pixels) { m_repaint.setPixels(pixels); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setFont(m_font);
        p.setPen(m_color);
        p.drawText(rect(), Qt::AlignCenter, m_text);
    }

private:
    QFont m_font;
    QColor m_color;
    QString m_text;
    DirectRepaint m_repaint{this};
};

const char* itemName(IslandItem item) {
    switch (item) {
    case IslandItem::hudLevel:
        return "hudLevel";
    case IslandItem::pomodoro:
        return "pomodoro";
    case IslandItem::playPause:
        return "playPause";
    case IslandItem::elapsed:
        return "elapsed";
    case IslandItem::aiHot:
        return "aiHot";
    case IslandItem::waitingDot:
        return "waitingDot";
    case IslandItem::mediaSource:
        return "mediaSource";
    case IslandItem::crashedDot:
        return "crashedDot";
    case IslandItem::runningDot:
        return "runningDot";
    }
    return "";
}

} // namespace

IslandIndicatorsView::IslandIndicatorsView(QWidget* parent)
    : QWidget(parent) {}

void IslandIndicatorsView::setWindowPixels(WindowPixels* pixels) {
    m_pixels = pixels;
    for (int i = 0; i < m_left.size(); ++i)
        if (m_layout.left[i] == IslandItem::elapsed)
            static_cast<TextItem*>(m_left[i])->setWindowPixels(pixels);
        else if (auto* dot = qobject_cast<PulsingDot*>(m_left[i]))
            dot->setWindowPixels(pixels);
    for (int i = 0; i < m_right.size(); ++i)
        if (m_layout.right[i] == IslandItem::elapsed)
            static_cast<TextItem*>(m_right[i])->setWindowPixels(pixels);
        else if (auto* dot = qobject_cast<PulsingDot*>(m_right[i]))
            dot->setWindowPixels(pixels);
}

void IslandIndicatorsView::setInputs(const IslandInputs& inputs, double notchWidth) {
    const IslandLayout layout = IslandLayout::compute(inputs);
    m_inputs = inputs;
    m_notchWidth = notchWidth;
    if (layout.left != m_layout.left || layout.right != m_layout.right ||
        m_left.size() != layout.left.size()) {
        qDeleteAll(m_left);
        qDeleteAll(m_right);
        m_left.clear();
        m_right.clear();
        for (IslandItem item : layout.left)
            m_left << createItem(item);
        for (IslandItem item : layout.right)
            m_right << createItem(item);
    }
    m_layout = layout;
    for (int i = 0; i < m_left.size(); ++i)
        updateItem(m_layout.left[i], m_left[i]);
    for (int i = 0; i < m_right.size(); ++i)
        updateItem(m_layout.right[i], m_right[i]);
    placeItems();
}

QWidget* IslandIndicatorsView::createItem(IslandItem item) {
    QWidget* w = nullptr;
    switch (item) {
    case IslandItem::hudLevel:
        w = new HudLevel(this);
        break;
    case IslandItem::pomodoro: {
        auto* b = new WingButton(QSize(), 8, this);
        b->setToolTip(tr("Pausar Pomodoro"));
        connect(b, &QAbstractButton::clicked, this, &IslandIndicatorsView::pomodoroToggleRequested);
        w = b;
        break;
    }
    case IslandItem::playPause: {
        auto* b = new WingButton(QSize(24, 20), 8, this);
        connect(b, &QAbstractButton::clicked, this, &IslandIndicatorsView::playPauseRequested);
        w = b;
        break;
    }
    case IslandItem::elapsed:
        w = new TextItem(pixelFont(9, QFont::Medium), SystemColors::white(0.75), this);
        break;
    case IslandItem::aiHot:
        w = new Symbol(QStringLiteral("sparkles"), kAiSymbolPx, SystemColors::orange(), this);
        break;
    case IslandItem::waitingDot:
        w = new PulsingDot(SystemColors::purple(), this);
        break;
    case IslandItem::mediaSource: {
        auto* b = new WingButton(QSize(24, 20), 10, this);
        connect(b, &QAbstractButton::clicked, this, &IslandIndicatorsView::openSourceRequested);
        w = b;
        break;
    }
    case IslandItem::crashedDot:
        w = new PulsingDot(SystemColors::red(), this);
        break;
    case IslandItem::runningDot:
        w = new Dot(SystemColors::green(), this);
        break;
    }
    if (auto* dot = qobject_cast<PulsingDot*>(w))
        dot->setWindowPixels(m_pixels);
    else if (item == IslandItem::elapsed)
        static_cast<TextItem*>(w)->setWindowPixels(m_pixels);
    w->setObjectName(QString::fromLatin1(itemName(item)));
    w->show();
    return w;
}

void IslandIndicatorsView::updateItem(IslandItem item, QWidget* widget) {
    switch (item) {
    case IslandItem::hudLevel:
        if (m_inputs.hud)
            static_cast<HudLevel*>(widget)->setLevel(*m_inputs.hud);
        break;
    case IslandItem::pomodoro: {
        auto* b = static_cast<WingButton*>(widget);
        const bool focus = m_inputs.pomodoroPhase == PomodoroPhase::focus;
        b->setSymbol(QStringLiteral("timer"), focus ? SystemColors::red() : SystemColors::cyan());
        b->setLabel(m_inputs.pomodoroTime, pixelFont(9, QFont::DemiBold, true), SystemColors::white(0.85), 3);
        break;
    }
    case IslandItem::playPause: {
        auto* b = static_cast<WingButton*>(widget);
        const bool playing = m_inputs.track && m_inputs.track->isPlaying;
        b->setSymbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), Qt::white);
        b->setToolTip(playing ? tr("Pause") : tr("Resume"));
        break;
    }
    case IslandItem::elapsed:
        static_cast<TextItem*>(widget)->setText(IslandLayout::elapsedText(m_inputs.elapsedSeconds));
        break;
    case IslandItem::mediaSource: {
        auto* b = static_cast<WingButton*>(widget);
        const bool video = m_inputs.track && m_inputs.track->artist == QLatin1String("YouTube");
        b->setSymbol(video ? QStringLiteral("play.rectangle.fill") : QStringLiteral("music.note"),
                     video ? SystemColors::red() : SystemColors::green());
        b->setToolTip(tr("Abrir no ") + (m_inputs.track ? m_inputs.track->app : QString()));
        break;
    }
    case IslandItem::aiHot:
    case IslandItem::waitingDot:
    case IslandItem::crashedDot:
    case IslandItem::runningDot:
        break;
    }
}

void IslandIndicatorsView::resizeEvent(QResizeEvent*) {
    placeItems();
}

void IslandIndicatorsView::placeItems() {
    // Each wing is what the island has beyond the notch on that side; its items are centred in it. Some
    // combinations (media with the timer, the AI symbol and a waiting agent) are wider than the wing:
    // their spacing closes up first, then the row runs on towards the middle, always starting clear of
    // the island's rounded outer corner, so nothing is drawn outside the shape.
    const double wing = std::max(0.0, (width() - m_notchWidth) / 2.0);
    const double half = width() / 2.0;
    auto place = [this, wing, half](const QList<QWidget*>& items, bool leftSide) {
        if (items.isEmpty())
            return;
        int sum = 0;
        for (QWidget* item : items)
            sum += item->width();
        const int gaps = std::max<int>(0, int(items.size()) - 1);
        const double room = wing - kEdgeInset; // inside the wing and clear of the corner
        int spacing = kSpacing;
        while (spacing > kMinSpacing && sum + spacing * gaps > room)
            --spacing;
        const int total = sum + spacing * gaps;
        double start; // distance of the row's outer end from the island's outer edge
        if (total <= wing - 2.0 * kEdgeInset)
            start = (wing - total) / 2.0;
        else if (total <= room)
            start = kEdgeInset;
        else
            start = std::max(0.0, std::min<double>(kEdgeInset, half - kMiddleGap - total));
        double x = leftSide ? start : width() - start - total;
        for (QWidget* item : items) {
            item->move(int(std::lround(x)), (height() - item->height()) / 2);
            x += item->width() + spacing;
        }
    };
    place(m_left, true);
    place(m_right, false);
}
