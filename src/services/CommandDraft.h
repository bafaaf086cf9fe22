// The add/edit form of a saved command: whether it shows, its three fields, the command being edited,
// and the file pickers that fill the fields.
#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class CommandDraft : public QObject {
    Q_OBJECT

public:
    // What a file chooser of the form is asked for; the answer is a path, or nothing when cancelled.
    struct PickRequest {
        bool foldersOnly = false;
        QString prompt;
        QString message;
    };
    using FilePicker = std::function<std::optional<QString>(const PickRequest&)>;

    explicit CommandDraft(QObject* parent = nullptr);

    bool showingForm() const { return m_showingForm; }
    const QString& name() const { return m_name; }
    const QString& command() const { return m_command; }
    const QString& folder() const { return m_folder; }
    QUuid editingID() const { return m_editingID; }
    bool pickerOpen() const { return m_pickerOpen; }

    void setShowingForm(bool value);
    void setName(const QString& value);
    void setCommand(const QString& value);
    void setFolder(const QString& value);
    void setEditingID(const QUuid& value);

    // Empties the fields and closes the form.
    void clear();

    void setFilePicker(FilePicker picker) { m_filePicker = std::move(picker); }
    // Runs the picker modally (pickerOpen meanwhile); a chosen folder replaces the folder field.
    void pickFolder();
    // The same for any path, which is appended to the command as one shell word.
    void pickPath();

    // The whitespace trim of the form: spaces, tabs and other space separators, never line breaks.
    static QString trimmed(const QString& text);
    // `command` with `path` appended as one word: single-quoted whenever the shell would interpret any
    // of its characters, one space between them unless the command is empty or already ends in one.
    static QString withPath(const QString& command, const QString& path);

signals:
    void showingFormChanged();
    void nameChanged();
    void commandChanged();
    void folderChanged();
    void editingIDChanged();
    void pickerOpenChanged();

private:
    std::optional<QString> runPicker(const PickRequest& request);

    bool m_showingForm = false;
    QString m_name;
    QString m_command;
    QString m_folder;
    QUuid m_editingID;
    bool m_pickerOpen = false;
    FilePicker m_filePicker;
};
