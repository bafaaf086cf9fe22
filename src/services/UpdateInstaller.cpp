// Order matters: nothing is unpacked before the signature and its comment are proven, and the install
// folder is only swapped by the helper, after the program has quit, with the old one kept for a rollback.
// Log details name entries by their position only: the archive's own text never reaches the log.
#include "services/UpdateInstaller.h"

#include "platform/ProcessTable.h"
#include "services/AppPaths.h"
#include "services/Libarchive.h"
#include "services/Log.h"
#include "services/Minisign.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QThread>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

namespace UpdateInstaller {
namespace {

constexpr qint64 kMaxExtractedBytes = qint64(2) * 1024 * 1024 * 1024;
struct ReadFree {
    decltype(&::archive_read_free) free = nullptr;
    void operator()(archive* a) const { free(a); }
};
struct WriteFree {
    decltype(&::archive_write_free) free = nullptr;
    void operator()(archive* a) const { free(a); }
};

std::string local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

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

// The name's folders and itself, without "." parts: "a/./b/" gives "a/b".
QStringList nameParts(const QString& name) {
    QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    return parts;
}

// The links unpacked so far, by their cleaned names: where each points and its place in the archive.
struct Link {
    QString target;
    int index = 0;
};
using Links = QHash<QString, Link>;

// Where following a link, as the system would, ends.
enum class Walk {
    inside,       // in the top folder the link sits in (the tree, for a link at the top)
    leaves,       // out of that folder, or at an absolute target
    tooManyLinks, // through more links than the system follows in one lookup
    tooLong,      // more steps than any real tree needs
};

// Follows the link at `name` through the links in `links`; what a link's folder is only decides after
// those links are followed, so "a/b/../.." means something else once "a/b" is a link. The link itself is
// the first of the links counted, as the system counts it.
Walk walkLink(const QString& name, const QString& target, const Links& links) {
    constexpr int kMaxSteps = 4096;
    QStringList at = nameParts(name);
    const qsizetype floor = at.size() > 1 ? 1 : 0;
    at.removeLast();
    QStringList pending; // what is left to walk, the next part last
    auto push = [&pending](const QString& t) {
        const QStringList parts = t.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (qsizetype i = parts.size() - 1; i >= 0; --i)
            pending.append(parts.at(i));
    };
    if (target.isEmpty() || target.startsWith(QLatin1Char('/')))
        return Walk::leaves;
    push(target);
    int followed = 1;
    for (int steps = 0; !pending.isEmpty(); ++steps) {
        if (steps > kMaxSteps)
            return Walk::tooLong;
        const QString part = pending.takeLast();
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (at.size() <= floor)
                return Walk::leaves;
            at.removeLast();
            continue;
        }
        at.append(part);
        const auto link = links.constFind(at.join(QLatin1Char('/')));
        if (link == links.constEnd())
            continue;
        if (++followed > kMaxLinks)
            return Walk::tooManyLinks;
        if (link->target.isEmpty() || link->target.startsWith(QLatin1Char('/')))
            return Walk::leaves;
        at.removeLast();
        push(link->target);
    }
    return Walk::inside;
}

static_assert(kMaxLinks == 40, "the refusal below names the limit");
const char* walkRefusal(Walk walk) {
    switch (walk) {
    case Walk::tooManyLinks:
        return "leads through a chain of more than 40 links";
    case Walk::tooLong:
        return "is a link too long to follow";
    case Walk::inside:
    case Walk::leaves:
        break;
    }
    return "is a link that leaves its folder";
}

// What there is to unpack: entries and content bytes. Counting stops once either passes its limit, which
// unpacking then refuses; an archive that cannot be read through gives what was counted before that.
struct Work {
    qint64 entries = 0;
    qint64 bytes = 0;
};
Work measure(const Libarchive& la, const QByteArray& file, qint64 maxBytes, int maxEntries) {
    Work work;
    std::unique_ptr<archive, ReadFree> in(la.read_new(), ReadFree{la.read_free});
    la.read_support_filter_all(in.get());
    la.read_support_format_tar(in.get());
    if (la.read_open_filename(in.get(), file.constData(), 1 << 16) != ARCHIVE_OK)
        return work;
    archive_entry* entry = nullptr;
    while (work.entries <= maxEntries && work.bytes <= maxBytes &&
           la.read_next_header(in.get(), &entry) == ARCHIVE_OK) {
        ++work.entries;
        if (la.entry_filetype(entry) == AE_IFREG)
            work.bytes += std::max<la_int64_t>(0, la.entry_size(entry));
        // Skipping still decompresses: content past the limit is never read through.
        if (work.bytes > maxBytes || la.read_data_skip(in.get()) != ARCHIVE_OK)
            break;
    }
    return work;
}

// The system's words for the unpacker's last error, or what the unpacker said when it gave no error
// number: never the "Success" of an errno of 0.
QString writeError(const Libarchive& la, archive* out) {
    const int error = la.error_number(out);
    if (error > 0)
        return QString::fromLocal8Bit(std::strerror(error));
    return QStringLiteral("refused by the unpacker");
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

// Printable ASCII, at most 120 characters: a signed comment fit for one log line.
QString printable(const QByteArray& text) {
    QString out;
    for (const char c : text.left(120))
        out += (c >= 0x20 && c < 0x7f) ? QLatin1Char(c) : QLatin1Char('?');
    return text.size() > 120 ? out + QStringLiteral("...") : out;
}

// Takes the swap lock, waiting while a swap that is ending still holds it; `error` tells why it was not.
UniqueFd waitForLock(const QString& lockFile, int waitMs, int* error) {
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        const int fd = FolderSwap::takeLock(local(lockFile), -1);
        *error = fd >= 0 ? 0 : errno;
        if (fd >= 0 || *error != EWOULDBLOCK || deadline.hasExpired())
            return UniqueFd(fd);
        QThread::msleep(100);
    }
}

// The swap script of an earlier version ("sh <work>/quillbay-install-<UUID>.sh ...") takes no lock; while
// it runs, the folders it renames are not leftovers.
bool earlierSwapRunning(const ProcessTable& processes, const QString& workDir) {
    const QByteArray prefix =
        QFile::encodeName(QDir(workDir).absoluteFilePath(QStringLiteral("quillbay-install-")));
    for (const ProcessTable::Stat& process : processes.all()) {
        for (const QByteArray& argument : processes.arguments(process.pid))
            if (argument.startsWith(prefix))
                return true;
    }
    return false;
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

Extracted extract(const QString& archivePath, const QString& destination, qint64 maxBytes, int maxEntries,
                  const Progress& progress) {
    auto refuse = [](Failure f, const QString& why) { return Extracted{f, why, 0}; };
    auto unsafe = [&](int index, const char* what) {
        return refuse(Failure::unsafeContent,
                      QStringLiteral("entry %1 %2").arg(index).arg(QLatin1String(what)));
    };
    auto unreadable = [&](int index) {
        return refuse(Failure::cannotOpen,
                      QStringLiteral("the archive cannot be read at entry %1").arg(index));
    };
    const Libarchive la;
    if (!la.ok())
        return refuse(Failure::cannotOpen, QStringLiteral("the unpacker is unavailable: %1").arg(la.error()));
    std::unique_ptr<archive, ReadFree> in(la.read_new(), ReadFree{la.read_free});
    std::unique_ptr<archive, WriteFree> out(la.write_disk_new(), WriteFree{la.write_free});
    // A write the system refused (a full disk) is told as the system's reason, not as a bad archive.
    auto systemErrorOf = [&] { return std::max(0, la.error_number(out.get())); };
    auto unwritable = [&](int index) {
        Extracted x = refuse(
            Failure::cannotOpen,
            QStringLiteral("entry %1 cannot be written: %2").arg(index).arg(writeError(la, out.get())));
        x.systemError = systemErrorOf();
        return x;
    };
    la.read_support_filter_all(in.get());
    la.read_support_format_tar(in.get());
    // Names are checked and made absolute below, so the no-absolute-paths flag cannot be used here;
    // these two still stop ".." and writing through a link.
    la.write_disk_set_options(out.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                             ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME);
    // The unpacker's link check walks every folder of the names it is given, so the folder's own place is
    // resolved first: a cache or home reached through a link (~/.cache elsewhere, /home -> /var/home) is
    // the user's, not the archive's.
    const QString root = QFileInfo(destination).canonicalFilePath();
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return refuse(Failure::cannotOpen, QStringLiteral("the folder to unpack into is missing"));
    const QByteArray file = QFile::encodeName(archivePath);
    // Progress follows the work left rather than the compressed bytes read: a release's many small files
    // come last and squeeze far smaller than its programs, so the bytes read run ahead of the time taken.
    // An entry counts as much as kBytesPerEntry of content, roughly what the disk writes in the time one file
    // takes to create.
    constexpr qint64 kBytesPerEntry = 64 * 1024;
    const Work work = progress ? measure(la, file, maxBytes, maxEntries) : Work{};
    const qint64 workUnits = std::max<qint64>(1, work.entries * kBytesPerEntry + work.bytes);
    qint64 doneEntries = 0;
    qint64 doneBytes = 0;
    int reported = -1;
    auto report = [&] {
        if (!progress || work.entries == 0)
            return;
        const qint64 done = doneEntries * kBytesPerEntry + doneBytes;
        const int percent = int(std::min<qint64>(100, done * 100 / workUnits));
        if (percent != reported)
            progress(reported = percent);
    };
    if (la.read_open_filename(in.get(), file.constData(), 1 << 16) != ARCHIVE_OK)
        return refuse(Failure::cannotOpen, QStringLiteral("the archive cannot be opened"));
    report();
    Links links;
    qint64 total = 0;
    for (int index = 1;; ++index) {
        archive_entry* entry = nullptr;
        const int r = la.read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK)
            return unreadable(index);
        if (index > maxEntries)
            return refuse(Failure::unsafeContent, QStringLiteral("more than %1 entries").arg(maxEntries));
        const char* rawName = la.entry_pathname(entry);
        const QString name = rawName ? QString::fromUtf8(rawName) : QString();
        if (!safeName(name))
            return unsafe(index, "has an absolute name or a \"..\" part");
        const QStringList parts = nameParts(name);
        for (qsizetype depth = 1; depth < parts.size(); ++depth)
            if (links.contains(parts.mid(0, depth).join(QLatin1Char('/'))))
                return unsafe(index, "would be written through a link");
        const QString cleaned = parts.join(QLatin1Char('/'));
        const mode_t type = la.entry_filetype(entry);
        if (la.entry_hardlink(entry))
            return unsafe(index, "is a hard link");
        if (type == AE_IFLNK) {
            const char* target = la.entry_symlink(entry);
            const QString to = target ? QString::fromUtf8(target) : QString();
            if (const Walk walk = walkLink(cleaned, to, links); walk != Walk::inside)
                return unsafe(index, walkRefusal(walk));
            links.insert(cleaned, Link{to, index});
        } else if (type != AE_IFREG && type != AE_IFDIR) {
            return unsafe(index, "is a special file");
        } else {
            links.remove(cleaned); // put in the place of a link made before
        }
        total += la.entry_size(entry);
        if (total > maxBytes)
            return refuse(Failure::unsafeContent,
                          QStringLiteral("the content is larger than %1 bytes").arg(maxBytes));
        // No set-id bits and nothing writable by others, whatever the archive says.
        la.entry_set_perm(entry, la.entry_perm(entry) & 0755);
        la.entry_set_uid(entry, getuid());
        la.entry_set_gid(entry, getgid());
        const QByteArray full = QFile::encodeName(root + QLatin1Char('/') + name);
        la.entry_copy_pathname(entry, full.constData());
        if (la.write_header(out.get(), entry) != ARCHIVE_OK)
            return unwritable(index);
        if (type == AE_IFREG && la.entry_size(entry) > 0) {
            const void* buffer = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            for (;;) {
                const int rb = la.read_data_block(in.get(), &buffer, &size, &offset);
                if (rb == ARCHIVE_EOF)
                    break;
                if (rb != ARCHIVE_OK)
                    return unreadable(index);
                if (la.write_data_block(out.get(), buffer, size, offset) != ARCHIVE_OK)
                    return unwritable(index);
                // A large file moves the percentage while it is written.
                doneBytes += qint64(size);
                report();
            }
        }
        if (la.write_finish_entry(out.get()) != ARCHIVE_OK)
            return unwritable(index);
        ++doneEntries;
        report();
    }
    // Sparse files write less than their size says; the end is the end.
    if (progress && reported != 100)
        progress(reported = 100);
    if (la.write_close(out.get()) != ARCHIVE_OK) {
        Extracted x = refuse(
            Failure::cannotOpen,
            QStringLiteral("the unpacked files cannot be completed: %1").arg(writeError(la, out.get())));
        x.systemError = systemErrorOf();
        return x;
    }
    // A link made later can change where an earlier one leads ("x -> a/b/.." before "a/b -> .."): every
    // link is judged again against all of them.
    // In the archive's order, so that the refusal names the same entry every time.
    QList<std::pair<int, QString>> byIndex;
    byIndex.reserve(links.size());
    for (auto it = links.constBegin(); it != links.constEnd(); ++it)
        byIndex.append({it->index, it.key()});
    std::sort(byIndex.begin(), byIndex.end());
    for (const auto& [index, name] : std::as_const(byIndex))
        if (const Walk walk = walkLink(name, links.value(name).target, links); walk != Walk::inside)
            return unsafe(index, walkRefusal(walk));
    return {};
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
        return failed(Failure::notSigned,
                      QStringLiteral("the signed comment \"%1\" does not name team %2 and "
                                     "version %3")
                          .arg(printable(verified.trustedComment), r.team, r.version));

    // 3. Unpack into a fresh private folder.
    const QString unpacked =
        QDir(r.workDir).filePath(QStringLiteral("quillbay-update-%1")
                                     .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()));
    if (!AppPaths::makePrivateFolders(unpacked))
        return failed(Failure::cannotOpen, QStringLiteral("cannot create %1").arg(unpacked));
    auto removeUnpacked = [&] { QDir(unpacked).removeRecursively(); };
    const Extracted extracted = extract(r.archive, unpacked, kMaxExtractedBytes, 200000, r.progress);
    if (extracted.failure != Failure::none) {
        removeUnpacked();
        Outcome o = failed(extracted.failure, extracted.detail);
        if (extracted.systemError > 0) {
            o.systemError = extracted.systemError;
            o.folder = r.workDir;
        }
        return o;
    }
    // 4. The program and the marker of an install folder.
    const QString app = QDir(unpacked).filePath(QStringLiteral("Quillbay"));
    const QFileInfo binary(QDir(app).filePath(QStringLiteral("bin/quillbay")));
    // The folder itself must be one: a link there would be staged as the link, leading out of the install.
    if (!QFileInfo(app).isDir() || QFileInfo(app).isSymLink() || !binary.isFile() || binary.isSymLink() ||
        !binary.isExecutable() || !QFileInfo(QDir(app).filePath(QLatin1String(kMarker))).isFile()) {
        removeUnpacked();
        return failed(Failure::noApp,
                      QStringLiteral("no Quillbay/bin/quillbay with its marker in the archive"));
    }
    // Only a folder of our own is ever replaced, never a system path or a build tree.
    if (!isReplaceable(r.installDir)) {
        removeUnpacked();
        return failed(Failure::cannotPrepare,
                      QStringLiteral("%1 is not a replaceable install folder").arg(r.installDir));
    }
    const QFileInfo helper(r.helper);
    if (!helper.isFile() || !helper.isExecutable()) {
        removeUnpacked();
        return failed(Failure::cannotPrepare, QStringLiteral("no swap helper at %1").arg(r.helper));
    }
    // From here until the helper ends, nobody else touches the folders beside the install folder.
    const QString lock = lockFile(r.workDir);
    int error = 0;
    auto held = std::make_shared<UniqueFd>(waitForLock(lock, r.lockWaitMs, &error));
    if (!held->valid()) {
        removeUnpacked();
        return failed(Failure::cannotPrepare,
                      error == EWOULDBLOCK ? QStringLiteral("an earlier update is still being put in place")
                                           : QStringLiteral("cannot take %1: %2")
                                                 .arg(lock, QString::fromLocal8Bit(std::strerror(error))));
    }
    // 5. Stage beside the install folder, so the swap is a rename on one file system.
    const QString destination = QDir(r.installDir).absolutePath();
    const QString staging = destination + QLatin1String(FolderSwap::kStagingSuffix);
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove_all(fs::path(local(staging)), ec);
    ec.clear();
    // Moved where the cache shares the install's file system: a tree of many files takes no second pass.
    fs::rename(fs::path(local(app)), fs::path(local(staging)), ec);
    if (ec) {
        ec.clear();
        fs::copy(fs::path(local(app)), fs::path(local(staging)),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    }
    removeUnpacked();
    if (ec) {
        std::error_code ignored;
        fs::remove_all(fs::path(local(staging)), ignored);
        Outcome o = failed(Failure::cannotStage, QString::fromStdString(ec.message()));
        if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
            o.systemError = ec.value();
            o.folder = QFileInfo(destination).absolutePath();
        }
        return o;
    }
    FolderSwap::Args args;
    args.pid = pid_t(r.pid);
    args.destination = local(destination);
    args.staging = local(staging);
    args.archive = local(r.archive);
    args.lockFile = local(lock);
    Outcome o;
    o.program = r.helper;
    for (const std::string& a : FolderSwap::arguments(args))
        o.arguments << QFile::decodeName(QByteArray::fromStdString(a));
    o.staging = staging;
    o.lock = std::move(held);
    return o;
}

