// The shortcuts section; see ShortcutsSection.h.
#include "views/settings/ShortcutsSection.h"

#include "services/SettingsService.h"
#include "views/SystemColors.h"
#include "views/settings/HotkeyRecorder.h"
#include "views/settings/SettingsLook.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

ShortcutsSection::ShortcutsSection(SettingsService& settings, QWidget* parent)
    : SettingsSection(QStringLiteral("Global shortcuts"),
                      QStringLiteral("Open the island, or the quick-paste picker, from any app."), parent)
    , m_settings(settings) {
    // Recordings start here, so the keyboard is watched for them from here.
    m_recorder = new HotkeyRecorder(settings, this);
    m_island = makeRow(tr("Open/close the island"), HotkeyTarget::island);
    m_picker = makeRow(tr("Clipboard quick-paste"), HotkeyTarget::clipboardPicker);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("shortcutProblem"));
    m_problem->setFont(SettingsLook::font(11, QFont::Medium));
    m_problem->setWordWrap(true);
    SettingsLook::setTextColor(m_problem, SystemColors::red());
    m_problem->hide();
    addContent(m_problem);
    addContent(SettingsLook::note(
        tr("Use at least one modifier: ⌘, ⌥, ⌃ or ⇧. Press Esc to cancel recording."), 11, this));

    connect(&settings, &SettingsService::recordingChanged, this, [this] {
        if (m_settings.recording())
            showProblem(QString());
        refresh();
    });
    for (auto signal :
         {&SettingsService::hotkeyDisplayChanged, &SettingsService::clipboardHotkeyDisplayChanged,
          &SettingsService::hotkeyKeyCodeChanged, &SettingsService::clipboardHotkeyKeyCodeChanged})
        connect(&settings, signal, this, &ShortcutsSection::refresh);
    connect(&settings, &SettingsService::recordingRefused, this, &ShortcutsSection::showProblem);
    refresh();
}

ShortcutsSection::Row ShortcutsSection::makeRow(const QString& label, HotkeyTarget target) {
    auto* line = new QHBoxLayout;
    line->setSpacing(10);
    auto* name = new QLabel(label, this);
    name->setFont(SettingsLook::font(12));
    name->setFixedWidth(150);
    Row row;
    row.key = new QLabel(this);
    row.key->setObjectName(target == HotkeyTarget::island ? QStringLiteral("islandKey")
                                                          : QStringLiteral("pickerKey"));
    row.key->setFont(SettingsLook::monospace(13, QFont::DemiBold));
    row.key->setMinimumWidth(80);
    row.key->setAlignment(Qt::AlignCenter);
    row.key->setTextInteractionFlags(Qt::NoTextInteraction);
    row.record = new QPushButton(this);
    row.remove = new QPushButton(tr("Remove"), this);
    for (QPushButton* b : {row.record, row.remove})
        b->setFont(SettingsLook::font(11));
    line->addWidget(name);
    line->addWidget(row.key);
    line->addWidget(row.record);
    line->addWidget(row.remove);
    line->addStretch(1);
    addContent(line);

    connect(row.record, &QPushButton::clicked, this, [this, target] {
        if (m_settings.recording() && m_settings.recordingTarget() == target)
            m_settings.endRecording();
        else
            m_settings.beginRecording(target);
    });
    connect(row.remove, &QPushButton::clicked, this, [this, target] { m_settings.clearHotkey(target); });
    return row;
}

void ShortcutsSection::refresh() {
    const bool recording = m_settings.recording();
    for (HotkeyTarget target : {HotkeyTarget::island, HotkeyTarget::clipboardPicker}) {
        const Row& row = this->row(target);
        const bool island = target == HotkeyTarget::island;
        const bool mine = recording && m_settings.recordingTarget() == target;
        const int code = island ? m_settings.hotkeyKeyCode() : m_settings.clipboardHotkeyKeyCode();
        row.key->setText(mine ? tr("Press the keys…")
                              : (island ? m_settings.hotkeyDisplay() : m_settings.clipboardHotkeyDisplay()));
        const QColor text = mine ? SystemColors::orange() : palette().color(QPalette::Text);
        row.key->setStyleSheet(
            QStringLiteral("QLabel { color: %1; background: palette(base); border-radius: 8px;"
                           " padding: 6px 10px; }")
                .arg(text.name(QColor::HexArgb)));
        row.record->setText(mine ? tr("Cancel") : tr("Record new…"));
        row.remove->setVisible(code >= 0 && !recording);
    }
}

void ShortcutsSection::showProblem(const QString& message) {
    m_problem->setText(message);
    m_problem->setVisible(!message.isEmpty());
}

QString ShortcutsSection::problem() const {
    return m_problem->text();
}
