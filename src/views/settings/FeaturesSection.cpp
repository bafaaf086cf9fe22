// The features section; see FeaturesSection.h.
#include "views/settings/FeaturesSection.h"

#include "services/CustomTabsService.h"
#include "services/SettingsService.h"
#include "views/Icons.h"
#include "views/Switch.h"
#include "views/settings/SettingsLook.h"
#include "views/settings/SettingsMoveButton.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

FeaturesSection::FeaturesSection(SettingsService& settings, CustomTabsService& customTabs, QWidget* parent)
    : SettingsSection(
          QStringLiteral("Features"),
          QStringLiteral("Choose which tabs appear in the island, and their order. Custom tabs mix in "
                         "with the built-in ones."),
          parent)
    , m_settings(settings)
    , m_customTabs(customTabs) {
    m_list = new QWidget(this);
    m_list->setObjectName(QStringLiteral("tabList"));
    m_list->setAttribute(Qt::WA_StyledBackground);
    m_list->setStyleSheet(SettingsLook::boxStyle("tabList", 10));
    m_listLayout = new QVBoxLayout(m_list);
    m_listLayout->setContentsMargins(12, 0, 12, 0);
    m_listLayout->setSpacing(0);
    // Not reached by Tab itself; it anchors the rows' place in the Tab chain.
    m_list->setFocusPolicy(Qt::ClickFocus);
    addContent(m_list);
    addContent(SettingsLook::note(
        tr("At least one tab stays on. New features are added at the end automatically."), 11, this));

    m_add = new QPushButton(Icons::icon(QStringLiteral("plus"), palette().color(QPalette::ButtonText)),
                            tr("Add custom tab…"), this);
    m_add->setToolTip(tr("A shell command whose output lives in the island, or an embedded web page."));
    m_add->setFont(SettingsLook::font(11));
    auto* addRow = new QHBoxLayout;
    addRow->addWidget(m_add);
    addRow->addStretch(1);
    addContent(addRow);
    m_form = new CustomTabForm(this);
    addContent(m_form);
    showForm(false);

    connect(m_add, &QPushButton::clicked, this, &FeaturesSection::startNewTabForm);
    connect(m_form, &CustomTabForm::saveRequested, this, &FeaturesSection::saveTabForm);
    connect(m_form, &CustomTabForm::cancelRequested, this, [this] {
        m_editingTabID.reset();
        showForm(false);
        m_add->setFocus();
    });
    // Several notices come in one change (a new custom tab changes the tabs, then the order): one
    // rebuild after them is enough.
    auto queue = [this] {
        if (m_rebuildQueued)
            return;
        m_rebuildQueued = true;
        QTimer::singleShot(0, this, [this] { rebuildList(); });
    };
    connect(&settings, &SettingsService::tabOrderChanged, this, queue);
    connect(&settings, &SettingsService::disabledTabsChanged, this, queue);
    connect(&customTabs, &CustomTabsService::tabsChanged, this, queue);
    rebuildList();
}

QWidget* FeaturesSection::rowFor(const TabSelection& entry) const {
    return m_list->findChild<QWidget*>(QStringLiteral("row:") + entry.id(), Qt::FindDirectChildrenOnly);
}

Switch* FeaturesSection::rowSwitch(QWidget* row) {
    return row ? row->findChild<Switch*>() : nullptr;
}

QWidget* FeaturesSection::rowButton(QWidget* row, const QString& symbol) {
    if (!row)
        return nullptr;
    for (auto* b : row->findChildren<SettingsMoveButton*>())
        if (b->symbol() == symbol)
            return b;
    return nullptr;
}

