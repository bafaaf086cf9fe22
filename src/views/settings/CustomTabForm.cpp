// The custom tab form; see CustomTabForm.h.
#include "views/settings/CustomTabForm.h"

#include "views/settings/SettingsLook.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// Only spaces and tabs: a name or address keeps any other character the user typed.
QString trimBlanks(const QString& text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && (text.at(start) == u' ' || text.at(start) == u'\t'))
        ++start;
    while (end > start && (text.at(end - 1) == u' ' || text.at(end - 1) == u'\t'))
        --end;
    return text.mid(start, end - start);
}
} // namespace

const QList<std::pair<qint64, QString>>& CustomTabForm::refreshChoices() {
    static const QList<std::pair<qint64, QString>> choices{{0, tr("Manual only")}, {5, tr("5s")},
                                                           {15, tr("15s")},        {30, tr("30s")},
                                                           {60, tr("1 min")},      {300, tr("5 min")}};
    return choices;
}

CustomTabForm::CustomTabForm(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("customTabForm"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(SettingsLook::boxStyle("customTabForm", 10));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    m_name = new QLineEdit(this);
    m_name->setPlaceholderText(tr("Tab name"));
    m_name->setMaximumWidth(200);
    m_script = new QToolButton(this);
    m_script->setText(tr("Script"));
    m_web = new QToolButton(this);
    m_web->setText(tr("Web page"));
    auto* kinds = new QButtonGroup(this);
    kinds->setExclusive(true);
    for (QToolButton* b : {m_script, m_web}) {
        b->setCheckable(true);
        b->setFocusPolicy(Qt::StrongFocus);
        b->setMaximumWidth(90);
        kinds->addButton(b);
    }
    top->addWidget(m_name, 1);
    top->addWidget(m_script);
    top->addWidget(m_web);
    top->addStretch(0);
    layout->addLayout(top);

    m_scriptPart = new QWidget(this);
    auto* script = new QVBoxLayout(m_scriptPart);
    script->setContentsMargins(0, 0, 0, 0);
    script->setSpacing(6);
    m_command = new QPlainTextEdit(m_scriptPart);
    m_command->setFont(SettingsLook::monospace(12));
    m_command->setFixedHeight(64);
    m_command->setTabChangesFocus(true); // Tab moves on, as everywhere else in the window
    script->addWidget(m_command);
    script->addWidget(SettingsLook::note(
        tr("Runs in zsh with your usual PATH. The output shows up in the tab."), 11, m_scriptPart));
    auto* refreshRow = new QHBoxLayout;
    refreshRow->setSpacing(8);
    auto* refreshLabel = new QLabel(tr("Auto refresh"), m_scriptPart);
    refreshLabel->setFont(SettingsLook::font(12));
    m_refresh = new QComboBox(m_scriptPart);
    m_refresh->setMaximumWidth(130);
    for (const auto& [seconds, label] : refreshChoices())
        m_refresh->addItem(label, seconds);
    refreshLabel->setBuddy(m_refresh);
    refreshRow->addWidget(refreshLabel);
    refreshRow->addWidget(m_refresh);
    refreshRow->addStretch(1);
    script->addLayout(refreshRow);
    layout->addWidget(m_scriptPart);

    m_webPart = new QWidget(this);
    auto* web = new QVBoxLayout(m_webPart);
    web->setContentsMargins(0, 0, 0, 0);
    web->setSpacing(6);
    m_url = new QLineEdit(m_webPart);
    m_url->setPlaceholderText(tr("http://localhost:3000"));
    m_url->setFont(SettingsLook::monospace(12));
    m_url->setMaximumWidth(320);
    web->addWidget(m_url);
    web->addWidget(SettingsLook::note(
        tr("Any address works: localhost, a dashboard, a local HTML file (file://…)."), 11, m_webPart));
    layout->addWidget(m_webPart);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_save = new QPushButton(tr("Save"), this);
    m_cancel = new QPushButton(tr("Cancel"), this);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(m_name, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_draft.name = t;
        updateSave();
    });
    connect(m_command, &QPlainTextEdit::textChanged, this, [this] {
        m_draft.command = m_command->toPlainText();
        updateSave();
    });
    connect(m_url, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_draft.url = t;
        updateSave();
    });
    connect(m_refresh, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_filling && index >= 0)
            m_draft.refreshSeconds = m_refresh->itemData(index).toLongLong();
    });
    connect(m_script, &QToolButton::toggled, this, [this](bool on) {
        if (on && !m_filling) {
            m_draft.kind = CustomTab::Kind::script;
            showKind();
        }
    });
    connect(m_web, &QToolButton::toggled, this, [this](bool on) {
        if (on && !m_filling) {
            m_draft.kind = CustomTab::Kind::web;
            showKind();
        }
    });
    connect(m_name, &QLineEdit::returnPressed, m_save, &QPushButton::click);
    connect(m_url, &QLineEdit::returnPressed, m_save, &QPushButton::click);
    connect(m_save, &QPushButton::clicked, this, [this] {
        if (isValid(m_draft))
            emit saveRequested();
    });
    connect(m_cancel, &QPushButton::clicked, this, &CustomTabForm::cancelRequested);
    setDraft(Draft());
}

void CustomTabForm::setDraft(const Draft& draft) {
    m_filling = true;
    m_draft = draft;
    m_name->setText(draft.name);
    m_command->setPlainText(draft.command);
    m_url->setText(draft.url);
    m_refresh->setCurrentIndex(m_refresh->findData(draft.refreshSeconds));
    (draft.kind == CustomTab::Kind::web ? m_web : m_script)->setChecked(true);
    m_filling = false;
    m_draft = draft; // the fields' own change signals must not have altered it
    showKind();
}

void CustomTabForm::showKind() {
    const bool web = m_draft.kind == CustomTab::Kind::web;
    m_scriptPart->setVisible(!web);
    m_webPart->setVisible(web);
    updateSave();
}

void CustomTabForm::updateSave() {
    m_save->setEnabled(isValid(m_draft));
}

bool CustomTabForm::isValid(const Draft& draft) {
    const QString name = trimBlanks(draft.name);
    if (name.isEmpty())
        return false;
    if (draft.kind == CustomTab::Kind::script)
        return !draft.command.trimmed().isEmpty();
    CustomTab probe;
    probe.name = name;
    probe.kind = CustomTab::Kind::web;
    probe.url = draft.url;
    return probe.resolvedURL().has_value();
}

CustomTab CustomTabForm::apply(const Draft& draft, CustomTab base) {
    base.name = trimBlanks(draft.name);
    base.kind = draft.kind;
    base.command = draft.command.trimmed();
    base.url = trimBlanks(draft.url);
    base.refreshSeconds = draft.refreshSeconds;
    return base;
}
