// Layout and behaviour of the expanded island's dashboard.
#include "views/DashboardView.h"

#include "model/DashboardModel.h"
#include "services/CameraService.h"
#include "services/ClipboardService.h"
#include "services/CommandsService.h"
#include "services/CustomTabsService.h"
#include "services/SettingsService.h"
#include "services/ShelfService.h"
#include "services/TelemetryService.h"
#include "services/UtilsState.h"
#include "views/AppQuit.h"
#include "views/Icons.h"
#include "views/PaletteView.h"
#include "views/Spring.h"
#include "views/SystemColors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEasingCurve>
#include <QHBoxLayout>
#include <QMimeData>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QFont pixelFont(int px, QFont::Weight weight = QFont::Normal) {
    QFont f;
    f.setPixelSize(px);
    f.setWeight(weight);
    return f;
}

// A tab of the bar: symbol and title on a capsule that is filled while the tab is selected. The checked
// state follows the model only; a press never toggles it by itself.
class TabButton final : public QAbstractButton {
public:
    TabButton(const QString& title, const QString& icon, QWidget* parent)
        : QAbstractButton(parent)
        , m_icon(icon) {
        setText(title);
        setCheckable(true);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setFont(pixelFont(11, QFont::DemiBold));
        setAccessibleName(title);
    }

    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        const int w = 10 + 11 + 4 + fm.horizontalAdvance(text()) + 10;
        return {qMax(58, w), qMax(11, fm.height()) + 10};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void nextCheckState() override {}

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(rect());
        if (isChecked()) {
            p.setPen(Qt::NoPen);
            p.setBrush(SystemColors::white(0.16));
            p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
        }
        const QColor colour = isChecked() ? QColor(Qt::white) : SystemColors::white(0.55);
        const QFontMetrics fm(font());
        const int contentWidth = 11 + 4 + fm.horizontalAdvance(text());
        int x = (width() - contentWidth) / 2;
        p.drawPixmap(QPoint(x, (height() - 11) / 2),
                     Icons::pixmap(m_icon, QSize(11, 11), colour, devicePixelRatioF()));
        x += 11 + 4;
        p.setPen(colour);
        p.drawText(QRect(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    QString m_icon;
};

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

} // namespace

// Plays the palette's entrance and exit over the dashboard: what lies beneath, and a picture of the
// palette fading while it grows from, or shrinks to, 0.96 of its size about its centre. Pictures
// rather than an effect on the live palette, whose scroll area X11 then leaves unpainted.
class PaletteTransition final : public QWidget {
public:
    explicit PaletteTransition(QWidget* parent)
        : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

    void setPictures(const QPixmap& under, const QPixmap& palette) {
        m_under = under;
        m_palette = palette;
        update();
    }
    qreal progress() const { return m_progress; }
    void setProgress(qreal progress) {
        m_progress = progress;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawPixmap(QPointF(0, 0), m_under);
        const qreal scale = 0.96 + 0.04 * m_progress;
        const QPointF centre = QRectF(rect()).center();
        p.setOpacity(m_progress);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.translate(centre);
        p.scale(scale, scale);
        p.translate(-centre);
        p.drawPixmap(QPointF(0, 0), m_palette);
    }

private:
    QPixmap m_under;
    QPixmap m_palette;
    qreal m_progress = 0.0;
};

namespace {

bool isDragEvent(QEvent::Type type) {
    return type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop;
}

} // namespace

DashboardView::DashboardView(DashboardModel& model, QWidget* parent)
    : DashboardView(model, TabViewFactory::standard(model), parent) {}

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
    buildBar();
    auto* barRow = new QHBoxLayout;
    barRow->setContentsMargins(14, 6, 14, 0);
    barRow->setSpacing(6);
    barRow->addWidget(m_scroll, 1);
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
        updateSelection();
        showSelectedContent();
        scrollToSelected();
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
    connect(&m_model, &DashboardModel::paletteOpenChanged, this, &DashboardView::syncPalette);
    connect(&m_model.commands(), &CommandsService::runningIDsChanged, m_palette, &PaletteView::refresh);
    connect(&m_model.commands(), &CommandsService::commandsChanged, m_palette, &PaletteView::refresh);
    connect(&m_model.camera(), &CameraService::isActiveChanged, m_palette, &PaletteView::refresh);
    connect(&m_model, &DashboardModel::changed, m_palette, [this] {
        if (m_palette->isVisible())
            m_palette->refresh();
    });

