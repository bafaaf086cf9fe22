#include "views/KanbanTab.h"

#include "services/KanbanService.h"
#include "views/ChipRow.h"
#include "views/DarkField.h"
#include "views/EmptyHint.h"
#include "views/IconButton.h"
#include "views/Icons.h"
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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

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

QFont pixelFont(double px, QFont::Weight weight = QFont::Normal) {
    QFont f;
    f.setPixelSize(qRound(px));
    f.setWeight(weight);
    return f;
}

QLabel* textLabel(const QString& text, const QFont& font, const QString& colour, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(colour));
    return l;
}

std::optional<KanbanColumn> neighbourStage(KanbanColumn c, int step) {
    const int i = int(c) + step;
    if (i < 0 || i > int(KanbanColumn::done))
        return std::nullopt;
    return KanbanColumn(i);
}

// A word-wrapped label of at most `lines` lines that takes the width it is given.
void limitLines(QLabel* label, int lines) {
    label->setWordWrap(true);
    label->setMaximumHeight(QFontMetrics(label->font()).lineSpacing() * lines);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
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

// A text button without a bezel, optionally on a filled capsule, in the island's look.
KitPanelStyle::CapsuleButton* flatButton(const QString& symbol, const QString& text, qreal fill,
                                         QSize padding, qreal px, QWidget* parent) {
    auto* b = new KitPanelStyle::CapsuleButton(symbol, text, fill, padding, parent);
    b->setFont(pixelFont(px, QFont::DemiBold));
    return b;
}

// One task: its title and details with the edit button, and below them the chevrons around the drag
// handle. Dragged by any part that is not a button, and a drop target that places the dragged card above
// it.
class CardView : public QFrame {
public:
    CardView(KanbanService& service, const KanbanCard& card, QWidget* parent)
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
        auto* title =
            textLabel(card.title, titleFont, done ? "rgba(255,255,255,0.5)" : "rgba(255,255,255,0.9)", this);
        title->setObjectName(QStringLiteral("title"));
        limitLines(title, 2);
        texts->addWidget(title);
        if (card.details && !card.details->isEmpty()) {
            auto* details = textLabel(*card.details, pixelFont(9.5), "rgba(255,255,255,0.4)", this);
            details->setObjectName(QStringLiteral("details"));
            limitLines(details, 2);
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
            auto* b =
                smallButton(QStringLiteral("chevron.left"), KanbanTab::tr("Mover para a etapa anterior"), 0.5,
                            [&service, id, s = *prev] { service.move(id, s); });
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
            auto* b =
                smallButton(QStringLiteral("chevron.right"), KanbanTab::tr("Mover para a próxima etapa"), 0.5,
                            [&service, id, s = *next] { service.move(id, s); });
            b->setObjectName(QStringLiteral("next"));
            bottom->addWidget(b);
        }
        column->addLayout(bottom);
    }

    const KanbanCard& card() const { return m_card; }

    // What a drop of `text` on this card does: the dragged card goes right above this one.
    bool dropText(const QString& text) {
        const std::optional<QUuid> dragged = KanbanTab::draggedId(text);
        if (!dragged || *dragged == m_card.id)
            return false;
        m_service.move(*dragged, m_card.column, m_card.id);
        return true;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::white(0.075));
        p.drawRoundedRect(QRectF(rect()), 7, 7);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            m_pressAt = e->position().toPoint();
        QFrame::mousePressEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
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
    void dragEnterEvent(QDragEnterEvent* e) override {
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
    void dropEvent(QDropEvent* e) override {
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

private:
    KanbanService& m_service;
    KanbanCard m_card;
    QPoint m_pressAt;
};

} // namespace

// One stage: its header, its cards, and the highlight while a card is dragged over it.
class KanbanColumnView : public QWidget {
public:
    KanbanColumnView(KanbanService& service, KanbanColumn column, QWidget* parent)
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
        header->addWidget(textLabel(KanbanCards::title(column), pixelFont(10, QFont::DemiBold),
                                    "rgba(255,255,255,0.8)", this));
        header->addStretch(1);
        QFont countFont = KitPanelStyle::pixelFont(9, QFont::Bold, true);
        m_count = textLabel(QString(), countFont, "rgba(255,255,255,0.35)", this);
        m_count->setObjectName(QStringLiteral("count"));
        header->addWidget(m_count);
        outer->addLayout(header);

        auto* scroll = new QScrollArea(this);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Not on windows: a tooltip takes this sheet from the widget it is shown for.
        scroll->setStyleSheet(QStringLiteral("*:!window { background: transparent; }"));
        auto* body = new QWidget(scroll);
        m_list = new QVBoxLayout(body);
        m_list->setContentsMargins(0, 0, 0, 0);
        m_list->setSpacing(5);
        scroll->setWidget(body);
        outer->addWidget(scroll, 1);
    }

    KanbanColumn column() const { return m_column; }

    void setCards(const QList<KanbanCard>& cards) {
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
            m_list->addWidget(new CardView(m_service, c, this));
        m_list->addStretch(1);
    }

    // What a drop of `text` on the column itself does: the dragged card goes to the column's end.
    bool dropText(const QString& text) {
        const std::optional<QUuid> dragged = KanbanTab::draggedId(text);
        if (!dragged)
            return false;
        m_service.move(*dragged, m_column);
        return true;
    }
    bool highlighted() const { return m_hover; }

protected:
    void paintEvent(QPaintEvent*) override {
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
    void dragEnterEvent(QDragEnterEvent* e) override {
        // Only our own cards: a file dragged over the board goes on to the island's shelf.
        if (!KanbanTab::draggedId(e->mimeData()->text())) {
            e->ignore();
            return;
        }
        e->acceptProposedAction();
        setHover(true);
    }
    void dragLeaveEvent(QDragLeaveEvent*) override { setHover(false); }
    void dropEvent(QDropEvent* e) override {
        setHover(false);
        if (dropText(e->mimeData()->text()))
            e->acceptProposedAction();
        else
            e->ignore();
    }

private:
    void setHover(bool on) {
        if (on != m_hover) {
            m_hover = on;
            update();
        }
    }

    KanbanService& m_service;
    KanbanColumn m_column;
    QLabel* m_count = nullptr;
    QVBoxLayout* m_list = nullptr;
    QList<KanbanCard> m_shown;
    bool m_built = false;
    bool m_hover = false;
};

std::optional<QUuid> KanbanTab::draggedId(const QString& text) {
    return KanbanCards::parseId(text.trimmed());
}

KanbanTab::KanbanTab(KanbanService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service) {
    m_pages = new QStackedLayout(this);
    m_pages->addWidget(buildBoard());
    m_pages->addWidget(buildEditor());
    connect(&m_service, &KanbanService::cardsChanged, this, [this] {
        rebuildColumns();
        refreshRow();
        refreshEditor();
    });
    connect(&m_service, &KanbanService::draftChanged, this, &KanbanTab::refreshRow);
    connect(&m_service, &KanbanService::editingCardIDChanged, this, &KanbanTab::refreshEditor);
    connect(&m_service, &KanbanService::editTitleChanged, this, &KanbanTab::refreshEditor);
    connect(&m_service, &KanbanService::editDetailsChanged, this, &KanbanTab::refreshEditor);
    connect(&m_service, &KanbanService::editColumnChanged, this, &KanbanTab::refreshEditor);
    rebuildColumns();
    refreshRow();
    refreshEditor();
}

QWidget* KanbanTab::buildBoard() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("board"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(8);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    m_draft = new DarkField(tr("Nova tarefa…"), page);
    m_draft->setObjectName(QStringLiteral("draft"));
    connect(m_draft, &QLineEdit::textEdited, &m_service, &KanbanService::setDraft);
    connect(m_draft, &QLineEdit::returnPressed, &m_service, &KanbanService::add);
    row->addWidget(m_draft, 1);
    m_add = flatButton(QStringLiteral("plus"), tr("Adicionar"), 0.14, QSize(9, 6), 10, page);
    m_add->setObjectName(QStringLiteral("add"));
    connect(m_add, &QPushButton::clicked, &m_service, &KanbanService::add);
    row->addWidget(m_add);
    m_clear = new IconButton(
        QStringLiteral("trash"), QStringLiteral("Clear finished tasks"), Qt::white,
        [this] { m_service.clearCompleted(); }, page);
    m_clear->setObjectName(QStringLiteral("clear"));
    row->addWidget(m_clear);
    column->addLayout(row);
    auto* columns = new QHBoxLayout;
    columns->setSpacing(6);
    for (KanbanColumn c : KanbanCards::kColumns) {
        auto* view = new KanbanColumnView(m_service, c, page);
        m_columns.append(view);
        columns->addWidget(view, 1);
    }
    column->addLayout(columns, 1);
    return page;
}

QWidget* KanbanTab::buildEditor() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("editor"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(10);

    // The heading stays centred: a clear spacer as wide as the back button balances it.
    auto* top = new QHBoxLayout;
    auto* back = flatButton(QStringLiteral("chevron.left"), tr("Back"), 0, QSize(0, 2), 10, page);
    back->setObjectName(QStringLiteral("back"));
    back->setInk(0.65);
    connect(back, &QPushButton::clicked, &m_service, &KanbanService::cancelEditing);
    top->addWidget(back);
    top->addStretch(1);
    top->addWidget(textLabel(tr("Editar tarefa"), pixelFont(12, QFont::DemiBold), "white", page));
    top->addStretch(1);
    top->addSpacing(std::max(48, back->sizeHint().width()));
    column->addLayout(top);

    m_editTitle = new DarkField(tr("Título"), page);
    m_editTitle->setObjectName(QStringLiteral("editTitle"));
    m_editTitle->setFont(pixelFont(12, QFont::Medium));
    m_editTitle->setStyleSheet(QStringLiteral("QLineEdit { background: rgba(255, 255, 255, 18); color: white;"
                                              " border: none; border-radius: 8px; padding: 7px 10px; }"));
    connect(m_editTitle, &QLineEdit::textEdited, &m_service, &KanbanService::setEditTitle);
    column->addWidget(m_editTitle);
    column->addWidget(
        textLabel(tr("Description"), pixelFont(10, QFont::DemiBold), "rgba(255,255,255,0.55)", page));
    m_editDetails = new QPlainTextEdit(page);
    m_editDetails->setObjectName(QStringLiteral("editDetails"));
    m_editDetails->setFixedHeight(82);
    m_editDetails->setFont(pixelFont(10.5));
    m_editDetails->setFrameShape(QFrame::NoFrame);
    m_editDetails->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editDetails->setPlaceholderText(tr("Context, criteria or next steps…"));
    QPalette details = m_editDetails->palette();
    details.setColor(QPalette::Text, Qt::white);
    details.setColor(QPalette::PlaceholderText, SystemColors::white(0.28));
    m_editDetails->setPalette(details);
    m_editDetails->setStyleSheet(
        QStringLiteral("QPlainTextEdit { color: white; background: rgba(255, 255, 255, 18); border: none;"
                       " border-radius: 8px; padding: 5px; }"));
    m_editDetails->viewport()->setAutoFillBackground(false);
    connect(m_editDetails, &QPlainTextEdit::textChanged, this,
            [this] { m_service.setEditDetails(m_editDetails->toPlainText()); });
    column->addWidget(m_editDetails);
    m_stages = new ChipRow(page);
    m_stages->setObjectName(QStringLiteral("stages"));
    QList<ChipRow::Chip> chips;
    for (KanbanColumn c : KanbanCards::kColumns)
        chips.append({KanbanCards::title(c), KanbanCards::symbol(c), int(c)});
    m_stages->setChips(chips);
    connect(m_stages, &ChipRow::chosen, this, [this](int v) { m_service.setEditColumn(KanbanColumn(v)); });
    auto* stages = new QHBoxLayout;
    stages->addWidget(m_stages);
    stages->addStretch(1);
    column->addLayout(stages);
    column->addStretch(1);

    auto* actions = new QHBoxLayout;
    auto* remove = flatButton(QString(), tr("Excluir"), 0, QSize(0, 6), 10, page);
    remove->setObjectName(QStringLiteral("delete"));
    QColor red = SystemColors::red();
    red.setAlphaF(0.85f);
    remove->setInkColor(red);
    connect(remove, &QPushButton::clicked, this, [this] { m_service.remove(m_service.editingCardID()); });
    actions->addWidget(remove);
    actions->addStretch(1);
    auto* cancel = flatButton(QString(), tr("Cancel"), 0, QSize(6, 6), 10, page);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setInk(0.55);
    connect(cancel, &QPushButton::clicked, &m_service, &KanbanService::cancelEditing);
    actions->addWidget(cancel);
    m_save = flatButton(QString(), tr("Save"), 0.16, QSize(12, 6), 10, page);
    m_save->setObjectName(QStringLiteral("save"));
    connect(m_save, &QPushButton::clicked, &m_service, &KanbanService::saveEditing);
    actions->addWidget(m_save);
    column->addLayout(actions);
    return page;
}

void KanbanTab::rebuildColumns() {
    for (KanbanColumnView* view : m_columns)
        view->setCards(m_service.cards(view->column()));
}

void KanbanTab::refreshRow() {
    if (m_draft->text() != m_service.draft()) {
        const QSignalBlocker block(m_draft);
        m_draft->setText(m_service.draft());
    }
    m_add->setEnabled(!m_service.draft().trimmed().isEmpty());
    m_clear->setVisible(!m_service.cards(KanbanColumn::done).isEmpty());
}

void KanbanTab::refreshEditor() {
    const bool editing = m_service.editingCard().has_value();
    m_pages->setCurrentIndex(editing ? 1 : 0);
    if (m_editTitle->text() != m_service.editTitle()) {
        const QSignalBlocker block(m_editTitle);
        m_editTitle->setText(m_service.editTitle());
    }
    if (m_editDetails->toPlainText() != m_service.editDetails()) {
        const QSignalBlocker block(m_editDetails);
        m_editDetails->setPlainText(m_service.editDetails());
    }
    m_stages->setCurrent(int(m_service.editColumn()));
    m_save->setEnabled(!m_service.editTitle().trimmed().isEmpty());
}
