// One Kanban stage: its header, its list of cards, and drops onto the column.
#include "views/KanbanColumnView.h"

#include "services/KanbanService.h"
#include "views/EmptyHint.h"
#include "views/Icons.h"
#include "views/KanbanCardView.h"
#include "views/KanbanTab.h"
#include "views/KitPanelStyle.h"
#include "views/ScrollPage.h"
#include "views/SystemColors.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

using KitPanelStyle::pixelFont;
using KitPanelStyle::textLabel;

namespace {

QColor accentOf(KanbanColumn column) {
    switch (column) {
    case KanbanColumn::todo:
        return SystemColors::white(0.65);
    case KanbanColumn::doing:
        return SystemColors::orange();
    case KanbanColumn::done:
        return SystemColors::green();
    }
    return Qt::white;
}

} // namespace

KanbanColumnView::KanbanColumnView(KanbanService& service, KanbanColumn column, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_column(column) {
    setObjectName(QStringLiteral("column-") + KanbanCards::rawValue(column));
    setAcceptDrops(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(6);
    auto* header = new QHBoxLayout;
    header->setSpacing(5);
    auto* icon = new QLabel(this);
    icon->setPixmap(
        Icons::pixmap(KanbanCards::symbol(column), QSize(11, 11), accentOf(column), devicePixelRatioF()));
    header->addWidget(icon);
    header->addWidget(
        textLabel(KanbanCards::title(column), pixelFont(10, QFont::DemiBold), "rgba(255,255,255,0.8)", this));
    header->addStretch(1);
    QFont countFont = KitPanelStyle::pixelFont(9, QFont::Bold, true);
    m_count = textLabel(QString(), countFont, "rgba(255,255,255,0.35)", this);
    m_count->setObjectName(QStringLiteral("count"));
    header->addWidget(m_count);
    outer->addLayout(header);

    // No scroll bar beside the cards, as in the island's other lists: the wheel scrolls the column.
    QScrollArea* scroll = ScrollPage::create(this, ScrollPage::Clear::everything);
    auto* body = new QWidget(scroll);
    m_list = new QVBoxLayout(body);
    m_list->setContentsMargins(0, 0, 0, 0);
    m_list->setSpacing(5);
    ScrollPage::setContent(scroll, body);
    outer->addWidget(scroll, 1);
}

void KanbanColumnView::setCards(const QList<KanbanCard>& cards) {
    if (cards == m_shown && m_built)
        return;
    m_built = true;
    m_shown = cards;
    // Later, not now: the press that changed the board may still be running inside one of them.
    while (QLayoutItem* item = m_list->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->setObjectName(QString());
            w->deleteLater();
        }
        delete item;
    }
    m_count->setText(KanbanTab::tr("%lld").replace(QLatin1String("%lld"), QString::number(cards.size())));
    if (cards.isEmpty()) {
        auto* hint = new EmptyHint(KanbanTab::tr("Solte uma tarefa aqui"), this);
        hint->setObjectName(QStringLiteral("empty"));
        hint->setFont(pixelFont(9));
        hint->setContentsMargins(0, 18, 0, 18);
        hint->setStyleSheet(
            QStringLiteral("QLabel { color: rgba(255, 255, 255, 64); background: transparent; }"));
        m_list->addWidget(hint);
    }
    for (const KanbanCard& c : cards)
        m_list->addWidget(new KanbanCardView(m_service, c, this));
    m_list->addStretch(1);
}

bool KanbanColumnView::dropText(const QString& text) {
    const std::optional<QUuid> dragged = KanbanTab::draggedId(text);
    if (!dragged)
        return false;
    m_service.move(*dragged, m_column);
    return true;
}

void KanbanColumnView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_hover) {
        QColor fill = accentOf(m_column), line = fill;
        fill.setAlphaF(0.14f);
        line.setAlphaF(0.65f);
        p.setBrush(fill);
        p.setPen(QPen(line, 1));
    } else {
        p.setBrush(SystemColors::white(0.045));
        p.setPen(Qt::NoPen);
    }
    p.drawRoundedRect(r, 9, 9);
}

void KanbanColumnView::dragEnterEvent(QDragEnterEvent* e) {
    // Only our own cards: a file dragged over the board goes on to the island's shelf.
    if (!KanbanTab::draggedId(e->mimeData()->text())) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    setHover(true);
}

void KanbanColumnView::dragLeaveEvent(QDragLeaveEvent*) {
    setHover(false);
}

void KanbanColumnView::dropEvent(QDropEvent* e) {
    setHover(false);
    if (dropText(e->mimeData()->text()))
        e->acceptProposedAction();
    else
        e->ignore();
}

void KanbanColumnView::setHover(bool on) {
    if (on != m_hover) {
        m_hover = on;
        update();
    }
}
