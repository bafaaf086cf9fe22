// The Kanban tab: the new-task row over the three stage columns, and the card editor in place of the board.
#include "views/KanbanTab.h"

#include "services/KanbanService.h"
#include "views/ChipRow.h"
#include "views/DarkField.h"
#include "views/IconButton.h"
#include "views/KanbanColumnView.h"
#include "views/KitPanelStyle.h"
#include "views/SystemColors.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>

using KitPanelStyle::pixelFont;
using KitPanelStyle::textLabel;

namespace {

// A text button without a bezel, optionally on a filled capsule, in the island's look.
KitPanelStyle::CapsuleButton* flatButton(const QString& symbol, const QString& text, qreal fill,
                                         QSize padding, qreal px, QWidget* parent) {
    auto* b = new KitPanelStyle::CapsuleButton(symbol, text, fill, padding, parent);
    b->setFont(pixelFont(px, QFont::DemiBold));
    return b;
}

} // namespace

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
