// Painting and animation of the island. The shape is painted; the dashboard and the wing items are
// child widgets. While the dashboard enters or leaves, a snapshot of it is painted scaled and faded.
#include "views/NotchView.h"

#include "services/AIUsageService.h"
#include "services/AgentsService.h"
#include "services/CommandsService.h"
#include "services/DashboardModel.h"
#include "services/HUDService.h"
#include "services/MediaService.h"
#include "services/PomodoroService.h"
#include "services/SettingsService.h"
#include "views/EmptyHint.h"
#include "views/IslandIndicatorsView.h"

#include <QGraphicsOpacityEffect>
#include <QLayout>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcIslandFrames, "quillbay.island.frames", QtWarningMsg)

namespace {

constexpr double kExpandResponse = 0.32, kExpandDamping = 0.65;
constexpr double kCollapseResponse = 0.24, kCollapseDamping = 0.95;
constexpr double kWingResponse = 0.3, kWingDamping = 0.8;
constexpr double kContentResponse = 0.32, kContentDamping = 0.7;
constexpr int kContentDelayMs = 60;
constexpr double kShadowRadius = 14, kShadowOffsetY = 6, kShadowOpacity = 0.5;
constexpr int kShadowPad = 28;
constexpr int kFrameMs = 16;
// The most one frame may move the springs on: two frames at 60 Hz.
constexpr double kMaxFrameStep = 0.033;

} // namespace

// Square top corners, bottom corners rounded with a gradual (continuous-curvature-like) bend.
QPainterPath NotchView::islandPath(const QRectF& r, double radius) {
    const double e = std::min({radius * 1.28, r.width() / 2.0, r.height()});
    const double c = e * 0.3; // control points close to the corner keep the bend gentle at its ends
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.topRight());
    path.lineTo(r.right(), r.bottom() - e);
    path.cubicTo(r.right(), r.bottom() - c, r.right() - c, r.bottom(), r.right() - e, r.bottom());
    path.lineTo(r.left() + e, r.bottom());
    path.cubicTo(r.left() + c, r.bottom(), r.left(), r.bottom() - c, r.left(), r.bottom() - e);
    path.closeSubpath();
    return path;
}

namespace {

// Three passes of a box blur over an alpha-only image approximate a Gaussian.
void blurAlpha(QImage& img, int radius) {
    const int w = img.width(), h = img.height();
    std::vector<int> line(std::max(w, h)), out(std::max(w, h));
    auto pass = [&](int n, auto get, auto set) {
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < n; ++i)
                line[i] = get(i);
            int sum = 0;
            for (int i = -radius; i <= radius; ++i)
                sum += line[std::clamp(i, 0, n - 1)];
            for (int i = 0; i < n; ++i) {
                out[i] = sum / (2 * radius + 1);
                sum += line[std::clamp(i + radius + 1, 0, n - 1)] - line[std::clamp(i - radius, 0, n - 1)];
            }
            for (int i = 0; i < n; ++i)
                line[i] = out[i];
            if (round == 2)
                for (int i = 0; i < n; ++i)
                    set(i, line[i]);
        }
    };
    for (int y = 0; y < h; ++y) {
        uchar* row = img.scanLine(y);
        pass(
            w, [&](int x) { return int(row[x]); }, [&](int x, int a) { row[x] = uchar(a); });
    }
    for (int x = 0; x < w; ++x) {
        pass(
            h, [&](int y) { return int(img.scanLine(y)[x]); },
            [&](int y, int a) { img.scanLine(y)[x] = uchar(a); });
    }
}

} // namespace

NotchView::NotchView(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    m_clock.start();

    m_frames.setInterval(kFrameMs);
    m_frames.setTimerType(Qt::PreciseTimer);
    connect(&m_frames, &QTimer::timeout, this, &NotchView::frame);
    m_contentDelay.setSingleShot(true);
    m_contentDelay.setInterval(kContentDelayMs);
    connect(&m_contentDelay, &QTimer::timeout, this, [this] {
        if (m_metrics.isExpanded)
            startContentTransition(true, false);
    });

    m_indicators = new IslandIndicatorsView(this);
    m_indicators->hide();
    connect(m_indicators, &IslandIndicatorsView::pomodoroToggleRequested, this,
            &NotchView::pomodoroToggleRequested);
    connect(m_indicators, &IslandIndicatorsView::playPauseRequested, this, &NotchView::playPauseRequested);
    connect(m_indicators, &IslandIndicatorsView::openSourceRequested, this, &NotchView::openSourceRequested);

    setContent(new EmptyHint(QString()));
    m_width.jump(collapsedWidth());
    m_height.jump(m_metrics.collapsedSize.height());
}

