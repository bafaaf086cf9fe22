// AI tab: rebuilt whenever the cards, the loading state or the sessions change.
#include "views/AITab.h"

#include "services/AIUsageService.h"
#include "services/AgentsService.h"
#include "views/BlockBar.h"
#include "views/EmptyHint.h"
#include "views/ScrollPage.h"
#include "views/SectionTitle.h"
#include "views/StatusDot.h"
#include "views/SystemColors.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cmath>

namespace {

QColor teal() {
    return QColor(64, 200, 224);
}

QString rgba(const QColor& c) {
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

// A rounded, faintly filled panel behind a row or a card.
class Panel : public QWidget {
public:
    Panel(qreal radius, QWidget* parent)
        : QWidget(parent)
        , m_radius(radius) {
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), m_radius, m_radius);
        p.fillPath(path, SystemColors::white(0.05));
    }

private:
    qreal m_radius;
};

QLabel* text(const QString& value, int pixelSize, QFont::Weight weight, const QColor& color, bool mono,
             QWidget* parent, const QString& name = QString()) {
    auto* label = new QLabel(value, parent);
    label->setTextFormat(Qt::PlainText);
    if (!name.isEmpty())
        label->setObjectName(name);
    QFont font = mono ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(rgba(color)));
    return label;
}

// A capsule badge: small text on a translucent fill.
QLabel* badge(const QString& value, int pixelSize, QFont::Weight weight, const QColor& fill,
              const QColor& color, int padX, int padY, QWidget* parent, const QString& name) {
    QLabel* label = text(value, pixelSize, weight, color, false, parent, name);
    const int radius = (QFontMetrics(label->font()).height() + 2 * padY) / 2;
    label->setStyleSheet(QStringLiteral("color: %1; background: %2; border-radius: %3px; padding: %4px %5px;")
                             .arg(rgba(color), rgba(fill))
                             .arg(radius)
                             .arg(padY)
                             .arg(padX));
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

QWidget* sessionRow(const AgentSession& session, QWidget* parent) {
    auto* row = new Panel(7, parent);
    row->setObjectName(QStringLiteral("session"));
    row->setProperty("sessionId", session.id);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(8, 3, 8, 3);
    layout->setSpacing(8);
    const bool waiting = session.isWaiting();
    auto* dot = new StatusDot(row);
    dot->setObjectName(QStringLiteral("dot"));
    dot->setColor(session.state == QLatin1String("working") ? SystemColors::green()
                  : waiting                                 ? SystemColors::purple()
                                                            : SystemColors::white(0.25));
    layout->addWidget(dot);
    QColor toolFill = session.tool == QLatin1String("Claude") ? SystemColors::orange() : teal();
    toolFill.setAlphaF(0.25f);
    layout->addWidget(badge(session.tool, 9, QFont::Bold, toolFill, SystemColors::white(0.85), 5, 1, row,
                            QStringLiteral("tool")));
    QLabel* project =
        text(session.project, 11, QFont::DemiBold, Qt::white, false, row, QStringLiteral("project"));
    project->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(project, 1);
    layout->addWidget(text(session.state, 10, QFont::Normal,
                           waiting ? SystemColors::purple() : SystemColors::white(0.5), false, row,
                           QStringLiteral("state")));
    layout->addWidget(text(AITab::ageText(session.minutesAgo), 9, QFont::Normal, SystemColors::white(0.35),
                           true, row, QStringLiteral("age")));
    return row;
}

QWidget* usageRow(const AIUsageMetric& metric, int index, QWidget* parent) {
    auto* row = new QWidget(parent);
    // Two lines may share a label, so a row is named by its place.
    row->setObjectName(QStringLiteral("metric-%1").arg(index));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    QLabel* label =
        text(metric.label, 10, QFont::Normal, SystemColors::white(0.55), false, row, QStringLiteral("label"));
    label->setFixedWidth(78);
    layout->addWidget(label);
    if (metric.fraction) {
        const double f = *metric.fraction;
        auto* bar = new BlockBar(f, 22, row);
        bar->setObjectName(QStringLiteral("bar"));
        layout->addWidget(bar, 1);
        QLabel* percent = text(AITab::percentText(f), 12, QFont::Bold, AITab::percentColor(f), true, row,
                               QStringLiteral("percent"));
        percent->setFixedWidth(42);
        percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(percent);
        if (AITab::showsExhausted(f) || !metric.detail.isEmpty()) {
            auto* side = new QVBoxLayout;
            side->setSpacing(1);
            if (AITab::showsExhausted(f)) {
                QLabel* out = text(AITab::tr("ESGOTADO"), 8, QFont::Bold, SystemColors::red(), false, row,
                                   QStringLiteral("exhausted"));
                out->setAlignment(Qt::AlignRight);
                side->addWidget(out);
            }
            if (!metric.detail.isEmpty()) {
                QLabel* detail = text(metric.detail, 9, QFont::Normal, SystemColors::white(0.45), true, row,
                                      QStringLiteral("detail"));
                detail->setAlignment(Qt::AlignRight);
                side->addWidget(detail);
            }
            layout->addLayout(side);
        }
    } else {
        layout->addWidget(text(metric.detail, 10, QFont::Normal, SystemColors::white(0.75), true, row,
                               QStringLiteral("detail")));
        layout->addStretch(1);
    }
    return row;
}

QWidget* providerCard(const AIProviderUsage& provider, QWidget* parent) {
    auto* card = new Panel(8, parent);
    card->setObjectName(QStringLiteral("card"));
    card->setProperty("provider", provider.name);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(5);
    auto* header = new QHBoxLayout;
    header->addWidget(text(provider.name, 12, QFont::Bold, Qt::white, false, card, QStringLiteral("name")));
    if (!provider.plan.isEmpty())
        header->addWidget(badge(provider.plan, 9, QFont::DemiBold, SystemColors::white(0.12),
                                SystemColors::white(0.7), 6, 2, card, QStringLiteral("plan")));
    header->addStretch(1);
    column->addLayout(header);
    for (int i = 0; i < provider.metrics.size(); ++i)
        column->addWidget(usageRow(provider.metrics[i], i, card));
    if (provider.note) {
        QLabel* note = text(*provider.note, 9, QFont::Normal, SystemColors::white(0.4), false, card,
                            QStringLiteral("note"));
        note->setWordWrap(true);
        column->addWidget(note);
    }
    return card;
}

} // namespace

