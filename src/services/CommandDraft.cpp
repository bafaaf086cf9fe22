#include "services/CommandDraft.h"

#include "services/Published.h"
#include "services/Shell.h"

#include <QCoreApplication>

namespace {

bool isSpaceNotBreak(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// Characters that a shell takes literally in a bare word.
bool isShellSafe(const QString& path) {
    for (QChar c : path) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                        QStringView(u"_@%+=:,./-").contains(c);
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

CommandDraft::CommandDraft(QObject* parent)
    : QObject(parent) {}

void CommandDraft::setShowingForm(bool value) {
    assignPublished(this, m_showingForm, value, &CommandDraft::showingFormChanged);
}

void CommandDraft::setName(const QString& value) {
    assignPublished(this, m_name, value, &CommandDraft::nameChanged);
}

void CommandDraft::setCommand(const QString& value) {
    assignPublished(this, m_command, value, &CommandDraft::commandChanged);
}

void CommandDraft::setFolder(const QString& value) {
    assignPublished(this, m_folder, value, &CommandDraft::folderChanged);
}

void CommandDraft::setEditingID(const QUuid& value) {
    assignPublished(this, m_editingID, value, &CommandDraft::editingIDChanged);
}

void CommandDraft::clear() {
    setEditingID(QUuid());
    setName(QString());
    setCommand(QString());
    setFolder(QString());
    setShowingForm(false);
}

std::optional<QString> CommandDraft::runPicker(const PickRequest& request) {
    if (!m_filePicker)
        return std::nullopt;
    assignPublished(this, m_pickerOpen, true, &CommandDraft::pickerOpenChanged);
    const auto path = m_filePicker(request);
    assignPublished(this, m_pickerOpen, false, &CommandDraft::pickerOpenChanged);
    if (!path || path->isEmpty())
        return std::nullopt;
    return path;
}

// The texts keep the service's catalogue context, where their translations are.
void CommandDraft::pickFolder() {
    if (const auto path = runPicker(
            {true, QCoreApplication::translate("CommandsService", "Usar esta pasta"),
             QCoreApplication::translate("CommandsService", "Escolha a pasta onde o comando vai rodar")}))
        setFolder(*path);
}

void CommandDraft::pickPath() {
    if (const auto path =
            runPicker({false, QCoreApplication::translate("CommandsService", "Usar caminho"),
                       QCoreApplication::translate("CommandsService",
                                                   "Choose the folder or file to insert into the command")}))
        setCommand(withPath(m_command, *path));
}

QString CommandDraft::trimmed(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && isSpaceNotBreak(text[begin]))
        ++begin;
    while (end > begin && isSpaceNotBreak(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString CommandDraft::withPath(const QString& command, const QString& path) {
    const QString inserted = isShellSafe(path) ? path : Shell::quote(path);
    QString out = command;
    if (!out.isEmpty() && !out.endsWith(u' '))
        out += u' ';
    return out + inserted;
}