    syncTabButtons();
    showSelectedContent();
    syncPalette();
}

DashboardView::~DashboardView() = default;

void DashboardView::buildBar() {
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    m_strip = new QWidget(m_scroll);
    m_stripLayout = new QHBoxLayout(m_strip);
    m_stripLayout->setContentsMargins(0, 0, 0, 0);
    m_stripLayout->setSpacing(4);
    m_stripLayout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_scroll->setWidget(m_strip);
    // setWidget turns the background fill on; the strip must stay see-through on the black island.
    m_strip->setAutoFillBackground(false);
    m_scroll->setFixedHeight(QFontMetrics(pixelFont(11, QFont::DemiBold)).height() + 10);

    m_scrollAnimation = new QPropertyAnimation(m_scroll->horizontalScrollBar(), "value", this);
    m_scrollAnimation->setDuration(180);
    m_scrollAnimation->setEasingCurve(QEasingCurve::OutCubic);
}

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
    QList<TabSelection> tabs;
    QList<TabInfo> infos;
    QStringList keys;
    for (const TabSelection& selection : m_model.visibleTabs()) {
        const std::optional<TabInfo> info = tabInfo(selection);
        if (!info)
            continue;
        tabs << selection;
        infos << *info;
        keys << selection.id() + QLatin1Char('\n') + info->title + QLatin1Char('\n') + info->icon;
    }
    if (keys != m_buttonKeys) {
        qDeleteAll(m_buttons);
        m_buttons.clear();
        m_buttonTabs = tabs;
        m_buttonKeys = keys;
        for (int i = 0; i < tabs.size(); ++i) {
            auto* button = new TabButton(infos[i].title, infos[i].icon, m_strip);
            const TabSelection selection = tabs[i];
            connect(button, &QAbstractButton::clicked, this, [this, selection] { pressTab(selection); });
            m_stripLayout->addWidget(button);
            m_buttons << button;
        }
    }
    updateSelection();
}