AITab::AITab(AIUsageService& service, AgentsService& agents, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_agents(agents) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    QScrollArea* scroll = ScrollPage::create(this);
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 8, 0, 0);
    pageLayout->setSpacing(6);

    m_content = new QWidget(page);
    m_column = new QVBoxLayout(m_content);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(6);
    pageLayout->addWidget(m_content);
    pageLayout->addStretch(1);
    ScrollPage::setContent(scroll, page);
    outer->addWidget(scroll);

    connect(&m_service, &AIUsageService::providersChanged, this, &AITab::rebuild);
    connect(&m_service, &AIUsageService::isLoadingChanged, this, &AITab::rebuild);
    connect(&m_agents, &AgentsService::sessionsChanged, this, &AITab::rebuild);
    rebuild();
}

qint64 AITab::percentOf(double fraction) {
    if (std::isnan(fraction))
        return 0;
    const double percent = std::clamp(fraction * 100.0, -1e15, 1e15);
    return std::llround(percent);
}

QString AITab::percentText(double fraction) {
    return tr("%lld%%")
        .replace(QLatin1String("%lld"), QString::number(percentOf(fraction)))
        .replace(QLatin1String("%%"), QLatin1String("%"));
}

QColor AITab::percentColor(double fraction) {
    if (fraction > 0.85)
        return SystemColors::red();
    if (fraction > 0.6)
        return SystemColors::orange();
    return SystemColors::green();
}

QString AITab::ageText(int minutesAgo) {
    if (minutesAgo == 0)
        return tr("now");
    return tr("%lld min").replace(QLatin1String("%lld"), QString::number(minutesAgo));
}

void AITab::rebuild() {
    while (QLayoutItem* item = m_column->takeAt(0)) {
        if (QWidget* w = item->widget())
            delete w;
        delete item;
    }
    const QList<AgentSession>& sessions = m_agents.sessions();
    if (!sessions.isEmpty()) {
        auto* section = new QWidget(m_content);
        section->setObjectName(QStringLiteral("agents"));
        auto* list = new QVBoxLayout(section);
        list->setContentsMargins(0, 0, 0, 0);
        list->setSpacing(4);
        list->addWidget(new SectionTitle(QStringLiteral("Agents (last hour)"), section));
        for (const AgentSession& session : sessions)
            list->addWidget(sessionRow(session, section));
        m_column->addWidget(section);
    }
    const QList<AIProviderUsage>& providers = m_service.providers();
    if (providers.isEmpty()) {
        auto* hint = new EmptyHint(m_service.isLoading() ? QStringLiteral("Collecting usage limits…")
                                                         : QStringLiteral("No AI provider detected"),
                                   m_content);
        hint->setObjectName(QStringLiteral("hint"));
        m_column->addWidget(hint);
    }
    for (const AIProviderUsage& provider : providers)
        m_column->addWidget(providerCard(provider, m_content));
}
