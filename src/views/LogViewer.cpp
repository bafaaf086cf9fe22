// Log view: header with back, copy and open-file buttons over a selectable, linkified text.
#include "views/LogViewer.h"

#include "services/ClipboardService.h"
#include "services/Linkify.h"
#include "views/ElidedLabel.h"
#include "views/IconButton.h"
#include "views/StatusDot.h"
#include "views/SystemColors.h"

#include <QDesktopServices>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <cstring>

LogViewer::LogViewer(CommandsService& service, ClipboardService& clipboard, const SavedCommand& cmd,
                     QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_clipboard(clipboard)
    , m_cmd(cmd) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(4);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new IconButton(
        QStringLiteral("chevron.left"), QStringLiteral("Back"), Qt::white, [this] { m_service.hideLog(); },
        this));
    m_dot = new StatusDot(this);
    header->addWidget(m_dot);
    auto* name = new ElidedLabel(Qt::ElideRight, this);
    name->setText(cmd.name);
    QFont nameFont = name->font();
    nameFont.setPixelSize(12);
    nameFont.setWeight(QFont::DemiBold);
    name->setFont(nameFont);
    name->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    header->addWidget(name, 1);
    // How a service that died on its own ended: the row says to check the log, and this is where it shows.
    m_ending = new QLabel(this);
    m_ending->setObjectName(QStringLiteral("ending"));
    m_ending->setTextFormat(Qt::PlainText);
    QFont endingFont = m_ending->font();
    endingFont.setPixelSize(10);
    endingFont.setWeight(QFont::Medium);
    m_ending->setFont(endingFont);
    m_ending->setStyleSheet(
        QStringLiteral("color: %1; background: transparent;").arg(SystemColors::red().name(QColor::HexRgb)));
    header->addWidget(m_ending);
    header->addWidget(new IconButton(
        QStringLiteral("doc.on.doc"), QStringLiteral("Copy whole log"), Qt::white,
        [this] { m_clipboard.copyText(m_service.logText()); }, this));
    header->addWidget(new IconButton(
        QStringLiteral("arrow.up.forward.square"), QStringLiteral("Open log file"), Qt::white,
        [this] {
            // Nothing to report when no application takes it.
            QDesktopServices::openUrl(QUrl::fromLocalFile(m_service.logPath(m_cmd.name)));
        },
        this));
    column->addLayout(header);

    m_text = new QTextBrowser(this);
    m_text->setObjectName(QStringLiteral("logText"));
    m_text->setOpenLinks(false);
    m_text->setOpenExternalLinks(false);
    m_text->setUndoRedoEnabled(false);
    // Read-only: no caret (keyboard selection would show one); Ctrl+C and Ctrl+A still work.
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text->setLineWrapMode(QTextEdit::WidgetWidth);
    m_text->document()->setDocumentMargin(6);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(10);
    m_text->document()->setDefaultFont(mono);
    m_text->setStyleSheet(QStringLiteral("QTextBrowser { background: rgba(255, 255, 255, 10); border: none;"
                                         " border-radius: 8px; }"));
    connect(m_text, &QTextBrowser::anchorClicked, this, &LogViewer::openLink);
    column->addWidget(m_text, 1);

    connect(&m_service, &CommandsService::logTextChanged, this, [this] { showText(m_service.logText()); });
    connect(&m_service, &CommandsService::runningIDsChanged, this, &LogViewer::updateDot);
    connect(&m_service, &CommandsService::crashedIDsChanged, this, &LogViewer::updateDot);
    updateDot();
    showText(m_service.logText());
}

void LogViewer::linkified(const QString& text, QTextDocument* document) {
    document->clear();
    QTextCursor cursor(document);
    QTextCharFormat plain;
    QColor green = SystemColors::green();
    green.setAlphaF(0.9f);
    plain.setForeground(green);
    QTextCharFormat link = plain;
    link.setForeground(SystemColors::cyan());
    link.setFontUnderline(true);
    link.setAnchor(true);

    qsizetype pos = 0;
    for (const Linkify::Link& l : Linkify::links(text)) {
        cursor.insertText(text.mid(pos, l.start - pos), plain);
        link.setAnchorHref(l.url.toString(QUrl::FullyEncoded));
        cursor.insertText(text.mid(l.start, l.length), link);
        pos = l.start + l.length;
    }
    cursor.insertText(text.mid(pos), plain);
}

void LogViewer::showText(const QString& text) {
    // The service assigns the text every second; redrawing an unchanged text would drop the selection.
    if (m_rendered && text == m_shown)
        return;
    m_shown = text;
    m_rendered = true;
    linkified(text, m_text->document());
    QTextCursor end(m_text->document());
    end.movePosition(QTextCursor::End);
    m_text->setTextCursor(end);
    m_text->ensureCursorVisible();
    scrollToEnd();
}

void LogViewer::scrollToEnd() {
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
}

void LogViewer::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Before the first layout the scroll range is not known yet.
    QMetaObject::invokeMethod(this, &LogViewer::scrollToEnd, Qt::QueuedConnection);
}

QString LogViewer::endingText(const std::optional<ServiceLauncher::Ended>& ended) {
    if (ended && ended->signal > 0) {
        const char* abbrev = sigabbrev_np(ended->signal);
        const QString name =
            abbrev ? QStringLiteral("SIG") + QString::fromLatin1(abbrev) : QString::number(ended->signal);
        return tr("Ended by signal %1").arg(name);
    }
    if (ended && ended->exitStatus >= 0)
        return tr("Exited with status %1").arg(ended->exitStatus);
    return tr("Ended on its own");
}

void LogViewer::updateDot() {
    const bool running = m_service.runningIDs().contains(m_cmd.id);
    const bool crashed = !running && m_service.crashedIDs().contains(m_cmd.id);
    m_dot->setColor(running   ? SystemColors::green()
                    : crashed ? SystemColors::red()
                              : SystemColors::white(0.25));
    m_ending->setText(crashed ? endingText(m_service.crashEnd(m_cmd.id)) : QString());
    m_ending->setVisible(crashed);
}

void LogViewer::openLink(const QUrl& url) {
    if (Linkify::canOpen(url))
        QDesktopServices::openUrl(url);
}
