// The command form's file chooser on Linux: a Qt file dialog kept above the island.
#pragma once

#include "services/CommandsService.h"

#include <QPointer>
#include <QWidget>

namespace FileDialogPicker {

// Runs a modal dialog for `request` over `parent`'s window; the chosen path, or nothing when cancelled.
// A path request takes a file or a folder, whichever is selected when the user confirms.
std::optional<QString> pick(const CommandsService::PickRequest& request, QWidget* parent);

// A picker for `CommandsService::setFilePicker` whose dialogs belong to `parent` while it lives.
CommandsService::FilePicker forWidget(QWidget* parent);

} // namespace FileDialogPicker
