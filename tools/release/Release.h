// The release tool's steps: pack a built tree as one "Quillbay/" folder in a tar.xz, sign it in
// minisign's format, and describe it in a version manifest.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace Release {

struct Entry {
    enum class Type { file, folder, symlink };
    QString name;    // the name stored in the archive, as given (nothing is checked)
    QByteArray data; // a file's content
    Type type = Type::file;
    int mode = 0644;
    QString linkTarget;
};

// Writes `entries` as an xz-compressed tar (pax) archive.
bool writeArchive(const QString& path, const QList<Entry>& entries, QString* error);

// What the tree at `tree` lacks of the helpers and modules the program starts or loads from bin/
// (paths relative to the tree); a helper must be executable, and nothing of them may be empty.
QStringList missingBesideProgram(const QString& tree);

// Packs the tree at `tree` under "Quillbay/" (adding the install-folder marker when the tree lacks it)
// into `archivePath`, streaming each file. The tree must hold an executable bin/quillbay and all that
// missingBesideProgram() names.
bool packTree(const QString& tree, const QString& archivePath, const QString& version, QString* error);

// The archive's file name for a version.
QString archiveName(const QString& version);

// The manifest served as /version.json.
QByteArray manifest(const QString& version, const QString& url, const QString& sha256, const QString& notes);

// The lower-case hexadecimal SHA-256 of a file, streamed; empty when it cannot be read.
QString sha256File(const QString& path);

// The versions a built program names for itself ("quillbay-version=X.Y.Z" in its bytes), each once, in
// the order found; empty when it names none or cannot be read.
QStringList programVersions(const QString& program);

// The command line: returns the process exit status and prints errors to standard error.
int run(const QStringList& arguments);

} // namespace Release