void DashboardView::updateSelection() {
    const TabSelection current = m_model.tab();
    for (int i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setChecked(m_buttonTabs[i] == current);
}

QAbstractButton* DashboardView::tabButton(const TabSelection& selection) const {
    const qsizetype i = m_buttonTabs.indexOf(selection);
    return i < 0 ? nullptr : m_buttons[i];
}

void DashboardView::pressTab(const TabSelection& selection) {
    m_model.setTab(selection);
    // Every press counts, also one on the tab already selected.
    m_model.telemetry().tabUsed(selection.telemetryID());
}

void DashboardView::showSelectedContent() {
    const TabSelection selection = m_model.tab();
    if (m_content) {
        m_contentLayout->removeWidget(m_content);
        // Later: the old view may be the sender of what brought us here.
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = m_factory.make(selection, m_model, this);
    m_contentTabExisted = selection.isBuiltin() || m_model.customTabs().tab(selection.uuid()).has_value();
    if (!m_content)
        m_content = new QWidget(this); // a custom tab that no longer exists shows nothing
    m_contentLayout->addWidget(m_content);
    m_content->show();
    if (m_palette)
        m_palette->raise();
    if (m_paletteTransition)
        m_paletteTransition->raise();
}

void DashboardView::scrollToSelected() {
    QAbstractButton* button = tabButton(m_model.tab());
    if (!button)
        return;
    m_strip->layout()->activate();
    QScrollBar* bar = m_scroll->horizontalScrollBar();
    const int centre = button->geometry().center().x();
    const int target = qBound(bar->minimum(), centre - m_scroll->viewport()->width() / 2, bar->maximum());
    m_scrollAnimation->stop();
    if (!Animations::enabled() || !isVisible()) {
        bar->setValue(target);
        return;
    }
    m_scrollAnimation->setStartValue(bar->value());
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
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
    DashboardModel* model = &m_model;
    auto state = [model] {
        CommandPalette::State s;
        const QSet<QUuid>& running = model->commands().runningIDs();
        for (const SavedCommand& c : model->commands().commands())
            s.commands.append({c.id, c.name, c.command, running.contains(c.id)});
        s.cameraActive = model->camera().isActive();
        s.enabledTabs = model->settings().enabledTabs();
        for (const CustomTab& t : model->customTabs().enabledTabs())
            s.customTabs.append({t.id, t.name, t.kind == CustomTab::Kind::web});
        return s;
    };

    CommandPalette::Operations ops;
    QPointer<DashboardModel> guard(model);
    ops.toggleCommand = [guard](const QUuid& id) {
        if (!guard)
            return;
        CommandsService& commands = guard->commands();
        for (const SavedCommand& c : commands.commands()) {
            if (c.id != id)
                continue;
            // Decided now: the service may have stopped since the list was drawn.
            if (commands.runningIDs().contains(id))
                commands.stop(c);
            else
                commands.start(c);
            return;
        }
    };
    ops.grabScreenText = [guard] {
        if (!guard)
            return;
        guard->setTab(TabSelection::kit());
        guard->utils().captureAndOCR();
    };
    ops.detectClipboard = [guard] {
        if (!guard)
            return;
        guard->setTab(TabSelection::kit());
        if (const std::optional<QString> text = guard->clipboard().currentText()) {
            guard->utils().setTool(UtilsState::detectTool(*text));
            guard->utils().setInput(*text);
        }
    };
    ops.toggleCamera = [guard] {
        if (!guard)
            return;
        CameraService& camera = guard->camera();
        if (camera.isActive())
            camera.stop();
        else
            camera.start();
    };
    ops.openSettings = [guard] {
        if (guard)
            guard->openSettings();
    };
    QPointer<DashboardView> self(this);
    ops.quit = [self] {
        if (self)
            self->quit();
    };
    ops.selectTab = [guard](const TabSelection& selection) {
        if (guard)
            guard->setTab(selection);
    };

    m_palette = new PaletteView(
        state, ops,
        [guard] {
            if (guard)
                guard->setPaletteOpen(false);
        },
        this);
    m_palette->hide();
}

void DashboardView::syncPalette() {
    const bool open = m_model.paletteOpen();
    const bool transitionShown = m_paletteTransition && !m_paletteTransition->isHidden();
    const qreal from = transitionShown ? m_paletteTransition->progress() : (open ? 0.0 : 1.0);
    if (m_paletteFade)
        m_paletteFade->stop();
    if (m_paletteTransition)
        m_paletteTransition->hide();
    if (open) {
        // Every opening starts afresh, also after a close by the hot key or the island collapsing,
        // which do not go through the palette.
        m_palette->setQuery(QString());
        m_palette->setGeometry(rect());
        m_palette->raise();
    } else if (m_palette->isHidden() && !transitionShown) {
        // Not isVisible(): with the island collapsed first, the palette is unseen yet still shown, and
        // would come back with the next opening.
        return;
    }
    if (!Animations::enabled() || !isVisible()) {
        // Hidden, never deleted: this may run inside one of the palette's own handlers.
        m_palette->setVisible(open);
        return;
    }

    const QRect area(mapTo(window(), QPoint(0, 0)), size());
    QPixmap under;
    QPixmap picture;
    if (open) {
        m_palette->hide();
        under = window()->grab(area);
        m_palette->show(); // takes the keyboard at once, so nothing typed meanwhile is lost
        // The rows were just filled in: lay them out before the picture is taken.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        picture = m_palette->grab();
    } else {
        picture = m_palette->grab();
        m_palette->hide();
        under = window()->grab(area);
    }
    if (!m_paletteTransition)
        m_paletteTransition = new PaletteTransition(this);
    m_paletteTransition->setGeometry(rect());
    m_paletteTransition->setPictures(under, picture);
    m_paletteTransition->setProgress(from);
    m_paletteTransition->show();
    m_paletteTransition->raise();

    m_paletteFade = new QVariantAnimation(m_paletteTransition);
    m_paletteFade->setDuration(150);
    m_paletteFade->setEasingCurve(QEasingCurve::OutCubic);
    m_paletteFade->setStartValue(from);
    m_paletteFade->setEndValue(open ? 1.0 : 0.0);
    PaletteTransition* transition = m_paletteTransition;
    connect(m_paletteFade, &QVariantAnimation::valueChanged, transition,
            [transition](const QVariant& value) { transition->setProgress(value.toReal()); });
    connect(m_paletteFade, &QAbstractAnimation::finished, transition, [transition] {
        transition->hide();
        transition->setPictures(QPixmap(), QPixmap());
    });
    m_paletteFade->start(QAbstractAnimation::DeleteWhenStopped);
}

void DashboardView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_palette->setGeometry(rect());
    if (m_paletteTransition)
        m_paletteTransition->setGeometry(rect());
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
