#include "views/ShelfTab.h"
#include "views/KitPanelStyle.h"

#include "services/ShelfService.h"
#include "views/ElidedLabel.h"
#include "views/IconButton.h"
#include "views/Icons.h"
#include "views/ScrollPage.h"
#include "views/SectionTitle.h"
#include "views/SystemColors.h"

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QMimeData>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

using KitPanelStyle::pixelFont;

// One line of the row, cut to its width on the side given; the whole text in its tooltip.
ElidedLabel* rowText(const QString& text, Qt::TextElideMode mode, const QFont& font, QColor colour,
                     QWidget* parent) {
    auto* label = new ElidedLabel(mode, parent);
    label->setText(text);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setFixedHeight(label->fontMetrics().height());
    label->setToolTip(text);
    return label;
}

// The file's icon from the desktop's theme by its type; our own symbols where the theme has none. A
// file that is gone gets the generic one. `byType` keeps what the theme gave for each type already seen.
QIcon fileIcon(const QString& path, QHash<QString, QIcon>& byType);

// What follows the pointer during a drag: the file's icon and name on an opaque dark pill, so that
// it reads the same with or without a compositor (without one, transparent pixels show white).
QPixmap dragImage(const QString& path, qreal dpr, QHash<QString, QIcon>& iconsByType) {
    QFont font = QApplication::font();
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QString name = metrics.elidedText(QFileInfo(path).fileName(), Qt::ElideMiddle, 260);
    const QSize size(8 + 22 + 6 + metrics.horizontalAdvance(name) + 10, 28);
    QPixmap pixmap(size * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(QColor(30, 30, 30));
    QPainter p(&pixmap);
    p.drawPixmap(QPoint(8, 3), fileIcon(path, iconsByType).pixmap(QSize(22, 22), dpr));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(36, 0, size.width() - 36, size.height()), Qt::AlignVCenter | Qt::AlignLeft, name);
    return pixmap;
}

QIcon fileIcon(const QString& path, QHash<QString, QIcon>& byType) {
    const QFileInfo info(path);
    if (!info.exists())
        return Icons::icon(QStringLiteral("doc.text"), SystemColors::white(0.6));
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    auto cached = byType.constFind(type.name());
    if (cached != byType.constEnd())
        return *cached;
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull())
        icon = Icons::icon(info.isDir() ? QStringLiteral("folder.fill") : QStringLiteral("doc.text"),
                           SystemColors::white(0.6));
    byType.insert(type.name(), icon);
    return icon;
}

// One entry: icon, name and folder, and its four buttons; dragging any other part of it drags the
// file out.
class ShelfRow : public QFrame {
public:
    ShelfRow(const ShelfItem& item, ShelfService& service, std::function<void(const QString&)> drag,
             QHash<QString, QIcon>& iconsByType, QWidget* parent)
        : QFrame(parent)
        , m_path(item.path)
        , m_drag(std::move(drag)) {
        setObjectName(QStringLiteral("shelfRow"));
        setStyleSheet(
            QStringLiteral("QFrame#shelfRow { background: rgba(255,255,255,0.05); border-radius: 7px; }"));
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(8, 4, 8, 4);
        row->setSpacing(8);

        auto* icon = new QLabel(this);
        icon->setObjectName(QStringLiteral("shelfIcon"));
        icon->setFixedSize(22, 22);
        icon->setPixmap(fileIcon(item.path, iconsByType).pixmap(QSize(22, 22), devicePixelRatioF()));
        row->addWidget(icon);

        const QFileInfo info(item.path);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* name =
            rowText(info.fileName(), Qt::ElideRight, pixelFont(11, QFont::DemiBold), Qt::white, this);
        name->setObjectName(QStringLiteral("shelfName"));
        auto* folder = rowText(info.path(), Qt::ElideLeft, pixelFont(8.5), SystemColors::white(0.35), this);
        folder->setObjectName(QStringLiteral("shelfFolder"));
        texts->addWidget(name);
        texts->addWidget(folder);
        row->addLayout(texts, 1);

        const ShelfItem entry = item;
        ShelfService* shelf = &service;
        row->addWidget(new IconButton(
            QStringLiteral("square.and.arrow.up"), ShelfTab::tr("Send via AirDrop"), Qt::white,
            [shelf, entry] { shelf->send(entry); }, this));
        row->addWidget(new IconButton(
            QStringLiteral("doc.on.doc"), ShelfTab::tr("Copy file"), Qt::white,
            [shelf, entry] { shelf->copy(entry); }, this));
        row->addWidget(new IconButton(
            QStringLiteral("magnifyingglass"), ShelfTab::tr("Show in Finder"), Qt::white,
            [shelf, entry] { shelf->reveal(entry); }, this));
        // Removing rebuilds the rows, this one included: leave the button's handler first.
        row->addWidget(new IconButton(
            QStringLiteral("xmark"), ShelfTab::tr("Remove from shelf"), Qt::white,
            [shelf, id = entry.id] {
                QMetaObject::invokeMethod(
                    shelf, [shelf, id] { shelf->remove(id); }, Qt::QueuedConnection);
            },
            this));
    }

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            m_pressAt = e->position().toPoint();
        QFrame::mousePressEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!(e->buttons() & Qt::LeftButton) ||
            (e->position().toPoint() - m_pressAt).manhattanLength() < QApplication::startDragDistance())
            return;
        // A copy: the call runs the drag, during which this row must not be touched.
        const auto drag = m_drag;
        drag(m_path);
    }

