// One Kanban card: its texts and buttons, its drag, and drops of other cards onto it.
#include "views/KanbanCardView.h"

#include "services/KanbanService.h"
#include "views/ElidedLabel.h"
#include "views/IconButton.h"
#include "views/Icons.h"
#include "views/KanbanTab.h"
#include "views/KitPanelStyle.h"
#include "views/SystemColors.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <functional>

using KitPanelStyle::pixelFont;

namespace {

std::optional<KanbanColumn> neighbourStage(KanbanColumn c, int step) {
    const int i = int(c) + step;
    if (i < 0 || i > int(KanbanColumn::done))
        return std::nullopt;
    return KanbanColumn(i);
}

// A text of at most `lines` lines that takes the width it is given; a longer one ends in "…" rather
// than being cut through a line of glyphs.
ElidedLabel* cardText(const QString& text, const QFont& font, QColor colour, int lines, QWidget* parent) {
    auto* label = new ElidedLabel(Qt::ElideRight, parent);
    label->setText(text);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMaximumLines(lines);
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    label->setSizePolicy(policy);
    return label;
}

// A card's small symbol button: a 9-pixel symbol in white at `opacity`, in a 16-pixel square.
IconButton* smallButton(const QString& symbol, const QString& help, qreal opacity,
                        std::function<void()> action) {
    // IconButton draws its tint at 0.8.
    auto* b = new IconButton(symbol, help, SystemColors::white(opacity / 0.8), std::move(action));
    b->setFixedSize(16, 16);
    b->setIconSize(QSize(9, 9));
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

} // namespace

KanbanCardView::KanbanCardView(KanbanService& service, const KanbanCard& card, QWidget* parent)
    : QFrame(parent)
    , m_service(service)
    , m_card(card) {
    setObjectName(QStringLiteral("card-") + KanbanCards::idString(card.id));
    setAcceptDrops(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(7, 7, 7, 7);
    column->setSpacing(6);

    auto* top = new QHBoxLayout;
    top->setSpacing(5);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    const bool done = card.column == KanbanColumn::done;
    QFont titleFont = pixelFont(10.5, QFont::Medium);
    titleFont.setStrikeOut(done);
    auto* title = cardText(card.title, titleFont, SystemColors::white(done ? 0.5 : 0.9), 2, this);
    title->setObjectName(QStringLiteral("title"));
    texts->addWidget(title);
    if (card.details && !card.details->isEmpty()) {
        auto* details = cardText(*card.details, pixelFont(9.5), SystemColors::white(0.4), 2, this);
        details->setObjectName(QStringLiteral("details"));
        texts->addWidget(details);
    }
    top->addLayout(texts, 1);
    auto* edit = smallButton(QStringLiteral("pencil"), KanbanTab::tr("Editar tarefa"), 0.45,
                             [&service, card] { service.beginEditing(card); });
    edit->setObjectName(QStringLiteral("edit"));
    top->addWidget(edit, 0, Qt::AlignTop);
    column->addLayout(top);

    auto* bottom = new QHBoxLayout;
    const QUuid id = card.id;
    if (auto prev = neighbourStage(card.column, -1)) {
        auto* b = smallButton(QStringLiteral("chevron.left"), KanbanTab::tr("Mover para a etapa anterior"),
                              0.5, [&service, id, s = *prev] { service.move(id, s); });
        b->setObjectName(QStringLiteral("previous"));
        bottom->addWidget(b);
    }
    bottom->addStretch(1);
    auto* handle = new QLabel(this);
    handle->setObjectName(QStringLiteral("handle"));
    handle->setPixmap(Icons::pixmap(QStringLiteral("line.3.horizontal"), QSize(9, 9),
                                    SystemColors::white(0.25), devicePixelRatioF()));
    handle->setToolTip(KanbanTab::tr("Arraste para mover ou reordenar"));
    bottom->addWidget(handle);
    bottom->addStretch(1);
    if (auto next = neighbourStage(card.column, +1)) {
        auto* b = smallButton(QStringLiteral("chevron.right"), KanbanTab::tr("Mover para a próxima etapa"),
                              0.5, [&service, id, s = *next] { service.move(id, s); });
        b->setObjectName(QStringLiteral("next"));
        bottom->addWidget(b);
    }
    column->addLayout(bottom);
}

bool KanbanCardView::dropText(const QString& text) {
    const std::optional<QUuid> dragged = KanbanTab::draggedId(text);
    if (!dragged || *dragged == m_card.id)
        return false;
    m_service.move(*dragged, m_card.column, m_card.id);
    return true;
}

void KanbanCardView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(SystemColors::white(0.075));
    p.drawRoundedRect(QRectF(rect()), 7, 7);
}

void KanbanCardView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        m_pressAt = e->position().toPoint();
    QFrame::mousePressEvent(e);
}

void KanbanCardView::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton) ||
        (e->position().toPoint() - m_pressAt).manhattanLength() < QApplication::startDragDistance())
        return;
    auto* drag = new QDrag(this);
    auto* payload = new QMimeData;
    payload->setText(KanbanCards::idString(m_card.id));
    drag->setMimeData(payload);
    drag->setPixmap(grab());
    drag->exec(Qt::MoveAction);
}

void KanbanCardView::dragEnterEvent(QDragEnterEvent* e) {
    const std::optional<QUuid> dragged = KanbanTab::draggedId(e->mimeData()->text());
    if (!dragged) {
        e->ignore(); // not a card: the island below may take it
    } else if (*dragged == m_card.id) {
        // Taken, so that the column behind does not move the card, but refused.
        e->setDropAction(Qt::IgnoreAction);
        e->accept();
    } else {
        e->acceptProposedAction();
    }
}

void KanbanCardView::dropEvent(QDropEvent* e) {
    if (!KanbanTab::draggedId(e->mimeData()->text())) {
        e->ignore();
        return;
    }
    if (dropText(e->mimeData()->text())) {
        e->acceptProposedAction();
    } else {
        e->setDropAction(Qt::IgnoreAction);
        e->accept();
    }
}
