// A settings section; see SettingsSection.h.
#include "views/settings/SettingsSection.h"

#include "views/settings/SettingsLook.h"

#include <QLabel>
#include <QVBoxLayout>

SettingsSection::SettingsSection(const QString& title, const QString& description, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto* header = new QVBoxLayout;
    header->setSpacing(3);
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("sectionTitle"));
    m_title->setFont(SettingsLook::font(15, QFont::DemiBold));
    m_description = SettingsLook::note(description, 12, this);
    m_description->setObjectName(QStringLiteral("sectionDescription"));
    header->addWidget(m_title);
    header->addWidget(m_description);
    layout->addLayout(header);
}

QString SettingsSection::title() const {
    return m_title->text();
}

QString SettingsSection::description() const {
    return m_description->text();
}

void SettingsSection::addContent(QWidget* content) {
    static_cast<QVBoxLayout*>(layout())->addWidget(content);
}

void SettingsSection::addContent(QBoxLayout* content) {
    static_cast<QVBoxLayout*>(layout())->addLayout(content);
}
