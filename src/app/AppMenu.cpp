// The two menu items and the tray entry.
#include "app/AppMenu.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {

// The island itself, small: what the tray shows.
QIcon trayIconImage() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(2, 9, 28, 14), 6, 6);
    p.fillPath(path, Qt::black);
    p.setPen(QPen(QColor(255, 255, 255, 160), 1.2));
    p.drawPath(path);
    return QIcon(pm);
}

} // namespace

AppMenu::AppMenu(bool offerTray, QObject* parent)
    : QObject(parent) {
    m_settings = new QAction(QStringLiteral("Settings…"), this);
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settings->setShortcutContext(Qt::WindowShortcut);
    connect(m_settings, &QAction::triggered, this, &AppMenu::settingsRequested);

    m_quit = new QAction(QStringLiteral("Quit Quillbay"), this);
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setShortcutContext(Qt::WindowShortcut);
    connect(m_quit, &QAction::triggered, this, &AppMenu::quitRequested, Qt::QueuedConnection);

    if (offerTray && QSystemTrayIcon::isSystemTrayAvailable())
        buildTrayIcon();
}

void AppMenu::addTo(QWidget* window) const {
    window->addAction(m_settings);
    window->addAction(m_quit);
}

void AppMenu::buildTrayIcon() {
    auto* menu = new QMenu;
    menu->addAction(m_settings);
    menu->addSeparator();
    menu->addAction(m_quit);
    m_tray = new QSystemTrayIcon(trayIconImage(), this);
    connect(m_tray, &QObject::destroyed, menu, &QObject::deleteLater);
    m_tray->setToolTip(QStringLiteral("Quillbay"));
    m_tray->setContextMenu(menu);
    m_tray->show();
}