QString lockFile(const QString& workDir) {
    return QDir(workDir).filePath(QLatin1String(FolderSwap::kLockName));
}

QString restoreInstallFolder(const QString& installDir, const QString& workDir) {
    const QString self = QDir(installDir).absolutePath();
    const QLatin1String suffix(FolderSwap::kOldSuffix);
    if (!self.endsWith(suffix) || self.size() <= suffix.size() + 1)
        return self;
    const QString base = self.chopped(suffix.size());
    struct stat st {};
    if (::lstat(local(base).c_str(), &st) == 0 || errno != ENOENT)
        return self;
    if (!FolderSwap::holdsProgram(local(self)) || !isReplaceable(self) ||
        !AppPaths::makePrivateFolders(workDir))
        return self;
    const UniqueFd lock(FolderSwap::takeLock(local(lockFile(workDir)), -1));
    // A swap under way ends by putting a folder in place itself.
    if (!lock)
        return self;
    if (::rename(local(self).c_str(), local(base).c_str()) != 0) {
        Log::line(QStringLiteral("update: %1 is missing and %2 could not take its name: %3")
                      .arg(base, self, QString::fromLocal8Bit(std::strerror(errno))));
        return self;
    }
    Log::line(QStringLiteral("update: %1 was missing after a swap that was cut short; %2 took its name back")
                  .arg(base, self));
    return base;
}

