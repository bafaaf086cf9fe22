// Folder and file-or-folder choosers built on QFileDialog.
#include "views/FileDialogPicker.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

// Qt's dialogs choose either files or folders; this one takes whichever existing entry is selected.
class PathDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    QString chosen;

    void accept() override {
        QString path = selectedFiles().value(0);
        if (path.isEmpty())
            path = directory().absolutePath();
        const QFileInfo info(path);
        if (!info.exists())
            return; // a typed name that is not there: keep the dialog open
        chosen = info.absoluteFilePath();
        QDialog::accept();
    }
};

} // namespace

namespace FileDialogPicker {

std::optional<QString> pick(const CommandsService::PickRequest& request, QWidget* parent) {
    PathDialog dialog(parent ? parent->window() : nullptr, request.message);
    // The desktop's own dialog may open behind the island, and cannot be driven under Xvfb.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.setLabelText(QFileDialog::Accept, request.prompt);
    dialog.setFileMode(request.foldersOnly ? QFileDialog::Directory : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ShowDirsOnly, request.foldersOnly);
    dialog.setModal(true);
    dialog.raise();
    dialog.activateWindow();
    if (dialog.exec() != QDialog::Accepted || dialog.chosen.isEmpty())
        return std::nullopt;
    return dialog.chosen;
}

CommandsService::FilePicker forWidget(QWidget* parent) {
    QPointer<QWidget> owner(parent);
    return [owner](const CommandsService::PickRequest& request) -> std::optional<QString> {
        if (!owner)
            return std::nullopt;
        return pick(request, owner);
    };
}

} // namespace FileDialogPicker
