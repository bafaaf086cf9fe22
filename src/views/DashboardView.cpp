// Layout and behaviour of the expanded island's dashboard.
#include "views/DashboardView.h"

#include "services/CameraService.h"
#include "services/CommandsService.h"
#include "services/CustomTabsService.h"
#include "services/DashboardModel.h"
#include "services/PaletteActions.h"
#include "services/SettingsService.h"
#include "services/ShelfService.h"
#include "services/TelemetryService.h"
#include "views/AppQuit.h"
#include "views/Icons.h"
#include "views/PaletteOverlay.h"
#include "views/PaletteView.h"
#include "views/SystemColors.h"
#include "views/TabStrip.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The settings and quit buttons: a 12-pixel symbol, 6 around it, white at 0.55.
class BarButton final : public QAbstractButton {
public:
    BarButton(const QString& symbol, const QString& help, QWidget* parent)
        : QAbstractButton(parent)
        , m_symbol(symbol) {
        setToolTip(help);
        setAccessibleName(help);
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(24, 24);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawPixmap(QPoint(6, 6),
                     Icons::pixmap(m_symbol, QSize(12, 12), SystemColors::white(0.55), devicePixelRatioF()));
    }

private:
    QString m_symbol;
};

bool isDragEvent(QEvent::Type type) {
    return type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop;
}

} // namespace

DashboardView::DashboardView(DashboardModel& model, QWidget* parent)
    : DashboardView(model, &makeTabView, parent) {}

