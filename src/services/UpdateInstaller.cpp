// Order matters: nothing is unpacked before the signature and its comment are proven, and the install
// folder is only renamed by the script, after the program has quit, with the old one kept for a rollback.
#include "services/UpdateInstaller.h"

#include "services/AppPaths.h"
#include "services/Minisign.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <system_error>

namespace UpdateInstaller {
namespace {

constexpr qint64 kMaxExtractedBytes = qint64(2) * 1024 * 1024 * 1024;
constexpr int kMaxEntries = 200000;

struct ReadFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

// A relative name that stays inside the folder it is unpacked into.
bool safeName(const QString& name) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return false;
    const QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return false;
    for (const QString& p : parts)
        if (p == QLatin1String(".."))
            return false;
    return true;
}

// A link target that, seen from `entry`'s folder, stays inside the tree.
bool safeLinkTarget(const QString& entry, const QString& target) {
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return false;
    int depth = int(entry.split(QLatin1Char('/'), Qt::SkipEmptyParts).size()) - 1;
    for (const QString& p : target.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (p == QLatin1String(".."))
            --depth;
        else if (p != QLatin1String("."))
            ++depth;
        if (depth < 0)
            return false;
    }
    return true;
}

Outcome failed(Failure f, QString detail) {
    Outcome o;
    o.failure = f;
    o.detail = std::move(detail);
    return o;
}

bool hasTeamAndVersion(const QByteArray& comment, const QString& team, const QString& version) {
    bool teamOk = false;
    bool versionOk = false;
    for (const QByteArray& word : comment.split(' ')) {
        if (word == "team=" + team.toUtf8())
            teamOk = true;
        else if (word == "version=" + version.toUtf8())
            versionOk = true;
    }
    return teamOk && versionOk;
}

} // namespace

bool isReplaceable(const QString& installDir) {
    if (installDir.isEmpty())
        return false;
    const QFileInfo dir(installDir);
    const QFileInfo marker(QDir(installDir).filePath(QLatin1String(kMarker)));
    if (!dir.isDir() || dir.isSymLink() || !marker.isFile())
        return false;
    const QByteArray path = QFile::encodeName(dir.absoluteFilePath());
    const QByteArray parent = QFile::encodeName(dir.absolutePath());
    return ::access(path.constData(), W_OK) == 0 && ::access(parent.constData(), W_OK) == 0;
}

bool extract(const QString& archivePath, const QString& destination, QString* error, qint64 maxBytes) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    std::unique_ptr<archive, ReadFree> in(archive_read_new());
    std::unique_ptr<archive, WriteFree> out(archive_write_disk_new());
    archive_read_support_filter_all(in.get());
    archive_read_support_format_tar(in.get());
    // Names are checked and made absolute below, so the no-absolute-paths flag cannot be used here;
    // these two still stop ".." and writing through a link.
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                  ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_PERM |
                                                  ARCHIVE_EXTRACT_TIME);
    const QByteArray file = QFile::encodeName(archivePath);
    if (archive_read_open_filename(in.get(), file.constData(), 1 << 16) != ARCHIVE_OK)
        return fail(QString::fromUtf8(archive_error_string(in.get())));
    const QString root = QDir(destination).absolutePath();
    qint64 total = 0;
    int entries = 0;
    for (;;) {
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK)
            return fail(QString::fromUtf8(archive_error_string(in.get())));
        if (++entries > kMaxEntries)
            return fail(QStringLiteral("too many entries"));
        const char* rawName = archive_entry_pathname(entry);
        const QString name = rawName ? QString::fromUtf8(rawName) : QString();
        if (!safeName(name))
            return fail(QStringLiteral("unsafe entry name: %1").arg(name));
        const mode_t type = archive_entry_filetype(entry);
        if (archive_entry_hardlink(entry))
            return fail(QStringLiteral("hard link entry: %1").arg(name));
        if (type == AE_IFLNK) {
            const char* target = archive_entry_symlink(entry);
            if (!safeLinkTarget(name, target ? QString::fromUtf8(target) : QString()))
                return fail(QStringLiteral("link leaves the tree: %1").arg(name));
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            return fail(QStringLiteral("special file: %1").arg(name));
        }
        total += archive_entry_size(entry);
        if (total > maxBytes)
            return fail(QStringLiteral("content larger than %1 bytes").arg(maxBytes));
        // No set-id bits and nothing writable by others, whatever the archive says.
        archive_entry_set_perm(entry, archive_entry_perm(entry) & 0755);
        archive_entry_set_uid(entry, getuid());
        archive_entry_set_gid(entry, getgid());
        const QByteArray full = QFile::encodeName(root + QLatin1Char('/') + name);
        archive_entry_copy_pathname(entry, full.constData());
        if (archive_write_header(out.get(), entry) != ARCHIVE_OK)
            return fail(QString::fromUtf8(archive_error_string(out.get())));
        if (type == AE_IFREG && archive_entry_size(entry) > 0) {
            const void* buffer = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (;;) {
                const int rb = archive_read_data_block(in.get(), &buffer, &size, &offset);
                if (rb == ARCHIVE_EOF)
                    break;
                if (rb != ARCHIVE_OK)
                    return fail(QString::fromUtf8(archive_error_string(in.get())));
                if (archive_write_data_block(out.get(), buffer, size, offset) != ARCHIVE_OK)
                    return fail(QString::fromUtf8(archive_error_string(out.get())));
            }
        }
        if (archive_write_finish_entry(out.get()) != ARCHIVE_OK)
            return fail(QString::fromUtf8(archive_error_string(out.get())));
    }
    if (archive_write_close(out.get()) != ARCHIVE_OK)
        return fail(QString::fromUtf8(archive_error_string(out.get())));
    return true;
}

