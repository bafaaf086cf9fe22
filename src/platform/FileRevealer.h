// Showing files, selected, in the desktop's file manager.
#pragma once

#include <QStringList>
#include <QtGlobal>

class FileRevealer {
public:
    FileRevealer() = default;
    virtual ~FileRevealer() = default;
    Q_DISABLE_COPY_MOVE(FileRevealer)

    // Opens a file manager window with the files at these absolute paths selected (one window for the
    // list); where no file manager takes the request, opens the first file's folder. Returns at once;
    // the outcome is not reported, and a path that no longer exists is handed on unchanged.
    virtual void reveal(const QStringList& paths) = 0;
};

// A desktop without a file manager to ask: revealing does nothing.
class NoFileRevealer final : public FileRevealer {
public:
    void reveal(const QStringList&) override {}
};
