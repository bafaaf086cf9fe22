// The updates section; see UpdatesSection.h.
#include "views/settings/UpdatesSection.h"

#include "views/Switch.h"
#include "views/SystemColors.h"
#include "views/settings/SettingsLook.h"
#include "views/settings/SwitchRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

UpdatesSection::UpdatesSection(const QString& currentVersion, QWidget* parent)
    : SettingsSection(QStringLiteral("Updates"), QStringLiteral("Installed version: ") + currentVersion,
                      parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    m_check = new QPushButton(tr("Check for updates"), this);
    m_spinner = new QProgressBar(this);
    m_spinner->setRange(0, 0);
    m_spinner->setTextVisible(false);
    m_spinner->setFixedSize(40, 8);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("updateStatus"));
    m_status->setFont(SettingsLook::font(11));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(m_check);
    row->addWidget(m_spinner);
    row->addWidget(m_status, 1);
    row->addStretch(1); // keeps the button its own size while no status shows
    addContent(row);

    m_offer = new QWidget(this);
    m_offer->setObjectName(QStringLiteral("updateOffer"));
    m_offer->setAttribute(Qt::WA_StyledBackground);
    m_offer->setStyleSheet(SettingsLook::boxStyle("updateOffer", 10));
    auto* offer = new QVBoxLayout(m_offer);
    offer->setContentsMargins(12, 12, 12, 12);
    offer->setSpacing(6);
    m_offerTitle = new QLabel(m_offer);
    m_offerTitle->setFont(SettingsLook::font(13, QFont::DemiBold));
    m_notes = SettingsLook::note(QString(), 11, m_offer);
    m_notes->setTextFormat(Qt::PlainText);
    m_updateNow = new QPushButton(tr("Update now"), m_offer);
    auto* nowRow = new QHBoxLayout;
    nowRow->addWidget(m_updateNow);
    nowRow->addStretch(1);
    offer->addWidget(m_offerTitle);
    offer->addWidget(m_notes);
    offer->addLayout(nowRow);
    addContent(m_offer);

    const QString autoTitle = tr("Check automatically (once a day)");
    m_auto = new Switch(autoTitle, Switch::Size::regular, this);
    m_auto->setObjectName(QStringLiteral("autoCheck"));
    addContent(SwitchRow::make(m_auto, autoTitle, QString(), this, 12));

    connect(m_check, &QPushButton::clicked, this, &UpdatesSection::checkRequested);
    connect(m_updateNow, &QPushButton::clicked, this, &UpdatesSection::installRequested);
    connect(m_auto, &Switch::toggled, this, &UpdatesSection::autoCheckToggled);
    refresh();
}

void UpdatesSection::setState(const State& state) {
    m_state = state;
    refresh();
}

void UpdatesSection::setAutoCheck(bool on) {
    const QSignalBlocker block(m_auto);
    m_auto->setChecked(on);
}

void UpdatesSection::refresh() {
    using Kind = State::Kind;
    const Kind kind = m_state.kind;
    m_check->setEnabled(kind != Kind::checking && kind != Kind::downloading);

    QString text;
    QColor color = SettingsLook::secondary(palette());
    switch (kind) {
    case Kind::idle:
    case Kind::available:
        break;
    case Kind::checking:
        text = tr("Checking…");
        break;
    case Kind::upToDate:
        text = tr("You're on the latest version ✓");
        break;
    case Kind::downloading:
        text = tr("Downloading…");
        break;
    case Kind::installing:
        text = m_state.progress >= 0 ? tr("Unpacking the update — %1 %").arg(m_state.progress)
                                     : tr("Installing — the app will reopen…");
        break;
    case Kind::error:
        text = m_state.message;
        // A failed automatic check is no alarm: the next one tries again.
        if (!m_state.quiet)
            color = SystemColors::red();
        break;
    }
    m_status->setText(text);
    // The unpacking line is short and changes every percent: kept on one line, as wide as at 100 %, so
    // neither the number nor the row jumps. Every other line wraps to the room there is.
    const bool measured = kind == Kind::installing && m_state.progress >= 0;
    m_status->setWordWrap(!measured);
    m_status->setMinimumWidth(
        measured ? m_status->fontMetrics().horizontalAdvance(tr("Unpacking the update — %1 %").arg(100)) : 0);
    m_status->setVisible(!text.isEmpty());
    SettingsLook::setTextColor(m_status, color);
    m_spinner->setVisible(kind == Kind::downloading || kind == Kind::installing);
    // A bar that fills while the archive unpacks; a busy one otherwise.
    m_spinner->setRange(0, measured ? 100 : 0);
    m_spinner->setValue(measured ? m_state.progress : 0);

    m_offer->setVisible(kind == Kind::available);
    if (kind == Kind::available) {
        m_offerTitle->setText(tr("Version %1 is available 🎉").arg(m_state.version));
        // At most five lines of notes: the first five written lines, and as tall as five wrapped ones.
        QStringList lines = m_state.notes.split(u'\n');
        if (lines.size() > maxNoteLines)
            lines = lines.mid(0, maxNoteLines);
        m_notes->setText(lines.join(u'\n'));
        m_notes->setMaximumHeight(m_notes->fontMetrics().lineSpacing() * maxNoteLines + 2);
        m_notes->setVisible(!m_state.notes.isEmpty());
    }
}
