// "Features": the island's tabs in their order, each switched on or off and moved up or down, and
// the custom tabs added, edited and deleted through their form.
#pragma once

#include "model/TabSelection.h"
#include "views/settings/CustomTabForm.h"
#include "views/settings/SettingsSection.h"

#include <QUuid>

#include <optional>

class CustomTabsService;
class QPushButton;
class QVBoxLayout;
class SettingsService;
class Switch;

class FeaturesSection : public SettingsSection {
    Q_OBJECT
public:
    FeaturesSection(SettingsService& settings, CustomTabsService& customTabs, QWidget* parent = nullptr);

    void startNewTabForm();
    void startEditForm(const CustomTab& tab);
    void saveTabForm();

    bool showingTabForm() const { return m_showingTabForm; }
    std::optional<QUuid> editingTabID() const { return m_editingTabID; }
    CustomTabForm* form() const { return m_form; }
    QPushButton* addButton() const { return m_add; }
    // The row of an entry of the order (named "row:<id>"), if shown.
    QWidget* rowFor(const TabSelection& entry) const;
    // The parts of a row, looked up by their names.
    static Switch* rowSwitch(QWidget* row);
    static QWidget* rowButton(QWidget* row, const QString& symbol);

private:
    void rebuildList();
    // A row's widgets and their actions; refreshRow() gives them the entry's current state.
    QWidget* tabRow(const TabSelection& entry);
    void refreshRow(QWidget* row, const TabSelection& entry, int index, int count);
    void showForm(bool shown);

    SettingsService& m_settings;
    CustomTabsService& m_customTabs;
    QWidget* m_list;
    QVBoxLayout* m_listLayout;
    QPushButton* m_add;
    CustomTabForm* m_form;
    bool m_showingTabForm = false;
    std::optional<QUuid> m_editingTabID;
    bool m_rebuildQueued = false;
    QList<TabSelection> m_shown; // the entries whose rows are in the list, in order
};
