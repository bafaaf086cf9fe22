// Terminal tab: the QR view over the log view over the command list; rows remade on list or state changes,
// and only those near the visible part of the list exist as widgets.
#include "views/TerminalTab.h"

#include "services/CommandsService.h"
#include "views/CommandForm.h"
#include "views/ElidedLabel.h"
#include "views/EmptyHint.h"
#include "views/FileDialogPicker.h"
#include "views/IconButton.h"
#include "views/LazyRows.h"
#include "views/LogViewer.h"
#include "views/QRViewer.h"
#include "views/ScrollPage.h"
#include "views/SectionTitle.h"
#include "views/StatusDot.h"
#include "views/SystemColors.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {

// One saved command: status, name and detail, then its buttons.
class CommandRow : public QWidget {
public:
    CommandRow(CommandsService& service, const SavedCommand& cmd, bool running, bool crashed, bool stopping,
               QWidget* parent)
        : QWidget(parent) {
        setObjectName(QStringLiteral("row-") + cmd.id.toString(QUuid::WithoutBraces));
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(8, 4, 8, 4);
        row->setSpacing(8);

        auto* dot = new StatusDot(this);
        dot->setObjectName(QStringLiteral("status"));
        dot->setColor(stopping  ? SystemColors::orange()
                      : running ? SystemColors::green()
                      : crashed ? SystemColors::red()
                                : SystemColors::white(0.25));
        dot->setToolTip(crashed ? TerminalTab::tr("Died on its own — check the log") : QString());
        row->addWidget(dot);

        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        // Both lines stay one line and end in "…" when the row is too narrow for them.
        auto* name = new ElidedLabel(Qt::ElideRight, this);
        name->setText(cmd.name);
        name->setObjectName(QStringLiteral("name"));
        QFont nameFont = name->font();
        nameFont.setPixelSize(12);
        nameFont.setWeight(QFont::DemiBold);
        name->setFont(nameFont);
        name->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
        name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        texts->addWidget(name);
        // Stopping can take a few seconds (a process that ignores the request gets a grace first).
        auto* detail = new ElidedLabel(Qt::ElideRight, this);
        detail->setText(stopping ? TerminalTab::tr("Stopping…") : detailLine(cmd));
        detail->setObjectName(QStringLiteral("detail"));
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPixelSize(9);
        detail->setFont(mono);
        detail->setStyleSheet(QStringLiteral("color: rgba(255, 255, 255, 102); background: transparent;"));
        detail->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        texts->addWidget(detail);
        row->addLayout(texts, 1);

        CommandsService* s = &service;
        const SavedCommand c = cmd;
        auto* runStop = new IconButton(
            running ? QStringLiteral("stop.fill") : QStringLiteral("play.fill"),
            running ? QStringLiteral("Stop") : QStringLiteral("Start"),
            running ? SystemColors::red() : SystemColors::green(),
            [s, c, running] { running ? s->stop(c) : s->start(c); }, this);
        runStop->setObjectName(QStringLiteral("runStop"));
        runStop->setEnabled(!stopping);
        row->addWidget(runStop);
        if (running) {
            auto* qr = new IconButton(
                QStringLiteral("qrcode"), QStringLiteral("Open on your phone (local network QR)"), Qt::white,
                [s, c] { s->showQR(c); }, this);
            qr->setObjectName(QStringLiteral("qr"));
            row->addWidget(qr);
        }
        auto* log = new IconButton(
            QStringLiteral("doc.text"), QStringLiteral("View log"), Qt::white, [s, c] { s->showLog(c); },
            this);
        log->setObjectName(QStringLiteral("log"));
        row->addWidget(log);
        auto* edit = new IconButton(
            QStringLiteral("pencil"), QStringLiteral("Edit"), Qt::white, [s, c] { s->beginEdit(c); }, this);
        edit->setObjectName(QStringLiteral("edit"));
        row->addWidget(edit);
        auto* remove = new IconButton(
            QStringLiteral("trash"), QStringLiteral("Remove"), Qt::white, [s, c] { s->remove(c); }, this);
        remove->setObjectName(QStringLiteral("remove"));
        row->addWidget(remove);
    }

    static QString detailLine(const SavedCommand& cmd) {
        if (!cmd.workingDir)
            return cmd.command;
        // "/srv/app/" as typed names the folder app, not an empty last component.
        const QString folder = QDir::cleanPath(*cmd.workingDir);
        const QString last = folder == u"/" ? folder : QFileInfo(folder).fileName();
        return QStringLiteral("📁 ") + last + QStringLiteral("  ·  ") + cmd.command;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 7, 7);
        p.fillPath(path, QColor(255, 255, 255, 13));
    }
};

} // namespace