NotchView::~NotchView() = default;

void NotchView::setWindowPixels(WindowPixels* pixels) {
    m_indicators->setWindowPixels(pixels);
}

IslandInputs NotchView::inputsFrom(const DashboardModel& model) {
    IslandInputs in;
    in.indicatorsActive = model.indicatorsActive();
    in.simulateNotch = model.settings().simulateNotch();
    in.track = model.media().track();
    in.elapsedSeconds = model.media().elapsedSeconds();
    in.hud = model.hud().current();
    in.pomodoroRunning = model.pomodoro().isRunning();
    in.pomodoroPhase = model.pomodoro().phase();
    in.pomodoroTime = model.pomodoro().formattedTime();
    in.aiHot = model.aiHot();
    in.anyWaiting = model.agents().anyWaiting();
    in.anyCrashed = !model.commands().crashedIDs().isEmpty();
    in.runningCount = int(model.commands().runningIDs().size());
    return in;
}

void NotchView::observe(DashboardModel& model) {
    QPointer<DashboardModel> source(&model);
    auto refresh = [this, source] {
        if (source)
            setInputs(inputsFrom(*source));
    };
    // The model re-sends the media, timer, level and news notices; the rest are observed directly.
    connect(&model, &DashboardModel::changed, this, refresh);
    connect(&model.commands(), &CommandsService::runningIDsChanged, this, refresh);
    connect(&model.commands(), &CommandsService::crashedIDsChanged, this, refresh);
    connect(&model.ai(), &AIUsageService::providersChanged, this, refresh);
    connect(&model.agents(), &AgentsService::sessionsChanged, this, refresh);
    connect(&model.settings(), &SettingsService::simulateNotchChanged, this, refresh);
    connect(this, &NotchView::pomodoroToggleRequested, &model.pomodoro(), &PomodoroService::toggle);
    connect(this, &NotchView::playPauseRequested, &model.media(), &MediaService::playPause);
    connect(this, &NotchView::openSourceRequested, &model.media(), &MediaService::openSource);
    refresh();
}

QSize NotchView::sizeHint() const {
    const double pad = 24;
    return QSize(int(m_metrics.expandedSize.width() + 2 * pad), int(m_metrics.expandedSize.height() + pad));
}

double NotchView::now() const {
    return m_animTime;
}

void NotchView::advanceClock() {
    const qint64 ns = m_clock.nsecsElapsed();
    m_animTime += std::min(double(ns - m_lastFrameNs) / 1e9, kMaxFrameStep);
    m_lastFrameNs = ns;
}

double NotchView::collapsedWidth() const {
    return m_metrics.collapsedSize.width() + 2.0 * m_wing;
}

QRectF NotchView::islandRect() const {
    const double t = now();
    const double w = m_width.value(t), h = m_height.value(t);
    return QRectF((width() - w) / 2.0, 0.0, w, h);
}

double NotchView::expansion(double t) const {
    const double from = m_metrics.collapsedSize.height(), to = m_metrics.expandedSize.height();
    if (to <= from)
        return m_metrics.isExpanded ? 1.0 : 0.0;
    return std::clamp((m_height.value(t) - from) / (to - from), 0.0, 1.0);
}

bool NotchView::solid() const {
    // An idle island on a screen without a notch is all but invisible.
    return m_metrics.hasPhysicalNotch || m_inputs.simulateNotch || m_inputs.indicatorsActive;
}

bool NotchView::isAnimating() const {
    const double t = now();
    return !(m_width.settled(t) && m_height.settled(t) && m_contentProgress.settled(t) &&
             m_indicatorOpacity.settled(t)) ||
           m_contentDelay.isActive();
}

void NotchView::setContent(QWidget* content) {
    if (m_content == content)
        return;
    delete m_content;
    m_content = content;
    m_contentSnapshot = QPixmap();
    if (m_content) {
        m_content->setParent(this);
        m_content->setVisible(m_metrics.isExpanded && m_contentProgress.target() == 1.0 &&
                              m_contentProgress.settled(now()));
    }
    layoutChildren();
}

void NotchView::prepareContent() {
    shadowImage(); // the blur is the largest single cost of the first expanded frame
    if (!m_content)
        return;
    m_content->ensurePolished();
    for (QWidget* child : m_content->findChildren<QWidget*>())
        child->ensurePolished();
    if (QLayout* layout = m_content->layout())
        layout->activate();
    QPixmap scratch(m_content->size() * devicePixelRatioF());
    scratch.setDevicePixelRatio(devicePixelRatioF());
    scratch.fill(Qt::transparent);
    m_content->render(&scratch, QPoint(), QRegion(), QWidget::DrawChildren);
}

