#include "views/PomodoroTab.h"

#include "services/PomodoroService.h"
#include "views/ChipRow.h"
#include "views/IconButton.h"
#include "views/Icons.h"
#include "views/KitPanelStyle.h"
#include "views/SystemColors.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QColor accentOf(PomodoroPhase phase) {
    return phase == PomodoroPhase::focus ? SystemColors::red() : SystemColors::cyan();
}

using KitPanelStyle::CapsuleButton;
using KitPanelStyle::pixelFont;

// The start / pause capsule, filled with the phase's accent; its size is fixed.
constexpr CapsuleButton::Look kToggleLook{QSize(), 13, 5, 0};
constexpr qreal kToggleFillAlpha = 0.85;

} // namespace

// The ring with the time in its centre. Repainted alone on each change of the time.
class PomodoroRing : public QWidget {
public:
    explicit PomodoroRing(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(170, 170);
    }
    double progress = 0;
    QColor accent;
    QString time;
    QString title;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF circle = QRectF(rect()).adjusted(4, 4, -4, -4);
        QPen track(SystemColors::white(0.08), 8, Qt::SolidLine, Qt::FlatCap);
        p.setPen(track);
        p.drawEllipse(circle);
        // Qt counts angles anticlockwise from 3 o'clock in 1/16°: start at 12, run clockwise.
        QPen arc(accent, 8, Qt::SolidLine, Qt::RoundCap);
        p.setPen(arc);
        const double shown = std::clamp(progress, 0.002, 1.0);
        p.drawArc(circle, 90 * 16, -int(shown * 360 * 16));

        QFont timeFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        timeFont.setPixelSize(34);
        timeFont.setBold(true);
        const QFont titleFont = pixelFont(11, QFont::DemiBold);
        const int timeH = QFontMetrics(timeFont).height();
        const int titleH = QFontMetrics(titleFont).height();
        const int top = (height() - timeH - 3 - titleH) / 2;
        p.setFont(timeFont);
        p.setPen(Qt::white);
        p.drawText(QRect(0, top, width(), timeH), Qt::AlignCenter, time);
        p.setFont(titleFont);
        p.setPen(accent);
        p.drawText(QRect(0, top + timeH + 3, width(), titleH), Qt::AlignCenter, title);
    }
};

