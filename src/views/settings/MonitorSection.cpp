// The monitor section; see MonitorSection.h.
#include "views/settings/MonitorSection.h"

#include "services/SettingsService.h"

#include <QComboBox>
#include <QHBoxLayout>

namespace {
const QString kAuto = QStringLiteral("auto");
}

MonitorSection::MonitorSection(SettingsService& settings, ScreenSource screens, QWidget* parent)
    : SettingsSection(tr("Monitor"),
                      tr("Choose which display the island lives on. On Automatic it follows the notch, or "
                         "the main display."),
                      parent)
    , m_settings(settings)
    , m_screens(std::move(screens)) {
    m_picker = new QComboBox(this);
    m_picker->setMaximumWidth(260);
    m_picker->setAccessibleName(tr("Monitor"));
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* line = new QHBoxLayout;
    line->addWidget(m_picker, 1);
    line->addStretch(1);
    addContent(line);
    connect(m_picker, &QComboBox::activated, this,
            [this](int index) { m_settings.setPreferredScreen(m_picker->itemData(index).toString()); });
    connect(&settings, &SettingsService::preferredScreenChanged, this, &MonitorSection::rebuild);
    rebuild();
}

void MonitorSection::screensChanged() {
    rebuild();
}

void MonitorSection::rebuild() {
    const QSignalBlocker block(m_picker);
    m_picker->clear();
    m_picker->addItem(tr("Automatic"), kAuto);
    const QString preferred = m_settings.preferredScreen();
    bool found = preferred == kAuto;
    for (const ScreenChoice& choice : m_screens ? m_screens() : QList<ScreenChoice>()) {
        if (choice.id.isEmpty())
            continue;
        m_picker->addItem(choice.name, choice.id);
        found = found || choice.id == preferred;
    }
    if (!found)
        m_picker->addItem(tr("Chosen monitor (disconnected)"), preferred);
    m_picker->setCurrentIndex(m_picker->findData(preferred));
}