QByteArray scriptText() {
    // The old folder stays as "<destination>.old" until the new program has started: still running
    // after three seconds, or ended with status 0. Otherwise the old one is put back and started.
    return QByteArrayLiteral(
        "#!/bin/sh\n"
        "pid=\"$1\"\n"
        "destination=\"$2\"\n"
        "staging=\"$3\"\n"
        "archive=\"$4\"\n"
        "old=\"$destination.old\"\n"
        "start() { setsid \"$1/bin/quillbay\" </dev/null >/dev/null 2>&1 & }\n"
        "for i in $(seq 1 100); do kill -0 \"$pid\" 2>/dev/null || break; sleep 0.1; done\n"
        "rm -rf \"$old\"\n"
        "if ! mv \"$destination\" \"$old\"; then\n"
        "  rm -rf \"$staging\" \"$archive\"; start \"$destination\"; exit 1\n"
        "fi\n"
        "if ! mv \"$staging\" \"$destination\"; then\n"
        "  mv \"$old\" \"$destination\"; rm -rf \"$staging\" \"$archive\"; start \"$destination\"; exit 1\n"
        "fi\n"
        "rm -f \"$archive\"\n"
        "start \"$destination\"\n"
        "child=$!\n"
        "code=0\n"
        "for i in $(seq 1 30); do\n"
        "  state=$(ps -o stat= -p \"$child\" 2>/dev/null)\n"
        "  case \"$state\" in ''|Z*) wait \"$child\"; code=$?; break ;; esac\n"
        "  sleep 0.1\n"
        "done\n"
        "if [ \"$code\" -ne 0 ]; then\n"
        "  rm -rf \"$destination.failed\"\n"
        "  mv \"$destination\" \"$destination.failed\" && mv \"$old\" \"$destination\" && start "
        "\"$destination\"\n"
        "  exit 1\n"
        "fi\n"
        "rm -rf \"$old\"\n");
}

Outcome prepare(const Request& r) {
    // 1. The signature, over the archive's bytes, by the built-in key.
    const auto key = Minisign::parsePublicKey(r.publicKey);
    if (!key)
        return failed(Failure::securityCheck, QStringLiteral("the built-in public key is unreadable"));
    const Minisign::Verified verified = Minisign::verifyFile(*key, r.signature, r.archive);
    if (!verified.ok)
        return failed(Failure::securityCheck, verified.error);
    // 2. The signed comment ties the archive to the team and to the version the manifest offers, so an
    // older signed release cannot be replayed as a newer one.
    if (!hasTeamAndVersion(verified.trustedComment, r.team, r.version))
        return failed(Failure::notSigned, QString::fromUtf8(verified.trustedComment));

    // 3. Unpack into a fresh private folder.
    const QString unpacked =
        QDir(r.workDir).filePath(QStringLiteral("quillbay-update-%1")
                                     .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()));
    if (!AppPaths::makePrivateFolders(unpacked))
        return failed(Failure::cannotOpen, QStringLiteral("cannot create %1").arg(unpacked));
    auto removeUnpacked = [&] { QDir(unpacked).removeRecursively(); };
    QString error;
    if (!extract(r.archive, unpacked, &error, kMaxExtractedBytes)) {
        removeUnpacked();
        return failed(Failure::cannotOpen, error);
    }
    // 4. The program and the marker of an install folder.
    const QString app = QDir(unpacked).filePath(QStringLiteral("Quillbay"));
    const QFileInfo binary(QDir(app).filePath(QStringLiteral("bin/quillbay")));
    if (!binary.isFile() || binary.isSymLink() || !binary.isExecutable() ||
        !QFileInfo(QDir(app).filePath(QLatin1String(kMarker))).isFile()) {
        removeUnpacked();
        return failed(Failure::noApp, QStringLiteral("no Quillbay/bin/quillbay in the archive"));
    }
    // Only a folder of our own is ever replaced, never a system path or a build tree.
    if (!isReplaceable(r.installDir)) {
        removeUnpacked();
        return failed(Failure::cannotPrepare,
                      QStringLiteral("%1 is not a replaceable install folder").arg(r.installDir));
    }
    // 5. Stage beside the install folder, so the swap is a rename on one file system.
    const QString destination = QDir(r.installDir).absolutePath();
    const QString staging = destination + QStringLiteral(".new");
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove_all(fs::path(QFile::encodeName(staging).toStdString()), ec);
    ec.clear();
    fs::copy(fs::path(QFile::encodeName(app).toStdString()),
             fs::path(QFile::encodeName(staging).toStdString()),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    removeUnpacked();
    if (ec) {
        std::error_code ignored;
        fs::remove_all(fs::path(QFile::encodeName(staging).toStdString()), ignored);
        return failed(Failure::cannotStage, QString::fromStdString(ec.message()));
    }
    // 6. The script, private to the user.
    const QString script =
        QDir(r.workDir).filePath(QStringLiteral("quillbay-install-%1.sh")
                                     .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()));
    if (!AppPaths::writePrivate(scriptText(), script, &error) ||
        !QFile::setPermissions(script,
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        std::error_code ignored;
        fs::remove_all(fs::path(QFile::encodeName(staging).toStdString()), ignored);
        return failed(Failure::cannotPrepare, error);
    }
    Outcome o;
    o.script = script;
    o.arguments = {script, QString::number(r.pid), destination, staging, r.archive};
    return o;
}

} // namespace UpdateInstaller