void NotchView::setMetrics(const IslandMetrics& metrics) {
    if (metrics == m_metrics)
        return;
    const bool expandedChanged = metrics.isExpanded != m_metrics.isExpanded;
    m_metrics = metrics;
    if (expandedChanged) {
        if (m_metrics.isExpanded)
            retargetFrame(kExpandResponse, kExpandDamping);
        else
            retargetFrame(kCollapseResponse, kCollapseDamping);
        startContentTransition(m_metrics.isExpanded, m_metrics.isExpanded);
    } else {
        // A new screen: take its sizes at once rather than animating across screens.
        m_width.jump(m_metrics.isExpanded ? m_metrics.expandedSize.width() : collapsedWidth());
        m_height.jump(m_metrics.isExpanded ? m_metrics.expandedSize.height()
                                           : m_metrics.collapsedSize.height());
        m_shadow = QImage();
    }
    m_indicators->setInputs(m_inputs, m_metrics.collapsedSize.width());
    layoutChildren();
    ensureAnimating();
    update();
}

void NotchView::setInputs(const IslandInputs& inputs) {
    if (inputs == m_inputs)
        return;
    const bool wasActive = m_inputs.indicatorsActive;
    const bool wasSolid = solid();
    m_inputs = inputs;
    const int wing = IslandLayout::compute(m_inputs).wing;
    m_indicators->setInputs(m_inputs, m_metrics.collapsedSize.width());
    const bool wingChanged = wing != m_wing;
    if (wingChanged) {
        m_wing = wing;
        if (!m_metrics.isExpanded)
            m_width.retarget(collapsedWidth(), kWingResponse, kWingDamping, now());
    }
    if (wasActive != m_inputs.indicatorsActive && !m_metrics.isExpanded)
        m_indicatorOpacity.retarget(m_inputs.indicatorsActive ? 1.0 : 0.0, kWingResponse, kWingDamping,
                                    now());
    layoutChildren();
    ensureAnimating();
    // The shape itself is repainted only when it looks different; a changed wing item (the elapsed
    // second, a level) repaints its own small rectangle.
    if (wingChanged || wasSolid != solid())
        update();
    emit inputsChanged();
}

void NotchView::retargetFrame(double response, double damping) {
    const double t = now();
    const bool expanded = m_metrics.isExpanded;
    m_width.retarget(expanded ? m_metrics.expandedSize.width() : collapsedWidth(), response, damping, t);
    m_height.retarget(expanded ? m_metrics.expandedSize.height() : m_metrics.collapsedSize.height(), response,
                      damping, t);
    m_indicatorOpacity.retarget(!expanded && m_inputs.indicatorsActive ? 1.0 : 0.0, response, damping, t);
}

void NotchView::startContentTransition(bool entering, bool delayed) {
    m_contentDelay.stop();
    if (delayed && Animations::enabled()) {
        // The dashboard follows the growing shape a moment later.
        m_contentDelay.start();
        return;
    }
    if (m_content && Animations::enabled()) {
        // Entering always takes a fresh picture: the dashboard may have changed while it was hidden
        // (the palette closed with the island, another tab chosen).
        if (entering || m_content->isVisible() || m_contentSnapshot.isNull()) {
            // Without the widget's window background: the island's black shows through, as it does live.
            const qreal dpr = devicePixelRatioF();
            QPixmap snapshot(m_content->size() * dpr);
            snapshot.setDevicePixelRatio(dpr);
            snapshot.fill(Qt::transparent);
            m_content->render(&snapshot, QPoint(), QRegion(), QWidget::DrawChildren);
            m_contentSnapshot = snapshot;
        }
        m_content->hide();
    }
    m_contentProgress.retarget(entering ? 1.0 : 0.0, kContentResponse, kContentDamping, now());
    frame();
}

void NotchView::ensureAnimating() {
    setFramesRunning(isAnimating());
}

void NotchView::setFramesRunning(bool running) {
    if (running == m_frames.isActive())
        return;
    if (!running) {
        m_frames.stop();
        emit animatingChanged(false);
        return;
    }
    // Time spent at rest moves nothing. The first frame is drawn now, one frame's step on, from the
    // event that started the motion: waiting for the timer would leave a frame's time unchanged on screen.
    m_lastFrameNs = m_clock.nsecsElapsed() - kFrameMs * 1'000'000;
    m_frames.start();
    emit animatingChanged(true);
    frame();
}