void FeaturesSection::rebuildList() {
    m_rebuildQueued = false;
    // The rows shown: the entries of the order whose tab exists.
    QList<TabSelection> shown;
    for (const TabSelection& entry : m_settings.tabOrder())
        if (entry.isBuiltin() || m_customTabs.tab(entry.uuid()))
            shown << entry;
    // Only switches, names or symbols changed: the rows stay, so a press or the keyboard focus on
    // them survives the change.
    if (shown == m_shown) {
        for (int i = 0; i < shown.size(); ++i)
            refreshRow(rowFor(shown.at(i)), shown.at(i), i, int(shown.size()));
        return;
    }
    m_shown = shown;

    // Keep the keyboard where it was: the same control of the same entry, when it is still there.
    QString focusRow;
    QString focusName;
    if (QWidget* f = QApplication::focusWidget(); f && m_list->isAncestorOf(f)) {
        focusName = f->objectName();
        for (QWidget* w = f; w && w != m_list; w = w->parentWidget())
            if (w->objectName().startsWith(QLatin1String("row:")))
                focusRow = w->objectName();
    }
    m_list->setUpdatesEnabled(false);
    while (QLayoutItem* item = m_listLayout->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->setObjectName(QString()); // its entry's name goes to the new row
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    QWidget* refocus = nullptr;
    for (int i = 0; i < shown.size(); ++i) {
        QWidget* row = tabRow(shown.at(i));
        refreshRow(row, shown.at(i), i, int(shown.size()));
        if (i > 0) {
            auto* divider = new QFrame(m_list);
            divider->setFrameShape(QFrame::HLine);
            divider->setFrameShadow(QFrame::Plain);
            divider->setStyleSheet(QStringLiteral("margin-left: 42px; color: palette(mid);"));
            m_listLayout->addWidget(divider);
        }
        m_listLayout->addWidget(row);
        if (row->objectName() == focusRow) {
            for (QWidget* w : row->findChildren<QWidget*>())
                if (w->objectName() == focusName && w->isEnabled())
                    refocus = w;
            if (!refocus)
                refocus = rowSwitch(row);
        }
    }
    // New rows join the end of the window's Tab chain; put them back where the list stands.
    QWidget* previous = m_list;
    for (const TabSelection& entry : shown) {
        for (QWidget* w : rowFor(entry)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->focusPolicy() & Qt::TabFocus) {
                QWidget::setTabOrder(previous, w);
                previous = w;
            }
        }
    }
    m_list->setUpdatesEnabled(true);
    if (refocus)
        refocus->setFocus();
}

QWidget* FeaturesSection::tabRow(const TabSelection& entry) {
    auto* row = new QWidget(m_list);
    row->setObjectName(QStringLiteral("row:") + entry.id());
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 8, 0, 8);
    line->setSpacing(10);

    auto* toggle = new Switch(QString(), Switch::Size::small, row);
    toggle->setObjectName(QStringLiteral("switch"));
    auto* icon = new QLabel(row);
    icon->setObjectName(QStringLiteral("icon"));
    auto* title = new QLabel(row);
    title->setObjectName(QStringLiteral("title"));
    title->setTextFormat(Qt::PlainText);
    title->setFont(SettingsLook::font(13, QFont::Medium));
    line->addWidget(toggle);
    line->addWidget(icon);
    line->addWidget(title, 1);

    auto* up = new SettingsMoveButton(QStringLiteral("chevron.up"), QStringLiteral("Move up"), row);
    up->setObjectName(QStringLiteral("up"));
    auto* down = new SettingsMoveButton(QStringLiteral("chevron.down"), QStringLiteral("Move down"), row);
    down->setObjectName(QStringLiteral("down"));
    line->addWidget(up);
    line->addWidget(down);
    connect(up, &QToolButton::clicked, this, [this, entry] { m_settings.moveTab(entry, -1); });
    connect(down, &QToolButton::clicked, this, [this, entry] { m_settings.moveTab(entry, 1); });

    if (entry.isCustom()) {
        const QUuid id = entry.uuid();
        auto* edit = new SettingsMoveButton(QStringLiteral("pencil"), tr("Edit"), row);
        edit->setObjectName(QStringLiteral("edit"));
        auto* remove = new SettingsMoveButton(QStringLiteral("trash"), tr("Delete"), row);
        remove->setObjectName(QStringLiteral("delete"));
        line->addWidget(edit);
        line->addWidget(remove);
        // The tab is looked up at the press: it may have been edited since the row was made.
        connect(toggle, &Switch::toggled, this, [this, id](bool enabled) {
            if (const auto tab = m_customTabs.tab(id))
                m_customTabs.setEnabled(*tab, enabled);
        });
        connect(edit, &QToolButton::clicked, this, [this, id] {
            if (const auto tab = m_customTabs.tab(id))
                startEditForm(*tab);
        });
        connect(remove, &QToolButton::clicked, this, [this, id] {
            if (const auto tab = m_customTabs.tab(id))
                m_customTabs.remove(*tab);
        });
    } else {
        // Room for a custom row's edit and delete buttons, so that every row's arrows stand in one column.
        line->addSpacing(2 * (SettingsMoveButton::kSide + line->spacing()));
        const DashboardTab tab = entry.tab();
        connect(toggle, &Switch::toggled, this, [this, tab, toggle](bool enabled) {
            m_settings.setTab(tab, enabled);
            // A refused switch-off (the last tab on) springs back.
            const bool actual = !m_settings.disabledTabs().contains(tab);
            if (actual != enabled) {
                const QSignalBlocker block(toggle);
                toggle->setChecked(actual);
            }
        });
    }
    return row;
}

