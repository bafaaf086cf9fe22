// The auto-paste section; see AutoPasteSection.h.
#include "views/settings/AutoPasteSection.h"

#include "services/AccessibilityAuth.h"
#include "views/Icons.h"
#include "views/SystemColors.h"
#include "views/settings/SettingsLook.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

AutoPasteSection::AutoPasteSection(AccessibilityAuth& accessibility, QWidget* parent)
    : SettingsSection(
          tr("Clipboard auto-paste"),
          tr("When granted, picking an item in the quick-paste picker types it right where you were "
             "— no manual ⌘V."),
          parent)
    , m_accessibility(accessibility) {
    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    m_symbol = new QLabel(this);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("accessibilityStatus"));
    m_text->setFont(SettingsLook::font(12, QFont::Medium));
    m_text->setWordWrap(true);
    // There is no system settings pane to send the user to here: asking is the one way.
    m_grant = new QPushButton(tr("Grant access…"), this);
    m_grant->setFont(SettingsLook::font(11));
    m_grant->setDefault(false);
    line->addWidget(m_symbol);
    line->addWidget(m_text, 1);
    line->addWidget(m_grant);
    addContent(line);
    connect(m_grant, &QPushButton::clicked, &accessibility, &AccessibilityAuth::request);
    connect(&accessibility, &AccessibilityAuth::isTrustedChanged, this, &AutoPasteSection::refresh);
    refresh();
}

void AutoPasteSection::refresh() {
    const bool trusted = m_accessibility.isTrusted();
    m_symbol->setPixmap(Icons::pixmap(
        trusted ? QStringLiteral("checkmark.seal.fill") : QStringLiteral("exclamationmark.triangle.fill"),
        QSize(14, 14), trusted ? SystemColors::green() : SystemColors::orange(), devicePixelRatioF()));
    m_text->setText(trusted ? tr("Accessibility access granted")
                            : tr("Accessibility access not granted — picking an item just copies it"));
    m_grant->setVisible(!trusted);
}

QString AutoPasteSection::statusText() const {
    return m_text->text();
}
