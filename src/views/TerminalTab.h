// The dashboard's Terminal tab: saved commands run as background services, with their form, log and QR views.
#pragma once

#include "services/CommandsService.h"

#include <QList>
#include <QSet>
#include <QUuid>
#include <QWidget>

class CommandForm;
class EmptyHint;
class IconButton;
class LazyRows;
class ClipboardService;
class LogViewer;
class QRViewer;
class QStackedLayout;

class TerminalTab : public QWidget {
    Q_OBJECT
public:
    // The log and phone views copy through `clipboard`.
    TerminalTab(CommandsService& service, ClipboardService& clipboard, QWidget* parent = nullptr);

private:
    void choosePage();
    void rebuildRows();
    void updateForm();

    CommandsService& m_service;
    ClipboardService& m_clipboard;
    QStackedLayout* m_pages = nullptr;
    QWidget* m_listPage = nullptr;
    IconButton* m_toggle = nullptr;
    CommandForm* m_form = nullptr;
    EmptyHint* m_hint = nullptr;
    LazyRows* m_rows = nullptr;
    QList<SavedCommand> m_shown;
    QSet<QUuid> m_shownRunning;
    QSet<QUuid> m_shownCrashed;
    QSet<QUuid> m_shownStopping;
    LogViewer* m_log = nullptr;
    QRViewer* m_qr = nullptr;
};