private:
    QString m_path;
    std::function<void(const QString&)> m_drag;
    QPoint m_pressAt;
};

} // namespace

ShelfTab::ShelfTab(ShelfService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_runDrag([](QDrag& drag, Qt::DropActions actions) { return drag.exec(actions, Qt::CopyAction); }) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    QScrollArea* scroll = ScrollPage::create(this, ScrollPage::Clear::everything);
    outer->addWidget(scroll);

    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 8, 0, 0);
    stack->setSpacing(3);

    auto* header = new QHBoxLayout;
    auto* caption = new SectionTitle(tr("DROP FILES ANYWHERE IN THE ISLAND"), content);
    // Centred on the button beside it: no room above, as a caption over rows has.
    caption->setContentsMargins(0, 0, 0, 0);
    header->addWidget(caption);
    header->addStretch(1);
    auto* trash = new IconButton(
        QStringLiteral("trash"), tr("Empty the shelf"), Qt::white,
        [this] {
            QMetaObject::invokeMethod(
                &m_service, [s = &m_service] { s->clear(); }, Qt::QueuedConnection);
        },
        content);
    trash->setObjectName(QStringLiteral("shelfTrash"));
    m_trash = trash;
    header->addWidget(trash);
    stack->addLayout(header);

    m_empty = new QWidget(content);
    m_empty->setObjectName(QStringLiteral("shelfEmpty"));
    auto* empty = new QVBoxLayout(m_empty);
    empty->setContentsMargins(0, 30, 0, 30);
    empty->setSpacing(8);
    auto* tray = new QLabel(m_empty);
    tray->setAlignment(Qt::AlignCenter);
    tray->setPixmap(Icons::pixmap(QStringLiteral("tray.and.arrow.down"), QSize(26, 26),
                                  SystemColors::white(0.25), devicePixelRatioF()));
    auto* hint = new QLabel(
        tr("Drag files to the notch and drop them here.\nThen drag them out, AirDrop them, or copy."),
        m_empty);
    hint->setTextFormat(Qt::PlainText);
    hint->setAlignment(Qt::AlignCenter);
    hint->setFont(pixelFont(10));
    hint->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.4);"));
    empty->addWidget(tray);
    empty->addWidget(hint);
    stack->addWidget(m_empty);

    m_rows = new QWidget(content);
    m_rowsLayout = new QVBoxLayout(m_rows);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(3);
    stack->addWidget(m_rows);
    stack->addStretch(1);
    ScrollPage::setContent(scroll, content);

    connect(&m_service, &ShelfService::itemsChanged, this, &ShelfTab::rebuild);
    rebuild();
}

void ShelfTab::rebuild() {
    if (m_dragging) {
        m_rebuildPending = true; // the dragged row must outlive its drag
        return;
    }
    m_rebuildPending = false;
    const QList<ShelfItem>& items = m_service.items();
    m_trash->setVisible(!items.isEmpty());
    m_empty->setVisible(items.isEmpty());
    while (QLayoutItem* old = m_rowsLayout->takeAt(0)) {
        delete old->widget();
        delete old;
    }
    for (const ShelfItem& item : items)
        m_rowsLayout->addWidget(new ShelfRow(
            item, m_service, [this](const QString& p) { startDrag(p); }, m_iconsByType, m_rows));
}

void ShelfTab::startDrag(const QString& path) {
    // Copy only: a file manager that took a move would take the user's file away from where it lives.
    if (m_lastDrag)
        m_lastDrag->deleteLater();
    auto* drag = new QDrag(this);
    m_lastDrag = drag;
    drag->setMimeData(ShelfService::fileMimeData(path));
    drag->setPixmap(dragImage(path, devicePixelRatioF(), m_iconsByType));
    drag->setHotSpot(QPoint(12, 14));
    m_dragging = true;
    m_service.setDraggingOut(true);
    m_runDrag(*drag, Qt::CopyAction);
    m_service.setDraggingOut(false);
    m_dragging = false;
    if (m_rebuildPending)
        QMetaObject::invokeMethod(this, &ShelfTab::rebuild, Qt::QueuedConnection);
}
