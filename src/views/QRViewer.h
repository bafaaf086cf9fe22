// The Terminal tab's phone view: a QR code of a service's LAN address, or why there is none yet.
#pragma once

#include "services/CommandsService.h"

#include <QImage>
#include <QWidget>

class ClipboardService;
class IconButton;
class ModulesView;
class QLabel;

class QRViewer : public QWidget {
    Q_OBJECT
public:
    // Copies go through `clipboard`.
    QRViewer(CommandsService& service, ClipboardService& clipboard, const CommandsService::QRInfo& info,
             QWidget* parent = nullptr);

    void setInfo(const CommandsService::QRInfo& info);
    const CommandsService::QRInfo& info() const { return m_info; }

private:
    CommandsService& m_service;
    ClipboardService& m_clipboard;
    CommandsService::QRInfo m_info;
    QLabel* m_title = nullptr;
    IconButton* m_copy = nullptr;
    QWidget* m_card = nullptr;
    ModulesView* m_image = nullptr;
    QLabel* m_url = nullptr;
    QLabel* m_message = nullptr;
};