void NotchView::frame() {
    if (m_frames.isActive())
        advanceClock();
    const double t = now();
    if (m_content) {
        const bool shown =
            m_metrics.isExpanded && m_contentProgress.target() == 1.0 && m_contentProgress.settled(t);
        if (shown != m_content->isVisible()) {
            m_content->setVisible(shown);
            if (shown)
                m_contentSnapshot = QPixmap();
        }
    }
    layoutChildren();
    update();
    qCDebug(lcIslandFrames, "frame %.1f x %.1f at %lld ms", m_width.value(t), m_height.value(t),
            m_clock.elapsed());
    if (!isAnimating())
        setFramesRunning(false);
}

void NotchView::resizeEvent(QResizeEvent*) {
    layoutChildren();
}

void NotchView::layoutChildren() {
    const double t = now();
    const QRectF island = islandRect();
    const double top = m_metrics.collapsedSize.height();
    const QSizeF full = m_metrics.expandedSize;
    const QRect contentRect(int(std::lround((width() - full.width()) / 2.0)), int(top), int(full.width()),
                            int(std::max(0.0, full.height() - top)));
    if (m_content && m_content->geometry() != contentRect)
        m_content->setGeometry(contentRect);

    // The wings follow the shape's width, so they slide out with it. A settled fade counts as done:
    // the spring's last invisible remainder would otherwise keep the opacity effect, which redraws the
    // whole wing for every change of any item in it (a pulse frame, the elapsed second).
    const double opacity = m_indicatorOpacity.settled(t) ? std::clamp(m_indicatorOpacity.target(), 0.0, 1.0)
                                                         : std::clamp(m_indicatorOpacity.value(t), 0.0, 1.0);
    const bool showIndicators =
        opacity > 0.0 && (m_inputs.indicatorsActive || !m_indicatorOpacity.settled(t));
    const QRect row(int(std::lround(island.x())), 0, int(std::lround(island.width())),
                    int(m_metrics.collapsedSize.height()));
    if (m_indicators->geometry() != row)
        m_indicators->setGeometry(row);
    if (opacity >= 1.0) {
        if (m_indicators->graphicsEffect())
            m_indicators->setGraphicsEffect(nullptr);
    } else {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_indicators->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(m_indicators);
            m_indicators->setGraphicsEffect(effect);
        }
        effect->setOpacity(opacity);
    }
    m_indicators->setVisible(showIndicators);
}

const QImage& NotchView::shadowImage() {
    const QSizeF size = m_metrics.expandedSize;
    if (m_shadow.isNull() || m_shadowFor != size) {
        // Alpha only: it is drawn as black, and a quarter of the colour image it would otherwise be
        // stays in memory for as long as the program runs.
        m_shadow = QImage(QSize(int(size.width()) + 2 * kShadowPad, int(size.height()) + 2 * kShadowPad),
                          QImage::Format_Alpha8);
        m_shadow.fill(Qt::transparent);
        QPainter p(&m_shadow);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(islandPath(QRectF(QPointF(kShadowPad, kShadowPad), size), 24), Qt::black);
        p.end();
        blurAlpha(m_shadow, int(kShadowRadius / 2));
        m_shadowFor = size;
    }
    return m_shadow;
}

void NotchView::paintEvent(QPaintEvent*) {
    const double t = now();
    const QRectF r = islandRect();
    if (r.width() <= 0 || r.height() <= 0)
        return;
    const double progress = expansion(t);
    const double radius = 10.0 + 14.0 * progress;

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);

    if (progress > 0.0) {
        const QImage& shadow = shadowImage();
        // The blurred expanded shape, stretched to the current size, stands in for a live shadow.
        const double sx = r.width() / m_metrics.expandedSize.width();
        const double sy = r.height() / m_metrics.expandedSize.height();
        const QRectF target(r.x() - kShadowPad * sx, r.y() - kShadowPad * sy + kShadowOffsetY,
                            shadow.width() * sx, shadow.height() * sy);
        p.setOpacity(kShadowOpacity * progress);
        p.drawImage(target, shadow);
    }

    const double collapsedOpacity = solid() ? 1.0 : 0.001;
    p.setOpacity(collapsedOpacity + (1.0 - collapsedOpacity) * progress);
    p.fillPath(islandPath(r, radius), Qt::black);

    const double c = std::clamp(m_contentProgress.value(t), 0.0, 1.5);
    if (!m_contentSnapshot.isNull() && m_content && !m_content->isVisible() && c > 0.0) {
        const QRectF area = m_content->geometry();
        const double scale = std::max(0.0, 0.4 + 0.6 * c);
        const QSizeF size = QSizeF(area.size()) * scale;
        const QRectF target(area.center().x() - size.width() / 2.0, area.top(), size.width(), size.height());
        p.setOpacity(std::min(1.0, c));
        p.setClipPath(islandPath(r, radius));
        p.drawPixmap(target, m_contentSnapshot, QRectF(m_contentSnapshot.rect()));
    }
}
