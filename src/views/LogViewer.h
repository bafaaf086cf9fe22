// The Terminal tab's view of one saved service's log: its tail, kept at the end, with local addresses linked.
#pragma once

#include "services/CommandsService.h"

#include <QString>

#include <QWidget>
#include <optional>

class ClipboardService;
class IconButton;
class QLabel;
class QTextBrowser;
class QTextDocument;
class StatusDot;

class LogViewer : public QWidget {
    Q_OBJECT
public:
    // Copies go through `clipboard`.
    LogViewer(CommandsService& service, ClipboardService& clipboard, const SavedCommand& cmd,
              QWidget* parent = nullptr);

    const SavedCommand& cmd() const { return m_cmd; }

    // Fills `document` with `text` as plain characters, its links (see Linkify) as cyan, underlined anchors.
    // The text is inserted, never parsed, so markup in a log stays visible as written.
    static void linkified(const QString& text, QTextDocument* document);
    // How a crashed service ended, for the header: its exit status, the signal that ended it, or that it
    // ended on its own when neither is known.
    static QString endingText(const std::optional<ServiceLauncher::Ended>& ended);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void scrollToEnd();
    void showText(const QString& text);
    void updateDot();
    void openLink(const QUrl& url);

    CommandsService& m_service;
    ClipboardService& m_clipboard;
    SavedCommand m_cmd;
    QString m_shown;
    bool m_rendered = false;
    StatusDot* m_dot = nullptr;
    QLabel* m_ending = nullptr;
    QTextBrowser* m_text = nullptr;
};