PomodoroTab::PomodoroTab(PomodoroService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(12);

    auto* top = new QHBoxLayout;
    m_chips = new ChipRow(this);
    m_chips->setObjectName(QStringLiteral("phases"));
    QList<ChipRow::Chip> chips;
    for (PomodoroPhase phase : {PomodoroPhase::focus, PomodoroPhase::rest}) {
        const QString title =
            tr("%@ · %lld min")
                .replace(QLatin1String("%@"), PomodoroService::rawValue(phase))
                .replace(QLatin1String("%lld"), QString::number(PomodoroService::length(phase) / 60));
        chips.append({title,
                      phase == PomodoroPhase::focus ? QStringLiteral("brain.head.profile")
                                                    : QStringLiteral("cup.and.saucer.fill"),
                      int(phase)});
    }
    m_chips->setChips(chips);
    connect(m_chips, &ChipRow::chosen, this, [this](int v) { m_service.select(PomodoroPhase(v)); });
    top->addWidget(m_chips);
    top->addStretch(1);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("count"));
    m_count->setFont(pixelFont(10, QFont::Normal));
    m_count->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.4); background: transparent;"));
    top->addWidget(m_count);
    column->addLayout(top);

    auto* main = new QHBoxLayout;
    main->setSpacing(28);
    main->addStretch(1);
    m_ring = new PomodoroRing(this);
    m_ring->setObjectName(QStringLiteral("ring"));
    main->addWidget(m_ring, 0, Qt::AlignVCenter);

    auto* controlsBox = new QWidget(this);
    controlsBox->setFixedWidth(180);
    auto* controls = new QVBoxLayout(controlsBox);
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(12);
    auto* toggle = new CapsuleButton(kToggleLook, controlsBox);
    m_toggle = toggle;
    m_toggle->setObjectName(QStringLiteral("toggle"));
    m_toggle->setFixedSize(110, QFontMetrics(pixelFont(13, QFont::DemiBold)).height() + 18);
    m_toggle->setFont(pixelFont(13, QFont::DemiBold));
    m_toggle->setCursor(Qt::PointingHandCursor);
    connect(m_toggle, &QPushButton::clicked, &m_service, &PomodoroService::toggle);
    controls->addWidget(m_toggle, 0, Qt::AlignHCenter);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch(1);
    auto* reset = new IconButton(
        QStringLiteral("arrow.counterclockwise"), tr("Reiniciar etapa"), Qt::white,
        [this] { m_service.reset(); }, controlsBox);
    reset->setObjectName(QStringLiteral("reset"));
    buttons->addWidget(reset);
    auto* skip = new IconButton(
        QStringLiteral("forward.end.fill"), tr("Move to the next stage"), Qt::white,
        [this] { m_service.skip(); }, controlsBox);
    skip->setObjectName(QStringLiteral("skip"));
    buttons->addWidget(skip);
    buttons->addStretch(1);
    controls->addLayout(buttons);
    m_hint = new QLabel(controlsBox);
    m_hint->setObjectName(QStringLiteral("hint"));
    m_hint->setAlignment(Qt::AlignHCenter);
    m_hint->setWordWrap(true);
    m_hint->setFont(pixelFont(10, QFont::Normal));
    m_hint->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.4); background: transparent;"));
    // As tall as the taller of its two texts: starting or pausing must not move the centred block.
    int hintHeight = 0;
    for (const QString& hint : {runningHint(), idleHint()})
        hintHeight = std::max(hintHeight, m_hint->fontMetrics()
                                              .boundingRect(QRect(0, 0, controlsBox->width(), 1000),
                                                            Qt::AlignHCenter | Qt::TextWordWrap, hint)
                                              .height());
    m_hint->setFixedHeight(hintHeight);
    controls->addWidget(m_hint);
    main->addWidget(controlsBox, 0, Qt::AlignVCenter);
    main->addStretch(1);
    column->addLayout(main, 1);

    connect(&m_service, &PomodoroService::changed, this, &PomodoroTab::refresh);
    refresh();
}

QString PomodoroTab::runningHint() {
    return tr("O timer continua com a ilha fechada.");
}

QString PomodoroTab::idleHint() {
    return tr("Inicie quando estiver pronto.");
}

void PomodoroTab::refresh() {
    const PomodoroPhase phase = m_service.phase();
    const QColor accent = accentOf(phase);
    m_chips->setCurrent(int(phase));
    const qint64 n = m_service.completedFocusSessions();
    const QString count =
        tr("^[%lld session](inflect: true) done", nullptr, int(std::min<qint64>(n, INT_MAX)))
            .replace(QLatin1String("%lld"), QString::number(n));
    if (m_count->text() != count)
        m_count->setText(count);

    m_ring->progress = m_service.progress();
    m_ring->accent = accent;
    m_ring->time = m_service.formattedTime();
    m_ring->title = PomodoroService::rawValue(phase);
    m_ring->setAccessibleName(m_ring->time + QLatin1Char(' ') + m_ring->title);
    m_ring->update();

    auto* toggle = static_cast<CapsuleButton*>(m_toggle);
    const bool running = m_service.isRunning();
    const QString label = running ? tr("Pausar") : tr("Start");
    const QString symbol = running ? QStringLiteral("pause.fill") : QStringLiteral("play.fill");
    QColor fill = accent;
    fill.setAlphaF(kToggleFillAlpha);
    if (toggle->text() != label || toggle->symbol() != symbol || toggle->fillColor() != fill) {
        toggle->setText(label);
        toggle->setSymbol(symbol);
        toggle->setFillColor(fill);
    }
    const QString hint = running ? runningHint() : idleHint();
    if (m_hint->text() != hint)
        m_hint->setText(hint);
}
