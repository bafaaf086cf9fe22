// The program's own menu items, Settings… and Quit Quillbay. There is no global menu bar here: they
// become window shortcuts (added to each window of ours) and, where the desktop has a tray, a tray
// menu, which with no dock or window-list entry is the one other way to reach Quit.
#pragma once

#include <QObject>

class QAction;
class QSystemTrayIcon;
class QWidget;

class AppMenu final : public QObject {
    Q_OBJECT
public:
    // `offerTray` false keeps the tray icon away even where a tray exists (tests).
    explicit AppMenu(bool offerTray, QObject* parent = nullptr);

    // Ctrl+, and Ctrl+Q on `window`, while it is the active window.
    void addTo(QWidget* window) const;

    // Null where no tray was offered or the desktop has none.
    QSystemTrayIcon* trayIcon() const { return m_tray; }

signals:
    void settingsRequested();
    // Delivered from the event loop: the question it leads to runs its own event loop, which must
    // not nest inside a key or menu event.
    void quitRequested();

private:
    void buildTrayIcon();

    QAction* m_settings = nullptr;
    QAction* m_quit = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
};
