// The settings window's frame; see SettingsWindow.h.
#include "app/SettingsWindow.h"

#include "services/Defaults.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace {
constexpr int kSaveDelayMs = 400; // a drag moves the window many times; write once it rests
} // namespace

SettingsWindow::SettingsWindow(Defaults& defaults, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_defaults(defaults) {
    setWindowTitle(QStringLiteral("Configurações do Quillbay"));
    setMinimumSize(480, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_saveSoon.setSingleShot(true);
    m_saveSoon.setInterval(kSaveDelayMs);
    connect(&m_saveSoon, &QTimer::timeout, this, &SettingsWindow::saveFrame);

    resize(540, 620);
    if (!restoreFrame()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
}

SettingsWindow::~SettingsWindow() {
    if (m_saveSoon.isActive())
        saveFrame();
}

void SettingsWindow::setContent(QWidget* content) {
    if (content == m_content)
        return;
    if (m_content) {
        // The old content may be the sender of what led here (its Close button): it goes later.
        layout()->removeWidget(m_content);
        m_content->hide();
        m_content->deleteLater();
    }
    m_content = content;
    if (m_content)
        layout()->addWidget(m_content);
}

void SettingsWindow::present() {
    show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

bool SettingsWindow::restoreFrame() {
    const auto stored = m_defaults.string(QLatin1String(kAutosaveName));
    if (!stored || stored->isEmpty())
        return false;
    const QByteArray state =
        QByteArray::fromBase64(stored->toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (state.isEmpty())
        return false;
    m_restoring = true;
    const bool ok = restoreGeometry(state);
    m_restoring = false;
    return ok;
}

void SettingsWindow::saveFrame() {
    m_saveSoon.stop();
    m_defaults.set(QLatin1String(kAutosaveName), QString::fromLatin1(saveGeometry().toBase64()));
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    saveFrame();
    QWidget::closeEvent(event); // hides; the window is kept for the next opening
    if (event->isAccepted())
        emit closed();
}

void SettingsWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (isVisible() && !m_restoring)
        m_saveSoon.start();
}

void SettingsWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible() && !m_restoring)
        m_saveSoon.start();
}