DashboardView::DashboardView(DashboardModel& model, TabViewFactory factory, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_factory(std::move(factory)) {
    setAcceptDrops(true);
    // Drops anywhere on the island land here, also over children that take text drops themselves.
    qApp->installEventFilter(this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_strip = new TabStrip(this);
    connect(m_strip, &TabStrip::tabPressed, this, &DashboardView::pressTab);
    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(14, 6, 14, 0);
    barRow->setSpacing(6);
    barRow->addWidget(m_strip, 1);
    auto* settings = new BarButton(QStringLiteral("gearshape"), tr("Configurações"), this);
    auto* quit = new BarButton(QStringLiteral("power"), tr("Quit Quillbay"), this);
    barRow->addWidget(settings);
    barRow->addWidget(quit);
    column->addLayout(barRow);
    connect(settings, &QAbstractButton::clicked, this, [this] { m_model.openSettings(); });
    connect(quit, &QAbstractButton::clicked, this, &DashboardView::quit);

    m_contentLayout = new QVBoxLayout;
    m_contentLayout->setContentsMargins(14, 0, 14, 10);
    m_contentLayout->setSpacing(0);
    column->addLayout(m_contentLayout, 1);

    installPalette();

    connect(&m_model, &DashboardModel::tabChanged, this, [this] {
        m_strip->setCurrent(m_model.tab());
        showSelectedContent();
        m_strip->scrollTo(m_model.tab());
    });
    // The tab bar follows every change notice; the content only a change of selection (or of the
    // selected custom tab's existence), so that a tab's view and its state are not rebuilt each time.
    connect(&m_model, &DashboardModel::changed, this, &DashboardView::syncTabButtons);
    connect(&m_model.customTabs(), &CustomTabsService::tabsChanged, this, [this] {
        syncTabButtons();
        if (m_model.tab().isCustom() &&
            m_model.customTabs().tab(m_model.tab().uuid()).has_value() != m_contentTabExisted)
            showSelectedContent();
    });
    connect(&m_model, &DashboardModel::paletteOpenChanged, this,
            [this] { m_palette->setOpen(m_model.paletteOpen()); });
    PaletteView* list = m_palette->palette();
    connect(&m_model.commands(), &CommandsService::runningIDsChanged, list, &PaletteView::refresh);
    connect(&m_model.commands(), &CommandsService::commandsChanged, list, &PaletteView::refresh);
    connect(&m_model.camera(), &CameraService::isActiveChanged, list, &PaletteView::refresh);
    connect(&m_model, &DashboardModel::changed, list, [list] {
        if (list->isVisible())
            list->refresh();
    });

    syncTabButtons();
    showSelectedContent();
    m_palette->setOpen(m_model.paletteOpen());
}

DashboardView::~DashboardView() = default;

std::optional<DashboardView::TabInfo> DashboardView::tabInfo(const TabSelection& selection) const {
    if (selection.isBuiltin())
        return TabInfo{selection.tab().rawValue(), selection.tab().icon()};
    const std::optional<CustomTab> tab = m_model.customTabs().tab(selection.uuid());
    if (!tab)
        return std::nullopt;
    return TabInfo{tab->name, tab->kind == CustomTab::Kind::web ? QStringLiteral("globe")
                                                                : QStringLiteral("terminal.fill")};
}

void DashboardView::syncTabButtons() {
    QList<TabStrip::Entry> tabs;
    for (const TabSelection& selection : m_model.visibleTabs()) {
        if (const std::optional<TabInfo> info = tabInfo(selection))
            tabs.append({selection, info->title, info->icon});
    }
    m_strip->setTabs(tabs);
    m_strip->setCurrent(m_model.tab());
}

QAbstractButton* DashboardView::tabButton(const TabSelection& selection) const {
    return m_strip->button(selection);
}

QScrollArea* DashboardView::tabScroll() const {
    return m_strip;
}

PaletteView* DashboardView::palette() const {
    return m_palette->palette();
}

void DashboardView::pressTab(const TabSelection& selection) {
    m_model.setTab(selection);
    // Every press counts, also one on the tab already selected.
    m_model.telemetry().tabUsed(selection.telemetryID());
}

void DashboardView::takeKeyboard() {
    if (m_model.paletteOpen()) {
        m_palette->palette()->takeKeyboard();
        return;
    }
    const QWidget* current = window()->focusWidget();
    if (m_content && current && m_content->isAncestorOf(current) && current->isVisibleTo(m_content) &&
        current->isEnabled())
        return;
    if (QWidget* field = firstTextField())
        field->setFocus(Qt::OtherFocusReason);
    else if (m_content)
        // Nothing to type into: the tab itself, rather than a stale field (not this widget, which the
        // island hides while it opens, and a hidden widget cannot take the focus).
        m_content->setFocus(Qt::OtherFocusReason);
}

QWidget* DashboardView::firstTextField() const {
    if (!m_content)
        return nullptr;
    // The focus chain runs through the whole window; stop once it has come round.
    for (QWidget* w = m_content->nextInFocusChain(); w && w != m_content; w = w->nextInFocusChain()) {
        if (!m_content->isAncestorOf(w))
            continue;
        if (w->isEnabled() && w->isVisibleTo(m_content) && (w->focusPolicy() & Qt::TabFocus) &&
            w->testAttribute(Qt::WA_InputMethodEnabled))
            return w;
    }
    return nullptr;
}

void DashboardView::showSelectedContent() {
    const TabSelection selection = m_model.tab();
    // A tab chosen from the keyboard (the palette) keeps the keyboard in the dashboard.
    const QWidget* focused = window()->focusWidget();
    const bool hadKeyboard = focused && (focused == this || isAncestorOf(focused));
    if (m_content) {
        m_contentLayout->removeWidget(m_content);
        // Later: the old view may be the sender of what brought us here.
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = m_factory(selection, m_model, this);
    m_contentTabExisted = selection.isBuiltin() || m_model.customTabs().tab(selection.uuid()).has_value();
    if (!m_content)
        m_content = new QWidget(this); // a custom tab that no longer exists shows nothing
    m_contentLayout->addWidget(m_content);
    m_content->show();
    if (m_palette)
        m_palette->bringToFront();
    if (hadKeyboard && !m_model.paletteOpen())
        takeKeyboard();
}

void DashboardView::setQuitHandler(std::function<void(int)> handler) {
    m_quitHandler = std::move(handler);
}

void DashboardView::quit() {
    const int running = int(m_model.commands().runningIDs().size());
    if (m_quitHandler)
        m_quitHandler(running);
    else
        AppQuit::confirmAndTerminate(running, this);
}

void DashboardView::installPalette() {
    QPointer<DashboardView> self(this);
    const PaletteActions actions(m_model, [self] {
        if (self)
            self->quit();
    });
    QPointer<DashboardModel> model(&m_model);
    m_palette = new PaletteOverlay([actions] { return actions.state(); }, actions.operations(),
                                   [model] {
                                       if (model)
                                           model->setPaletteOpen(false);
                                   },
                                   this);
}

QList<QUrl> DashboardView::localFiles(const QMimeData* mime) {
    QList<QUrl> files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        // text/uri-list also carries web addresses on X11; the shelf holds files only.
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files << url;
    }
    return files;
}

bool DashboardView::handleFileDrop(const QMimeData* mime) {
    const QList<QUrl> files = localFiles(mime);
    if (files.isEmpty())
        return false;
    for (const QUrl& url : files) {
        // One call per file, from the event loop; tied to the model so that a closing island loses nothing.
        QPointer<DashboardModel> model(&m_model);
        QTimer::singleShot(0, &m_model, [model, url] {
            if (!model)
                return;
            model->shelf().add({url});
            model->setTab(TabSelection::shelf());
        });
    }
    return true;
}

bool DashboardView::eventFilter(QObject* watched, QEvent* event) {
    if (!isDragEvent(event->type()) || !watched->isWidgetType())
        return false;
    auto* target = static_cast<QWidget*>(watched);
    if (target != this && !isAncestorOf(target))
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (localFiles(drop->mimeData()).isEmpty())
        return false; // not ours: a text drop goes on to a field that wants it
    if (event->type() == QEvent::Drop) {
        drop->setDropAction(Qt::CopyAction);
        drop->setAccepted(handleFileDrop(drop->mimeData()));
    } else {
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
    }
    return true;
}
