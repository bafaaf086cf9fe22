// The dashboard's Terminal tab: saved commands run as background services, with their form, log and QR views.
#pragma once

#include <QWidget>

class CommandForm;
class CommandsService;
class EmptyHint;
class IconButton;
class LogViewer;
class QRViewer;
class QStackedLayout;
class QVBoxLayout;

class TerminalTab : public QWidget {
    Q_OBJECT
public:
    explicit TerminalTab(CommandsService& service, QWidget* parent = nullptr);

private:
    void choosePage();
    void rebuildRows();
    void updateForm();

    CommandsService& m_service;
    QStackedLayout* m_pages = nullptr;
    QWidget* m_listPage = nullptr;
    IconButton* m_toggle = nullptr;
    CommandForm* m_form = nullptr;
    EmptyHint* m_hint = nullptr;
    QWidget* m_rows = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    LogViewer* m_log = nullptr;
    QRViewer* m_qr = nullptr;
};
