// Drawing and keyboard handling of the command palette.
#include "views/PaletteView.h"
#include "views/KitPanelStyle.h"

#include "views/Icons.h"
#include "views/SystemColors.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

using KitPanelStyle::pixelFont;

// The rounded, faintly filled search row.
class SearchRow : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::white(0.1));
        p.drawRoundedRect(QRectF(rect()), 9, 9);
    }
};

} // namespace

// One entry: icon, title over subtitle, and on the first row the Enter hint. The whole row is a button.
class PaletteRow : public QAbstractButton {
public:
    explicit PaletteRow(QWidget* parent)
        : QAbstractButton(parent) {
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

    void setAction(const CommandPalette::Action& action, bool first) {
        m_icon = action.icon;
        m_title = action.title;
        m_subtitle = action.subtitle;
        m_first = first;
        setAccessibleName(m_title);
        update();
    }
    QString title() const { return m_title; }

    QSize sizeHint() const override {
        const int lines =
            QFontMetrics(pixelFont(12, QFont::Medium)).height() + QFontMetrics(pixelFont(9)).height();
        return {200, lines + 12};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::white(m_first ? 0.1 : 0.04));
        p.drawRoundedRect(QRectF(rect()), 7, 7);

        const QRect inner = rect().adjusted(10, 6, -10, -6);
        const QPixmap glyph = Icons::pixmap(m_icon, QSize(11, 11), SystemColors::cyan(), devicePixelRatioF());
        p.drawPixmap(QPoint(inner.left() + (18 - 11) / 2, inner.center().y() - 5), glyph);

        int right = inner.right();
        if (m_first) {
            const QString hint = QCoreApplication::translate("PaletteView", "↩");
            p.setFont(pixelFont(10));
            p.setPen(SystemColors::white(0.4));
            const int w = QFontMetrics(p.font()).horizontalAdvance(hint);
            p.drawText(QRect(inner.right() - w, inner.top(), w, inner.height()), Qt::AlignVCenter, hint);
            right -= w + 8;
        }

        const int textLeft = inner.left() + 18 + 8;
        const QFont titleFont = pixelFont(12, QFont::Medium);
        const QFont subtitleFont = pixelFont(9);
        const int titleHeight = QFontMetrics(titleFont).height();
        const int width = qMax(0, right - textLeft);
        p.setFont(titleFont);
        p.setPen(Qt::white);
        p.drawText(QRect(textLeft, inner.top(), width, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetrics(titleFont).elidedText(m_title, Qt::ElideRight, width));
        p.setFont(subtitleFont);
        p.setPen(SystemColors::white(0.3));
        p.drawText(QRect(textLeft, inner.top() + titleHeight, width, inner.height() - titleHeight),
                   Qt::AlignLeft | Qt::AlignTop,
                   QFontMetrics(subtitleFont).elidedText(m_subtitle, Qt::ElideRight, width));
    }

private:
    QString m_icon;
    QString m_title;
    QString m_subtitle;
    bool m_first = false;
};

PaletteView::PaletteView(std::function<CommandPalette::State()> state, CommandPalette::Operations operations,
                         std::function<void()> close, QWidget* parent)
    : QWidget(parent)
    , m_state(std::move(state))
    , m_operations(std::move(operations))
    , m_close(std::move(close)) {
    setAttribute(Qt::WA_NoMousePropagation);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(6);
    column->setAlignment(Qt::AlignTop);

    auto* search = new SearchRow(this);
    auto* searchLayout = new QHBoxLayout(search);
    searchLayout->setContentsMargins(12, 9, 12, 9);
    searchLayout->setSpacing(8);
    auto* glyph = new QLabel(search);
    glyph->setObjectName(QStringLiteral("searchSymbol"));
    // A magnifying glass: the sign a Linux desktop's launchers and menus use for "type to find".
    glyph->setPixmap(Icons::pixmap(QStringLiteral("magnifyingglass"), QSize(12, 12), SystemColors::white(0.5),
                                   devicePixelRatioF()));
    searchLayout->addWidget(glyph);

    m_field = new QLineEdit(search);
    m_field->setFrame(false);
    m_field->setFont(pixelFont(13));
    m_field->setPlaceholderText(tr("Digite pra filtrar… (Enter executa, Esc fecha)"));
    QPalette fieldPalette = m_field->palette();
    fieldPalette.setColor(QPalette::Text, Qt::white);
    fieldPalette.setColor(QPalette::PlaceholderText, SystemColors::white(0.3));
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    m_field->setPalette(fieldPalette);
    // The styles paint an opaque panel behind a frameless field regardless of the palette's base.
    m_field->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
    m_field->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_field->installEventFilter(this);
    searchLayout->addWidget(m_field, 1);
    column->addWidget(search);

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget(m_scroll);
    auto* rows = new QVBoxLayout(list);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    rows->setAlignment(Qt::AlignTop);
    for (int i = 0; i < CommandPalette::maxRows; ++i) {
        auto* row = new PaletteRow(list);
        row->hide();
        connect(row, &QAbstractButton::clicked, this, [this, i] { runShown(i); });
        rows->addWidget(row);
        m_rows.append(row);
    }
    m_scroll->setWidget(list);
    // setWidget turns the background fill on; the list must stay see-through over the palette.
    list->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);

    connect(m_field, &QLineEdit::textChanged, this, &PaletteView::refresh);
    connect(m_field, &QLineEdit::returnPressed, this, &PaletteView::submit);
    refresh();
}

QString PaletteView::query() const {
    return m_field->text();
}

void PaletteView::setQuery(const QString& query) {
    m_field->setText(query);
}

void PaletteView::refresh() {
    const QList<CommandPalette::Action> all =
        CommandPalette::actions(m_state ? m_state() : CommandPalette::State{}, m_operations);
    m_shown = CommandPalette::filtered(all, m_field->text()).mid(0, CommandPalette::maxRows);
    for (int i = 0; i < m_rows.size(); ++i) {
        if (i < m_shown.size()) {
            m_rows[i]->setAction(m_shown[i], i == 0);
            m_rows[i]->show();
        } else {
            m_rows[i]->hide();
        }
    }
    m_scroll->verticalScrollBar()->setValue(0);
}

void PaletteView::runShown(int row) {
    if (row < 0 || row >= m_shown.size())
        return;
    // Copied first: closing rebuilds the list and may hide this widget under us.
    std::function<void()> run = m_shown[row].run;
    dismiss();
    if (run)
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(run), Qt::QueuedConnection);
}

void PaletteView::submit() {
    if (m_shown.isEmpty())
        return;
    runShown(0);
}

void PaletteView::dismiss() {
    if (m_close)
        m_close();
    m_field->clear();
}

void PaletteView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    focusField();
}

void PaletteView::focusField() {
    // The island does not take the keyboard by itself: ask for it, then give it to the field.
    if (QWidget* top = window(); top && !top->isActiveWindow())
        top->activateWindow();
    takeKeyboard();
}

void PaletteView::takeKeyboard() {
    // A window sends its keys to its focus child whether or not that child is on screen yet.
    m_field->setFocus(Qt::OtherFocusReason);
}

bool PaletteView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_field && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        dismiss();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// Escape also closes when a row, not the field, has the keyboard.
void PaletteView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PaletteView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QColor black(Qt::black);
    black.setAlphaF(0.92f);
    p.fillRect(rect(), black);
}
