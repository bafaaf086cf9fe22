// The desktop's file manager as the shelf needs it: show one file, selected, in a folder window.
#pragma once

#include <QString>

class FileRevealer {
public:
    FileRevealer() = default;
    virtual ~FileRevealer() = default;
    FileRevealer(const FileRevealer&) = delete;
    FileRevealer& operator=(const FileRevealer&) = delete;

    // Opens a file-manager window on the folder of `path` with the file selected. Returns at once; the
    // outcome is not reported, and a path that no longer exists is handed on unchanged.
    virtual void reveal(const QString& path) = 0;
};