TerminalTab::TerminalTab(CommandsService& service, ClipboardService& clipboard, QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_clipboard(clipboard) {
    m_service.setFilePicker(FileDialogPicker::forWidget(this));

    m_pages = new QStackedLayout(this);
    m_pages->setContentsMargins(0, 0, 0, 0);

    QScrollArea* scroll = ScrollPage::create(this);
    m_listPage = new QWidget;
    m_listPage->setObjectName(QStringLiteral("commandList"));
    auto* column = new QVBoxLayout(m_listPage);
    column->setContentsMargins(0, 8, 0, 0);
    column->setSpacing(4);

    auto* header = new QHBoxLayout;
    auto* title = new SectionTitle(tr("MY SERVICES"), m_listPage);
    // Centred on the button beside it: no room above, as a caption over rows has.
    title->setContentsMargins(0, 0, 0, 0);
    header->addWidget(title);
    header->addStretch(1);
    m_toggle = new IconButton(
        QStringLiteral("plus.circle"), QStringLiteral("Add command"), Qt::white,
        [this] {
            if (m_service.showingForm())
                m_service.setEditingID(QUuid());
            m_service.setShowingForm(!m_service.showingForm());
        },
        m_listPage);
    m_toggle->setObjectName(QStringLiteral("formToggle"));
    header->addWidget(m_toggle);
    column->addLayout(header);

    m_form = new CommandForm(m_service, m_listPage);
    column->addWidget(m_form);
    m_hint = new EmptyHint(QStringLiteral("No commands yet — click + to add a service"), m_listPage);
    column->addWidget(m_hint);

    m_rows = new LazyRows(
        [this](int index, QWidget* holder) -> QWidget* {
            const SavedCommand& cmd = m_shown.at(index);
            return new CommandRow(m_service, cmd, m_shownRunning.contains(cmd.id),
                                  m_shownCrashed.contains(cmd.id), m_shownStopping.contains(cmd.id), holder);
        },
        4, m_listPage);
    column->addWidget(m_rows);
    column->addStretch(1);
    ScrollPage::setContent(scroll, m_listPage);
    m_pages->addWidget(scroll);

    connect(&m_service, &CommandsService::showingFormChanged, this, &TerminalTab::updateForm);
    for (auto signal : {&CommandsService::commandsChanged, &CommandsService::runningIDsChanged,
                        &CommandsService::crashedIDsChanged, &CommandsService::stoppingIDsChanged})
        connect(&m_service, signal, this, &TerminalTab::rebuildRows);
    connect(&m_service, &CommandsService::qrInfoChanged, this, &TerminalTab::choosePage);
    connect(&m_service, &CommandsService::viewingLogChanged, this, &TerminalTab::choosePage);
    rebuildRows();
    choosePage();
}

void TerminalTab::updateForm() {
    const bool open = m_service.showingForm();
    m_toggle->setSymbol(open ? QStringLiteral("minus.circle") : QStringLiteral("plus.circle"));
    m_form->setVisible(open);
    m_hint->setVisible(m_service.commands().isEmpty() && !open);
}

void TerminalTab::rebuildRows() {
    // One reading of the list and the running state for the whole rendering, rows made later included.
    m_shown = m_service.commands();
    m_shownRunning = m_service.runningIDs();
    m_shownCrashed = m_service.crashedIDs();
    m_shownStopping = m_service.stoppingIDs();
    // A row's own button may have caused this (remove, start, stop): it goes once its click returns.
    m_rows->reset(int(m_shown.size()));
    updateForm();
}

void TerminalTab::choosePage() {
    const auto qr = m_service.qrInfo();
    const auto log = m_service.viewingLog();
    if (qr) {
        if (!m_qr) {
            m_qr = new QRViewer(m_service, m_clipboard, *qr, this);
            m_pages->addWidget(m_qr);
        } else {
            m_qr->setInfo(*qr);
        }
    } else if (m_qr) {
        m_qr->deleteLater();
        m_pages->removeWidget(m_qr);
        m_qr = nullptr;
    }
    // A log view belongs to one command; another command's log gets a fresh view.
    if (m_log && (!log || log->id != m_log->cmd().id || log->name != m_log->cmd().name)) {
        m_pages->removeWidget(m_log);
        m_log->deleteLater();
        m_log = nullptr;
    }
    if (log && !m_log) {
        m_log = new LogViewer(m_service, m_clipboard, *log, this);
        m_pages->addWidget(m_log);
    }
    m_pages->setCurrentWidget(m_qr    ? static_cast<QWidget*>(m_qr)
                              : m_log ? static_cast<QWidget*>(m_log)
                                      : m_pages->widget(0));
}
