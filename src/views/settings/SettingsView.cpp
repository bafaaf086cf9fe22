// The settings window's content; see SettingsView.h.
#include "views/settings/SettingsView.h"

#include "services/SettingsService.h"
#include "services/UpdateService.h"
#include "views/settings/AppearanceSection.h"
#include "views/settings/AutoPasteSection.h"
#include "views/settings/FeaturesSection.h"
#include "views/settings/LanguageSection.h"
#include "views/settings/ShortcutsSection.h"
#include "views/settings/UpdatesSection.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace {
QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
} // namespace

SettingsView::SettingsView(Services services, Actions actions, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
    , m_actions(std::move(actions)) {
    setObjectName(QStringLiteral("settingsView"));
    setMinimumSize(480, 520);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget(m_scroll);
    content->setObjectName(QStringLiteral("settingsContent"));
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(24);

    m_shortcuts = new ShortcutsSection(services.settings, content);
    m_autoPaste = new AutoPasteSection(services.accessibility, content);
    m_features = new FeaturesSection(services.settings, services.customTabs, content);
    m_language = new LanguageSection(services.language, content);
    m_appearance = new AppearanceSection(services.settings, content);
    m_monitor = new MonitorSection(services.settings, m_actions.screens, content);
    m_privacy = new PrivacySection(services.telemetry, m_actions.openUrl, content);
    m_updates = new UpdatesSection(services.updates.currentVersion(), content);
    m_sections = {m_shortcuts,  m_autoPaste, m_features, m_language,
                  m_appearance, m_monitor,   m_privacy,  m_updates};
    for (int i = 0; i < m_sections.size(); ++i) {
        if (i > 0)
            stack->addWidget(divider(content));
        stack->addWidget(m_sections.at(i));
    }
    stack->addStretch(1);
    m_scroll->setWidget(content);
    outer->addWidget(m_scroll, 1);
    outer->addWidget(divider(this));

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(24, 14, 24, 14);
    m_quit = new QPushButton(tr("Quit Quillbay"), this);
    m_quit->setObjectName(QStringLiteral("quitButton"));
    m_quit->setToolTip(tr("Quits the app entirely — the island leaves the notch"));
    m_quit->setAutoDefault(false);
    m_close = new QPushButton(tr("Close"), this);
    m_close->setObjectName(QStringLiteral("closeButton"));
    m_close->setAutoDefault(false);
    footer->addWidget(m_quit);
    footer->addStretch(1);
    footer->addWidget(m_close);
    outer->addLayout(footer);

    connect(m_quit, &QPushButton::clicked, this, [this] {
        if (m_actions.onQuit)
            m_actions.onQuit();
    });
    connect(m_close, &QPushButton::clicked, this, [this] {
        // A recording must not outlive the window it was started from.
        m_services.settings.endRecording();
        if (m_actions.onClose)
            m_actions.onClose();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("escape"));
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        // Escape during a recording cancels the recording, however the key arrives here (an input method
        // or a window manager may hand it to the shortcut before the recording sees it).
        if (m_services.settings.recording())
            m_services.settings.endRecording();
        else
            m_close->click();
    });

    bindUpdates(services.updates);
}

void SettingsView::screensChanged() {
    m_monitor->screensChanged();
}

void SettingsView::bindUpdates(UpdateService& updates) {
    auto show = [this, &updates] {
        const UpdateStatus s = updates.status();
        UpdatesSection::State state;
        state.kind = s.kind;
        state.version = s.version;
        state.notes = s.notes;
        state.message = s.message;
        state.quiet = s.quiet;
        state.progress = updates.installProgress();
        m_updates->setState(state);
    };
    show();
    m_updates->setAutoCheck(updates.autoCheck());
    connect(&updates, &UpdateService::statusChanged, m_updates, show);
    connect(&updates, &UpdateService::installProgressChanged, m_updates, show);
    connect(&updates, &UpdateService::autoCheckChanged, m_updates,
            [this, &updates] { m_updates->setAutoCheck(updates.autoCheck()); });
    connect(m_updates, &UpdatesSection::autoCheckToggled, &updates, &UpdateService::setAutoCheck);
    connect(m_updates, &UpdatesSection::checkRequested, &updates, &UpdateService::check);
    connect(m_updates, &UpdatesSection::installRequested, &updates, &UpdateService::downloadAndInstall);
    // The offer appears at the foot of a long page, below what the window shows.
    connect(m_updates, &UpdatesSection::checkRequested, this, [this] { m_revealOffer = true; });
    connect(&updates, &UpdateService::statusChanged, this, [this, &updates] {
        const UpdateStatus::Kind kind = updates.status().kind;
        if (kind == UpdateStatus::Kind::checking || !std::exchange(m_revealOffer, false))
            return;
        if (kind == UpdateStatus::Kind::available)
            revealOffer();
    });
}

void SettingsView::revealOffer() {
    // The box has only just been shown: the scroll range and its place follow once the layouts have run.
    QTimer::singleShot(0, this, [this] {
        if (m_updates->offerBox()->isVisible())
            m_scroll->ensureWidgetVisible(m_updates->offerBox(), 0, 24);
    });
}
