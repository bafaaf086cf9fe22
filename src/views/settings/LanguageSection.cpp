// The language section; see LanguageSection.h.
#include "views/settings/LanguageSection.h"

#include "services/LanguageService.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>

LanguageSection::LanguageSection(LanguageService& language, QWidget* parent)
    : SettingsSection(tr("Language"), tr("By default Quillbay follows your Mac's language."), parent)
    , m_language(language) {
    auto* line = new QHBoxLayout;
    line->setSpacing(10);
    m_picker = new QComboBox(this);
    m_picker->setMaximumWidth(220);
    m_picker->setAccessibleName(tr("Language"));
    for (const AppLanguage& l : AppLanguage::allCases()) {
        QString label;
        switch (l.value()) {
        case AppLanguage::system:
            label = tr("Follow system", "Opção de idioma");
            break;
        case AppLanguage::english:
            label = QStringLiteral("English");
            break;
        case AppLanguage::portuguese:
            label = QStringLiteral("Português");
            break;
        }
        m_picker->addItem(label, l.rawValue());
    }
    m_restart = new QPushButton(tr("Restart to apply"), this);
    m_restart->setDefault(false);
    line->addWidget(m_picker, 1);
    line->addWidget(m_restart);
    line->addStretch(1);
    addContent(line);

    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        if (const auto l = AppLanguage::fromRawValue(m_picker->itemData(index).toString()))
            m_language.setSelected(*l);
    });
    connect(m_restart, &QPushButton::clicked, &language, &LanguageService::reiniciar);
    connect(&language, &LanguageService::selectedChanged, this, &LanguageSection::refresh);
    connect(&language, &LanguageService::precisaReiniciarChanged, this, &LanguageSection::refresh);
    refresh();
}

void LanguageSection::refresh() {
    const QSignalBlocker block(m_picker);
    m_picker->setCurrentIndex(m_picker->findData(m_language.selected().rawValue()));
    m_restart->setVisible(m_language.precisaReiniciar());
}
