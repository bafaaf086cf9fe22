// The form that adds or edits a custom tab: a name, the kind, then the command and its refresh for a
// script tab or the address for a web tab. It holds the drafts; the features section decides what
// Save does with them.
#pragma once

#include "model/CustomTab.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QWidget;

class CustomTabForm : public QWidget {
    Q_OBJECT
public:
    explicit CustomTabForm(QWidget* parent = nullptr);

    // The refresh choices of the menu, in order: seconds and their labels.
    static const QList<std::pair<qint64, QString>>& refreshChoices();

    struct Draft {
        QString name;
        CustomTab::Kind kind = CustomTab::Kind::script;
        QString command;
        QString url;
        qint64 refreshSeconds = 0;
    };
    // Fills the fields; a refresh value outside the menu shows no choice and is kept as it is.
    void setDraft(const Draft& draft);
    Draft draft() const { return m_draft; }
    // The name is not blank, and a script has a command, a web tab an address the tab can open.
    static bool isValid(const Draft& draft);
    // The tab the drafts make of `base` (its id and switch are kept).
    static CustomTab apply(const Draft& draft, CustomTab base);

    QLineEdit* nameField() const { return m_name; }
    QToolButton* scriptButton() const { return m_script; }
    QToolButton* webButton() const { return m_web; }
    QPlainTextEdit* commandField() const { return m_command; }
    QComboBox* refreshMenu() const { return m_refresh; }
    QLineEdit* urlField() const { return m_url; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }

signals:
    void saveRequested();
    void cancelRequested();

private:
    void showKind();
    void updateSave();

    Draft m_draft;
    bool m_filling = false;
    QLineEdit* m_name;
    QToolButton* m_script;
    QToolButton* m_web;
    QWidget* m_scriptPart;
    QPlainTextEdit* m_command;
    QComboBox* m_refresh;
    QWidget* m_webPart;
    QLineEdit* m_url;
    QPushButton* m_save;
    QPushButton* m_cancel;
};
