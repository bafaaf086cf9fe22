// The quick-paste picker's content: header chips, rows, keys and the confirmation delay.
#include "views/ClipboardPickerView.h"

#include "platform/Ticker.h"
#include "services/AccessibilityAuth.h"
#include "services/ClipboardService.h"
#include "views/ClipEntryButton.h"
#include "views/IconButton.h"
#include "views/Icons.h"
#include "views/ScrollPage.h"
#include "views/SystemColors.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// One section's chip: symbol, label and, for Pinned, the number of pinned entries.
class SectionChip : public QAbstractButton {
public:
    SectionChip(QString symbol, QString label, QWidget* parent)
        : QAbstractButton(parent)
        , m_symbol(std::move(symbol))
        , m_label(std::move(label)) {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setText(m_label);
    }
    void setState(bool shown, int count) {
        m_shown = shown;
        m_count = count;
        updateGeometry();
        update();
    }
    bool isShown() const { return m_shown; }
    int count() const { return m_count; }

    QSize sizeHint() const override {
        const int w =
            9 + 9 + 4 + QFontMetrics(labelFont()).horizontalAdvance(m_label) +
            (m_count >= 1 ? 4 + QFontMetrics(countFont()).horizontalAdvance(QString::number(m_count)) : 0) +
            9;
        return QSize(w, 4 + QFontMetrics(labelFont()).height() + 4);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (m_shown) {
            QPainterPath capsule;
            capsule.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
            p.fillPath(capsule, SystemColors::white(0.16));
        }
        const QColor content = m_shown ? QColor(Qt::white) : SystemColors::white(0.45);
        int x = 9;
        p.drawPixmap(x, (height() - 9) / 2,
                     Icons::pixmap(m_symbol, QSize(9, 9), content, devicePixelRatioF()));
        x += 9 + 4;
        p.setFont(labelFont());
        p.setPen(content);
        const int lw = QFontMetrics(labelFont()).horizontalAdvance(m_label);
        p.drawText(QRect(x, 0, lw, height()), Qt::AlignVCenter | Qt::AlignLeft, m_label);
        x += lw + 4;
        if (m_count >= 1) {
            p.setFont(countFont());
            p.setPen(SystemColors::white(0.45));
            p.drawText(QRect(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft,
                       QString::number(m_count));
        }
    }

private:
    static QFont labelFont() {
        QFont f;
        f.setPixelSize(10);
        f.setWeight(QFont::DemiBold);
        return f;
    }
    static QFont countFont() {
        QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPixelSize(9);
        f.setBold(true);
        return f;
    }

    QString m_symbol;
    QString m_label;
    bool m_shown = false;
    int m_count = 0;
};

class PickerRow : public QWidget {
public:
    PickerRow(bool pinned, bool selected, QWidget* parent)
        : QWidget(parent)
        , m_pinned(pinned)
        , m_selected(selected) {}
    void setSelected(bool selected) {
        if (selected != m_selected) {
            m_selected = selected;
            update();
        }
    }
    bool isSelected() const { return m_selected; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(path, SystemColors::white(m_selected ? 0.14 : m_pinned ? 0.07 : 0.04));
    }

private:
    bool m_pinned;
    bool m_selected;
};

} // namespace

