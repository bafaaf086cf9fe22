// Script tab: header with the busy mark and the run button, then the output in a scrolling monospaced text.
#include "views/ScriptTabView.h"

#include "services/CustomTabsService.h"
#include "views/IconButton.h"
#include "views/SectionTitle.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace {

// A small turning arc, shown while the command runs; it animates only while visible.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(12, 12);
        m_turn.setStartValue(0.0);
        m_turn.setEndValue(360.0);
        m_turn.setDuration(900);
        m_turn.setLoopCount(-1);
        connect(&m_turn, &QVariantAnimation::valueChanged, this, [this] { update(); });
    }

protected:
    void showEvent(QShowEvent*) override { m_turn.start(); }
    void hideEvent(QHideEvent*) override { m_turn.stop(); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(255, 255, 255, 160), 1.5, Qt::SolidLine, Qt::RoundCap));
        const int start = int(-m_turn.currentValue().toDouble() * 16);
        p.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), start, 270 * 16);
    }

private:
    QVariantAnimation m_turn;
};

} // namespace

ScriptTabView::ScriptTabView(CustomTabsService& service, const CustomTab& tab, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_tab(tab) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(4);

    auto* header = new QHBoxLayout;
    m_title = new SectionTitle(QString(), this);
    m_title->setObjectName(QStringLiteral("title"));
    // Centred on the button beside it: no room above, as a caption over rows has.
    m_title->setContentsMargins(0, 0, 0, 0);
    header->addWidget(m_title);
    header->addStretch(1);
    m_spinner = new Spinner(this);
    m_spinner->setObjectName(QStringLiteral("spinner"));
    header->addWidget(m_spinner);
    CustomTabsService* s = &service;
    m_runAgain = new IconButton(
        QStringLiteral("arrow.clockwise"), tr("Run again"), QColor(255, 255, 255, 140),
        [this, s] { s->run(m_tab); }, this);
    m_runAgain->setObjectName(QStringLiteral("runAgain"));
    header->addWidget(m_runAgain);
    column->addLayout(header);

    m_output = new QPlainTextEdit(this);
    m_output->setObjectName(QStringLiteral("output"));
    m_output->setReadOnly(true);
    // Read-only: no caret (keyboard selection would show one); Ctrl+C and Ctrl+A still work.
    m_output->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_output->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_output->setFrameShape(QFrame::NoFrame);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(11);
    m_output->setFont(mono);
    m_output->document()->setDocumentMargin(8);
    m_output->setStyleSheet(QStringLiteral(
        "QPlainTextEdit { color: rgba(255, 255, 255, 217); background: rgba(255, 255, 255, 13);"
        " border-radius: 8px; }"));
    column->addWidget(m_output, 1);

    // Each tick asks for a run; one still going makes the service drop it.
    connect(&m_timer, &QTimer::timeout, this, [this] { m_service.run(m_tab); });
    connect(&service, &CustomTabsService::outputsChanged, this, &ScriptTabView::syncOutput);
    connect(&service, &CustomTabsService::runningIDsChanged, this, &ScriptTabView::syncRunning);

    m_title->setTitle(m_tab.name);
    syncOutput();
    syncRunning();
}

void ScriptTabView::setTab(const CustomTab& tab) {
    const QString oldKey = refreshKey();
    m_tab = tab;
    m_title->setTitle(m_tab.name);
    syncOutput();
    syncRunning();
    if (refreshKey() != oldKey && isVisible())
        startTask();
}

QString ScriptTabView::refreshKey() const {
    return m_tab.id.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('-') +
           QString::number(m_tab.refreshSeconds) + QLatin1Char('-') + QString::number(qHash(m_tab.command));
}

QString ScriptTabView::outputText() const {
    return m_output->toPlainText();
}

bool ScriptTabView::spinnerShown() const {
    return !m_spinner->isHidden();
}

void ScriptTabView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    startTask();
}

void ScriptTabView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer.stop();
}

void ScriptTabView::startTask() {
    m_timer.stop();
    if (!m_service.outputs().contains(m_tab.id))
        m_service.run(m_tab);
    if (m_tab.refreshSeconds < 1)
        return;
    m_timer.start(int(std::min(m_tab.refreshSeconds, kMaxIntervalSeconds) * 1000));
}

void ScriptTabView::syncOutput() {
    const auto it = m_service.outputs().constFind(m_tab.id);
    const QString text = it != m_service.outputs().cend() ? *it : tr("Running…");
    // Rewriting the same text would drop the user's selection and scroll position.
    if (m_output->toPlainText() != text)
        m_output->setPlainText(text);
}

void ScriptTabView::syncRunning() {
    m_spinner->setVisible(m_service.runningIDs().contains(m_tab.id));
}