QStringList leftovers(const QString& installDir, const QString& workDir) {
    QStringList out;
    const QDir work(workDir);
    const QString lockName = QLatin1String(FolderSwap::kLockName);
    for (const QString& name :
         work.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        if (name != lockName)
            out << work.filePath(name);
    if (isReplaceable(installDir)) {
        const QString dir = QDir(installDir).absolutePath();
        for (const char* suffix :
             {FolderSwap::kStagingSuffix, FolderSwap::kOldSuffix, FolderSwap::kFailedSuffix}) {
            const QFileInfo beside(dir + QLatin1String(suffix));
            if (beside.exists() || beside.isSymLink())
                out << beside.filePath();
        }
    }
    return out;
}

int removeLeftovers(const QStringList& paths, const QString& workDir, const ProcessTable& processes) {
    if (paths.isEmpty())
        return 0;
    if (!AppPaths::makePrivateFolders(workDir))
        return -1;
    const UniqueFd lock(FolderSwap::takeLock(local(lockFile(workDir)), -1));
    if (!lock || earlierSwapRunning(processes, workDir))
        return -1;
    int removed = 0;
    for (const QString& path : paths) {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(local(path)), ec);
        if (!ec)
            ++removed;
    }
    return removed;
}

} // namespace UpdateInstaller