ClipboardPickerView::ClipboardPickerView(ClipboardService& service, AccessibilityAuth& accessibility,
                                         TickerFactory& tickers, std::function<void()> onSelect,
                                         std::function<void()> onClose, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_accessibility(accessibility)
    , m_tickers(tickers)
    , m_onSelect(std::move(onSelect))
    , m_onClose(std::move(onClose)) {
    setFixedSize(kWidth, kHeight);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(10, 9, 10, 6);
    header->setSpacing(4);
    auto* recent = new SectionChip(QStringLiteral("clock"), tr("Recent"), this);
    recent->setObjectName(QStringLiteral("recentChip"));
    auto* pinned = new SectionChip(QStringLiteral("pin.fill"), tr("Pinned"), this);
    pinned->setObjectName(QStringLiteral("pinnedChip"));
    connect(recent, &QAbstractButton::clicked, this, [this] { select(Section::recent); });
    connect(pinned, &QAbstractButton::clicked, this, [this] { select(Section::pinned); });
    m_chips[0] = recent;
    m_chips[1] = pinned;
    header->addWidget(recent);
    header->addWidget(pinned);
    header->addStretch(1);
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("hint"));
    m_hint->setTextFormat(Qt::PlainText);
    QFont hintFont = m_hint->font();
    hintFont.setPixelSize(8);
    hintFont.setBold(true);
    m_hint->setFont(hintFont);
    m_hint->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 77); background: transparent;"));
    header->addWidget(m_hint);
    column->addLayout(header);

    m_empty = new QLabel(this);
    m_empty->setObjectName(QStringLiteral("empty"));
    m_empty->setTextFormat(Qt::PlainText);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setWordWrap(true);
    m_empty->setContentsMargins(24, 40, 24, 40);
    QFont emptyFont = m_empty->font();
    emptyFont.setPixelSize(11);
    m_empty->setFont(emptyFont);
    m_empty->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 102); background: transparent;"));
    column->addWidget(m_empty);

    m_scroll = ScrollPage::create(this);
    m_scroll->setObjectName(QStringLiteral("list"));
    m_scroll->setFocusPolicy(Qt::NoFocus); // the arrows belong to the picker
    m_rows = new QWidget;
    m_rowsLayout = new QVBoxLayout(m_rows);
    m_rowsLayout->setContentsMargins(8, 0, 8, 8);
    m_rowsLayout->setSpacing(3);
    m_rowsLayout->addStretch(1); // a short list keeps its rows' own height, at the top
    ScrollPage::setContent(m_scroll, m_rows);
    column->addWidget(m_scroll, 1);
    column->addStretch(0);

    m_scrollAnimation = new QPropertyAnimation(m_scroll->verticalScrollBar(), "value", this);
    m_scrollAnimation->setDuration(120);
    m_scrollAnimation->setEasingCurve(QEasingCurve::OutCubic);

    // A fresh view opens on Recent when it has anything, otherwise on Pinned.
    const bool anyUnpinned = std::any_of(m_service.items().cbegin(), m_service.items().cend(),
                                         [](const ClipItem& i) { return !i.pinned; });
    m_section = anyUnpinned ? Section::recent : Section::pinned;

    connect(&m_service, &ClipboardService::itemsChanged, this, &ClipboardPickerView::rebuild);
    connect(&m_accessibility, &AccessibilityAuth::isTrustedChanged, this, &ClipboardPickerView::rebuild);
    rebuild();
}

ClipboardPickerView::~ClipboardPickerView() = default;

QList<ClipItem> ClipboardPickerView::items() const {
    QList<ClipItem> out;
    const bool wantPinned = m_section == Section::pinned;
    for (const ClipItem& item : m_service.items()) {
        if (item.pinned == wantPinned)
            out.append(item);
    }
    return out;
}

QString ClipboardPickerView::confirmedLabel() const {
    return m_accessibility.isTrusted() ? tr("Pasted") : tr("Copied — press ⌘V");
}

void ClipboardPickerView::select(Section section) {
    if (section == m_section)
        return;
    m_section = section;
    m_selectedIndex = 0;
    rebuild();
}

void ClipboardPickerView::move(int delta) {
    const qsizetype count = items().size();
    if (count == 0)
        return;
    const int index =
        int(std::min<qsizetype>(count - 1, std::max<qsizetype>(0, qsizetype(m_selectedIndex) + delta)));
    if (index == m_selectedIndex)
        return;
    m_selectedIndex = index;
    for (int i = 0; i < m_rowWidgets.size(); ++i)
        static_cast<PickerRow*>(m_rowWidgets.at(i))->setSelected(i == m_selectedIndex);
    scrollToSelection();
}

void ClipboardPickerView::choose(int index) {
    const QList<ClipItem> shown = items();
    if (index < 0 || index >= shown.size() || !m_confirmedID.isNull())
        return;
    m_service.copy(shown.at(index));
    m_confirmedID = shown.at(index).id;
    rebuild();
    m_handOver = m_tickers.make(m_accessibility.isTrusted() ? kTrustedDelayMs : kUntrustedDelayMs, [this] {
        m_handOver->stop();
        if (m_onSelect)
            m_onSelect();
    });
    m_handOver->start();
}

void ClipboardPickerView::togglePin(int index) {
    const QList<ClipItem> shown = items();
    if (index < 0 || index >= shown.size())
        return;
    m_service.togglePin(shown.at(index)); // rebuilds through the history's change
    const int count = int(items().size());
    m_selectedIndex = std::min(std::max(count - 1, 0), m_selectedIndex);
    rebuild();
}