void FeaturesSection::refreshRow(QWidget* row, const TabSelection& entry, int index, int count) {
    if (!row)
        return;
    std::optional<CustomTab> custom;
    if (entry.isCustom())
        custom = m_customTabs.tab(entry.uuid());
    const bool on = custom ? custom->enabled : !m_settings.disabledTabs().contains(entry.tab());
    const QString name = custom ? custom->name : entry.tab().title();
    const QString symbol = custom ? (custom->kind == CustomTab::Kind::web ? QStringLiteral("globe")
                                                                          : QStringLiteral("terminal.fill"))
                                  : entry.tab().icon();
    Switch* toggle = rowSwitch(row);
    {
        const QSignalBlocker block(toggle);
        toggle->setChecked(on);
    }
    toggle->setAccessibleName(name);
    // The last built-in tab that is on cannot be switched off here; custom tabs may all be off.
    toggle->setEnabled(custom || !(on && m_settings.enabledTabs().size() == 1));
    const QColor textColor = on ? palette().color(QPalette::WindowText) : SettingsLook::secondary(palette());
    auto* icon = row->findChild<QLabel*>(QStringLiteral("icon"));
    icon->setPixmap(Icons::pixmap(symbol, QSize(14, 14), textColor, devicePixelRatioF()));
    auto* title = row->findChild<QLabel*>(QStringLiteral("title"));
    title->setText(name);
    SettingsLook::setTextColor(title, textColor);
    rowButton(row, QStringLiteral("chevron.up"))->setEnabled(index > 0);
    rowButton(row, QStringLiteral("chevron.down"))->setEnabled(index < count - 1);
}

void FeaturesSection::showForm(bool shown) {
    m_showingTabForm = shown;
    m_form->setVisible(shown);
    m_add->setVisible(!shown);
}

void FeaturesSection::startNewTabForm() {
    m_editingTabID.reset();
    m_form->setDraft(CustomTabForm::Draft());
    showForm(true);
    m_form->nameField()->setFocus();
}

void FeaturesSection::startEditForm(const CustomTab& tab) {
    m_editingTabID = tab.id;
    CustomTabForm::Draft draft;
    draft.name = tab.name;
    draft.kind = tab.kind;
    draft.command = tab.command;
    draft.url = tab.url;
    draft.refreshSeconds = tab.refreshSeconds;
    m_form->setDraft(draft);
    showForm(true);
    m_form->nameField()->setFocus();
}

void FeaturesSection::saveTabForm() {
    const CustomTabForm::Draft draft = m_form->draft();
    if (!CustomTabForm::isValid(draft))
        return;
    std::optional<CustomTab> base;
    if (m_editingTabID)
        base = m_customTabs.tab(*m_editingTabID);
    if (!base) {
        // A new tab, or the edited one was deleted meanwhile: it comes back as a new tab, switched on.
        base = CustomTab();
        base->id = QUuid::createUuid();
        base->enabled = true;
    }
    m_customTabs.save(CustomTabForm::apply(draft, *base));
    m_editingTabID.reset();
    showForm(false);
    m_add->setFocus();
}
