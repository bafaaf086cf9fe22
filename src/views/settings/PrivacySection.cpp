// The privacy section; see PrivacySection.h.
#include "views/settings/PrivacySection.h"

#include "services/TelemetryService.h"
#include "views/Switch.h"
#include "views/settings/SettingsLook.h"
#include "views/settings/SwitchRow.h"

#include <QHBoxLayout>
#include <QJsonDocument>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QPushButton* linkButton(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setFlat(true);
    b->setCursor(Qt::PointingHandCursor);
    b->setFont(SettingsLook::font(11));
    b->setStyleSheet(
        QStringLiteral("QPushButton { color: palette(link); border: none; padding: 0; text-align: left; }"
                       "QPushButton:focus { text-decoration: underline; }"));
    return b;
}
} // namespace

PrivacySection::PrivacySection(TelemetryService& telemetry, OpenUrl openUrl, QWidget* parent)
    : SettingsSection(QStringLiteral("Privacy"),
                      QStringLiteral("Quillbay collects nothing about you. Not even by accident."), parent)
    , m_telemetry(telemetry) {
    const QString title = tr("Help with anonymous usage stats");
    m_switch = new Switch(title, Switch::Size::regular, this);
    m_switch->setObjectName(QStringLiteral("usageStats"));
    addContent(
        SwitchRow::make(m_switch, title,
                        tr("Once a day: which tabs you opened, for how long, and your app and macOS version. "
                           "A random number tells installs apart — never you."),
                        this));

    auto* details = new QVBoxLayout;
    details->setSpacing(4);
    details->addWidget(SettingsLook::note(
        tr("The app does not write your IP to its analytics dataset. Cloudflare may process request metadata "
           "to "
           "operate and protect the service. Commands, logs, files, clipboard, email, name and hardware "
           "identifiers are not sent by the app."),
        11, this));
    auto* links = new QHBoxLayout;
    links->setSpacing(12);
    m_previewButton = linkButton(QString(), this);
    m_policy = linkButton(tr("Privacy policy"), this);
    links->addWidget(m_previewButton);
    links->addWidget(m_policy);
    links->addStretch(1);
    details->addLayout(links);
    m_preview = new QPlainTextEdit(this);
    m_preview->setObjectName(QStringLiteral("reportPreview"));
    m_preview->setReadOnly(true);
    m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_preview->setFont(SettingsLook::monospace(11));
    m_preview->setFixedHeight(150);
    m_preview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_preview->setTabChangesFocus(true);
    m_preview->document()->setDocumentMargin(8);
    details->addWidget(m_preview);
    addContent(details);

    connect(m_switch, &Switch::toggled, this, [this](bool on) {
        m_telemetry.setEnabled(on);
        // Turning the report off also forgets everything kept for it.
        if (!on)
            m_telemetry.apagarTudo();
        refresh();
    });
    connect(m_previewButton, &QPushButton::clicked, this, [this] {
        m_mostrarPrevia = !m_mostrarPrevia;
        refresh();
    });
    connect(m_policy, &QPushButton::clicked, this, [this, openUrl = std::move(openUrl)] {
        if (openUrl)
            openUrl(m_telemetry.privacyPage());
    });
    connect(&telemetry, &TelemetryService::enabledChanged, this, &PrivacySection::refresh);
    refresh();
}

QString PrivacySection::previewText(TelemetryService& telemetry) {
    const QByteArray json = QJsonDocument(telemetry.montarPayload()).toJson(QJsonDocument::Indented);
    return json.isEmpty() ? QStringLiteral("{}") : QString::fromUtf8(json).trimmed();
}

void PrivacySection::refresh() {
    {
        const QSignalBlocker block(m_switch);
        m_switch->setChecked(m_telemetry.enabled());
    }
    m_previewButton->setText(m_mostrarPrevia ? tr("Hide what would be sent")
                                             : tr("See exactly what would be sent"));
    m_preview->setVisible(m_mostrarPrevia);
    if (m_mostrarPrevia)
        m_preview->setPlainText(previewText(m_telemetry));
}