void ClipboardPickerView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (key == Qt::Key_Up) {
        move(-1);
    } else if (key == Qt::Key_Down) {
        move(1);
    } else if (key == Qt::Key_Left) {
        select(Section::recent);
    } else if (key == Qt::Key_Right) {
        select(Section::pinned);
    } else if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        select(m_section == Section::recent ? Section::pinned : Section::recent);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        choose(m_selectedIndex);
    } else if (key == Qt::Key_Escape) {
        if (m_onClose)
            m_onClose();
    } else if (key == Qt::Key_P && (mods & Qt::ControlModifier)) {
        togglePin(m_selectedIndex);
    } else if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        choose(key - Qt::Key_1);
    } else {
        event->ignore();
        return;
    }
    event->accept();
}

bool ClipboardPickerView::focusNextPrevChild(bool) {
    return false; // Tab switches sections instead of moving the focus
}

void ClipboardPickerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    setFocus(Qt::OtherFocusReason);
}

void ClipboardPickerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    p.fillPath(shape, QColor(0, 0, 0, qRound(0.92 * 255)));
    QPainterPath border;
    border.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius - 0.5,
                          kCornerRadius - 0.5);
    p.setPen(QPen(SystemColors::white(0.08), 1));
    p.drawPath(border);
}

void ClipboardPickerView::updateHeader() {
    int pinnedCount = 0;
    for (const ClipItem& item : m_service.items())
        pinnedCount += item.pinned ? 1 : 0;
    static_cast<SectionChip*>(m_chips[0])->setState(m_section == Section::recent, 0);
    static_cast<SectionChip*>(m_chips[1])->setState(m_section == Section::pinned, pinnedCount);
    m_hint->setText(m_accessibility.isTrusted() ? tr("↵ PASTE · ⌘P PIN") : tr("↵ COPY · ⌘P PIN"));
}

void ClipboardPickerView::rebuild() {
    updateHeader();
    const QList<ClipItem> shown = items();
    m_selectedIndex = std::min(m_selectedIndex, std::max(int(shown.size()) - 1, 0));
    for (QWidget* row : std::as_const(m_rowWidgets)) {
        row->hide();
        row->setObjectName(QString());
        row->deleteLater(); // its own click may be on the stack
    }
    m_rowWidgets.clear();
    for (int i = 0; i < shown.size(); ++i) {
        const ClipItem& item = shown.at(i);
        auto* row = new PickerRow(item.pinned, i == m_selectedIndex, m_rows);
        row->setObjectName(QStringLiteral("row-%1").arg(i));
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(8, 5, 8, 5);
        layout->setSpacing(6);
        auto* entry = new ClipEntryButton(item.text, ClipEntryButton::Style{i + 1, 11, 0.35}, row);
        entry->setObjectName(QStringLiteral("entry"));
        const bool confirmed = item.id == m_confirmedID && !m_confirmedID.isNull();
        entry->setConfirmed(confirmed, confirmed ? confirmedLabel() : QString());
        connect(entry, &QAbstractButton::clicked, this, [this, i] { choose(i); });
        layout->addWidget(entry, 1);
        auto* pin = new IconButton(
            item.pinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"),
            item.pinned ? tr("Unpin") : tr("Pin — keeps it here permanently"),
            item.pinned ? QColor(Qt::yellow) : SystemColors::white(0.3), [this, i] { togglePin(i); }, row);
        pin->setObjectName(QStringLiteral("pin"));
        pin->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(pin, 0, Qt::AlignVCenter);
        m_rowsLayout->insertWidget(m_rowsLayout->count() - 1, row); // before the closing stretch
        m_rowWidgets.append(row);
    }
    const bool empty = shown.isEmpty();
    m_empty->setText(m_section == Section::pinned ? tr("Pin items with ⌘P — they stay here for good")
                                                  : tr("Nothing copied yet"));
    m_empty->setVisible(empty);
    m_scroll->setVisible(!empty);
}

void ClipboardPickerView::scrollToSelection() {
    if (m_selectedIndex < 0 || m_selectedIndex >= m_rowWidgets.size())
        return;
    m_rows->layout()->activate();
    QWidget* row = m_rowWidgets.at(m_selectedIndex);
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const int target = std::clamp(row->y() + row->height() / 2 - m_scroll->viewport()->height() / 2,
                                  bar->minimum(), bar->maximum());
    m_scrollAnimation->stop();
    m_scrollAnimation->setStartValue(bar->value());
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
}
