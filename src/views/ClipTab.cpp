// Clip tab: rows rebuilt when the history changes; the copied mark only repaints the rows it concerns.
#include "views/ClipTab.h"

#include "services/ClipboardService.h"
#include "views/ClipEntryButton.h"
#include "views/EmptyHint.h"
#include "views/IconButton.h"
#include "views/ScrollPage.h"
#include "views/SectionTitle.h"
#include "views/SystemColors.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace {

class ClipRow : public QWidget {
public:
    ClipRow(ClipboardService& service, const ClipItem& item, QWidget* parent)
        : QWidget(parent)
        , m_pinned(item.pinned) {
        setObjectName(QStringLiteral("row-") + item.id.toString(QUuid::WithoutBraces));
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(8, 4, 8, 4);
        row->setSpacing(8);
        ClipboardService* s = &service;
        entry = new ClipEntryButton(item.text, ClipEntryButton::Style{0, 10.5, 0.4}, this);
        entry->setObjectName(QStringLiteral("entry"));
        QObject::connect(entry, &QAbstractButton::clicked, this, [s, item] { s->copy(item); });
        row->addWidget(entry, 1);
        auto* pin = new IconButton(
            item.pinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"),
            item.pinned ? ClipTab::tr("Unpin") : ClipTab::tr("Pin"),
            item.pinned ? QColor(Qt::yellow) : QColor(Qt::white), [s, item] { s->togglePin(item); }, this);
        pin->setObjectName(QStringLiteral("pin"));
        row->addWidget(pin, 0, Qt::AlignVCenter);
        auto* remove = new IconButton(
            QStringLiteral("xmark"), ClipTab::tr("Remove"), Qt::white, [s, item] { s->remove(item); }, this);
        remove->setObjectName(QStringLiteral("remove"));
        row->addWidget(remove, 0, Qt::AlignVCenter);
    }

    ClipEntryButton* entry = nullptr;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 7, 7);
        p.fillPath(path, SystemColors::white(m_pinned ? 0.09 : 0.05));
    }

private:
    bool m_pinned;
};

} // namespace

QList<ClipItem> ClipTab::shownOrder(const QList<ClipItem>& items) {
    QList<ClipItem> shown = items;
    std::stable_partition(shown.begin(), shown.end(), [](const ClipItem& i) { return i.pinned; });
    return shown;
}

ClipTab::ClipTab(ClipboardService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    QScrollArea* scroll = ScrollPage::create(this);
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("clipList"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(3);

    auto* header = new QHBoxLayout;
    auto* title = new SectionTitle(tr("HISTORY — CLICK TO COPY"), page);
    title->setObjectName(QStringLiteral("title"));
    // Centred on the button beside it: no room above, as a caption over rows has.
    title->setContentsMargins(0, 0, 0, 0);
    header->addWidget(title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    ClipboardService* s = &m_service;
    auto* clear = new IconButton(
        QStringLiteral("trash"), tr("Clear (keeps pinned)"), Qt::white, [s] { s->clearUnpinned(); }, page);
    clear->setObjectName(QStringLiteral("clear"));
    header->addWidget(clear, 0, Qt::AlignVCenter);
    column->addLayout(header);

    m_hint = new EmptyHint(tr("Copy any text and it shows up here"), page);
    column->addWidget(m_hint);

    m_rows = new QWidget(page);
    m_rowsLayout = new QVBoxLayout(m_rows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(3);
    column->addWidget(m_rows);
    column->addStretch(1);
    ScrollPage::setContent(scroll, page);
    outer->addWidget(scroll);

    connect(&m_service, &ClipboardService::itemsChanged, this, &ClipTab::rebuildRows);
    connect(&m_service, &ClipboardService::copiedIDChanged, this, &ClipTab::updateCopiedMark);
    rebuildRows();
}

void ClipTab::rebuildRows() {
    // A row's own button may have caused this (pin, remove): it is deleted once its click returns.
    while (QLayoutItem* item = m_rowsLayout->takeAt(0)) {
        if (QWidget* old = item->widget()) {
            old->hide();
            old->setObjectName(QString());
            old->deleteLater();
        }
        delete item;
    }
    m_entries.clear();
    const QList<ClipItem> shown = shownOrder(m_service.items());
    for (const ClipItem& item : shown) {
        auto* row = new ClipRow(m_service, item, m_rows);
        m_rowsLayout->addWidget(row);
        m_entries.insert(item.id, row->entry);
    }
    m_hint->setVisible(shown.isEmpty());
    updateCopiedMark();
}

void ClipTab::updateCopiedMark() {
    const QUuid copied = m_service.copiedID();
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        (*it)->setConfirmed(!copied.isNull() && it.key() == copied);
}
