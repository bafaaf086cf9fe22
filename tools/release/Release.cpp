#include "Release.h"

#include "platform/modules/ModuleSeams.h"
#include "platform/qtmm/QtMultimediaCamera.h"
#include "services/AppPaths.h"
#include "services/Minisign.h"
#include "services/UpdateInstaller.h"
#include "views/WebEngineLoader.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace Release {
namespace {

struct WriteFree {
    void operator()(archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};
using Writer = std::unique_ptr<archive, WriteFree>;

Writer openWriter(const QString& path, QString* error) {
    Writer w(archive_write_new());
    archive_write_add_filter_xz(w.get());
    archive_write_set_format_pax_restricted(w.get());
    const QByteArray file = QFile::encodeName(path);
    if (archive_write_open_filename(w.get(), file.constData()) != ARCHIVE_OK) {
        if (error)
            *error = QString::fromUtf8(archive_error_string(w.get()));
        return nullptr;
    }
    return w;
}

bool writeHeader(archive* w, const QString& name, Entry::Type type, int mode, qint64 size,
                 const QString& link, QString* error) {
    std::unique_ptr<archive_entry, EntryFree> e(archive_entry_new());
    archive_entry_copy_pathname(e.get(), name.toUtf8().constData());
    switch (type) {
    case Entry::Type::file:
        archive_entry_set_filetype(e.get(), AE_IFREG);
        archive_entry_set_size(e.get(), size);
        break;
    case Entry::Type::folder:
        archive_entry_set_filetype(e.get(), AE_IFDIR);
        break;
    case Entry::Type::symlink:
        archive_entry_set_filetype(e.get(), AE_IFLNK);
        archive_entry_copy_symlink(e.get(), link.toUtf8().constData());
        break;
    }
    archive_entry_set_perm(e.get(), mode_t(mode));
    archive_entry_set_mtime(e.get(), 0, 0);
    if (archive_write_header(w, e.get()) != ARCHIVE_OK) {
        if (error)
            *error = QString::fromUtf8(archive_error_string(w));
        return false;
    }
    return true;
}

bool finish(Writer& w, QString* error) {
    if (archive_write_close(w.get()) != ARCHIVE_OK) {
        if (error)
            *error = QString::fromUtf8(archive_error_string(w.get()));
        return false;
    }
    return true;
}

} // namespace

bool writeArchive(const QString& path, const QList<Entry>& entries, QString* error) {
    Writer w = openWriter(path, error);
    if (!w)
        return false;
    for (const Entry& e : entries) {
        if (!writeHeader(w.get(), e.name, e.type, e.mode, e.data.size(), e.linkTarget, error))
            return false;
        if (e.type == Entry::Type::file &&
            archive_write_data(w.get(), e.data.constData(), size_t(e.data.size())) < 0) {
            if (error)
                *error = QString::fromUtf8(archive_error_string(w.get()));
            return false;
        }
    }
    return finish(w, error);
}

QStringList missingBesideProgram(const QString& tree) {
    struct Required {
        QString name;
        bool program;
    };
    // A copy without one of these would run but fail later: no updates, no camera, no web tabs, no
    // text recognition, no alert sound, no keyring, no HEIF images, or service logs without their cap;
    // without the fetch helper the update check would keep the TLS libraries in the program.
    const Required required[] = {
        {QStringLiteral("bin/quillbay-swap"), true},
        {QStringLiteral("bin/quillbay-logkeeper"), true},
        {QStringLiteral("bin/quillbay-fetch"), true},
        {QStringLiteral("bin/") + QLatin1String(QtMultimediaCamera::kModuleName), false},
        {QStringLiteral("bin/") + QLatin1String(WebEngineLoader::kModuleName), false},
        {QStringLiteral("bin/") + QLatin1String(SeamModules::kTextRecognition), false},
        {QStringLiteral("bin/") + QLatin1String(SeamModules::kAlertSound), false},
        {QStringLiteral("bin/") + QLatin1String(SeamModules::kSecretStore), false},
        {QStringLiteral("bin/") + QLatin1String(SeamModules::kHeifCodec), false},
    };
    QStringList missing;
    for (const Required& r : required) {
        const QFileInfo info(QDir(tree).filePath(r.name));
        if (!info.isFile() || (r.program && !info.isExecutable()) || info.size() == 0)
            missing << r.name;
    }
    return missing;
}

bool packTree(const QString& tree, const QString& archivePath, const QString& version, QString* error) {
    const QDir root(QFileInfo(tree).absoluteFilePath());
    const QFileInfo binary(root.filePath(QStringLiteral("bin/quillbay")));
    if (!binary.isFile() || !binary.isExecutable()) {
        if (error)
            *error = QStringLiteral("%1 holds no executable bin/quillbay").arg(tree);
        return false;
    }
    const QStringList missing = missingBesideProgram(root.path());
    if (!missing.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 lacks what the program loads or starts from its folder: %2")
                         .arg(tree, missing.join(QStringLiteral(", ")));
        return false;
    }
    QStringList names;
    QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names << root.relativeFilePath(it.next());
    names.sort(); // the same tree always packs the same way
    Writer w = openWriter(archivePath, error);
    if (!w)
        return false;
    if (!writeHeader(w.get(), QStringLiteral("Quillbay/"), Entry::Type::folder, 0755, 0, {}, error))
        return false;
    if (!names.contains(QLatin1String(UpdateInstaller::kMarker))) {
        const QByteArray marker = version.toUtf8() + '\n';
        if (!writeHeader(w.get(), QStringLiteral("Quillbay/") + QLatin1String(UpdateInstaller::kMarker),
                         Entry::Type::file, 0644, marker.size(), {}, error) ||
            archive_write_data(w.get(), marker.constData(), size_t(marker.size())) < 0)
            return false;
    }
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (const QString& name : names) {
        const QFileInfo info(root.filePath(name));
        const QString stored = QStringLiteral("Quillbay/") + name;
        const int mode =
            int(info.permissions() & (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther)
                    ? 0755
                    : 0644);
        if (info.isSymLink()) {
            // Stored as written in the tree, relative when it was relative.
            std::error_code ec;
            const auto target =
                std::filesystem::read_symlink(QFile::encodeName(info.filePath()).toStdString(), ec);
            if (ec || !writeHeader(w.get(), stored, Entry::Type::symlink, 0777, 0,
                                   QFile::decodeName(target.c_str()), error))
                return false;
            continue;
        }
        if (info.isDir()) {
            if (!writeHeader(w.get(), stored + QLatin1Char('/'), Entry::Type::folder, 0755, 0, {}, error))
                return false;
            continue;
        }
        if (!info.isFile())
            continue;
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            if (error)
                *error = file.errorString();
            return false;
        }
        if (!writeHeader(w.get(), stored, Entry::Type::file, mode, file.size(), {}, error))
            return false;
        for (;;) {
            const qint64 n = file.read(buffer.data(), buffer.size());
            if (n < 0) {
                if (error)
                    *error = file.errorString();
                return false;
            }
            if (n == 0)
                break;
            if (archive_write_data(w.get(), buffer.constData(), size_t(n)) < 0) {
                if (error)
                    *error = QString::fromUtf8(archive_error_string(w.get()));
                return false;
            }
        }
    }
    return finish(w, error);
}

QString archiveName(const QString& version) {
    return QStringLiteral("Quillbay-%1-linux-x86_64.tar.xz").arg(version);
}

QByteArray manifest(const QString& version, const QString& url, const QString& sha256, const QString& notes) {
    QJsonObject o{{QStringLiteral("version"), version},
                  {QStringLiteral("url"), url},
                  {QStringLiteral("sha256"), sha256}};
    if (!notes.isEmpty())
        o.insert(QStringLiteral("notes"), notes);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QString sha256File(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

QStringList programVersions(const QString& program) {
    static const QByteArray tag = "quillbay-version=";
    QFile file(program);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList found;
    QByteArray window;
    // Read in pieces; a tag cut by a piece's end is found in the next window, which keeps the tail.
    constexpr qint64 kPiece = 1 << 20;
    const qsizetype keep = tag.size() + 64;
    for (;;) {
        const QByteArray piece = file.read(kPiece);
        window += piece;
        qsizetype from = 0;
        for (qsizetype at; (at = window.indexOf(tag, from)) >= 0;) {
            qsizetype end = at + tag.size();
            while (end < window.size() && (std::isdigit(uchar(window.at(end))) || window.at(end) == '.'))
                ++end;
            // A tag whose version may go on past the window waits for the next piece.
            if (end == window.size() && !piece.isEmpty())
                break;
            const QString version = QString::fromLatin1(window.mid(at + tag.size(), end - at - tag.size()));
            if (!version.isEmpty() && !found.contains(version))
                found << version;
            from = end;
        }
        if (piece.isEmpty())
            break;
        window = window.right(std::min<qsizetype>(keep, window.size()));
    }
    return found;
}

int run(const QStringList& arguments) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Packs, signs and describes a Quillbay release."));
    p.addHelpOption();
    p.addOption({QStringLiteral("tree"), QStringLiteral("The built install folder (holds bin/quillbay)."),
                 QStringLiteral("dir")});
    p.addOption({QStringLiteral("version"), QStringLiteral("The release's version, X.Y.Z."),
                 QStringLiteral("version")});
    p.addOption({QStringLiteral("key"),
                 QStringLiteral("The minisign secret key file (made with minisign -G -W)."),
                 QStringLiteral("file")});
    p.addOption({QStringLiteral("out"),
                 QStringLiteral("Where the archive, its .minisig and version.json go."),
                 QStringLiteral("dir")});
    p.addOption({QStringLiteral("url-base"),
                 QStringLiteral("The downloads folder's address, e.g. https://host/downloads/"),
                 QStringLiteral("url")});
    p.addOption(
        {QStringLiteral("notes"), QStringLiteral("Release notes for the manifest."), QStringLiteral("text")});
    p.process(arguments);
    auto die = [](const QString& why) {
        std::fprintf(stderr, "quillbay-release: %s\n", qPrintable(why));
        return 1;
    };
    for (const char* required : {"tree", "version", "key", "out", "url-base"})
        if (!p.isSet(QLatin1String(required)))
            return die(QStringLiteral("--%1 is required").arg(QLatin1String(required)));
    const QString version = p.value(QStringLiteral("version"));
    static const QRegularExpression versionRe(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+\\.[0-9]+\\.[0-9]+")));
    if (!versionRe.match(version).hasMatch())
        return die(QStringLiteral("the version must be three numbers joined by dots"));
    QString base = p.value(QStringLiteral("url-base"));
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    QFile keyFile(p.value(QStringLiteral("key")));
    if (!keyFile.open(QIODevice::ReadOnly))
        return die(keyFile.errorString());
    QString error;
    const auto key = Minisign::parseSecretKey(keyFile.readAll(), &error);
    if (!key)
        return die(error);
    const QDir out(p.value(QStringLiteral("out")));
    if (!QDir().mkpath(out.path()))
        return die(QStringLiteral("cannot create %1").arg(out.path()));
    // The release is what the program says it is: a tree built at another version is refused.
    const QString program = QDir(p.value(QStringLiteral("tree"))).filePath(QStringLiteral("bin/quillbay"));
    const QStringList built = programVersions(program);
    if (QFileInfo(program).isFile() && built != QStringList{version})
        return die(built.isEmpty() ? QStringLiteral("%1 names no version").arg(program)
                                   : QStringLiteral("%1 is version %2, not %3")
                                         .arg(program, built.join(QStringLiteral(" and ")), version));
    const QString archivePath = out.filePath(archiveName(version));
    if (!packTree(p.value(QStringLiteral("tree")), archivePath, version, &error))
        return die(error);
    const QByteArray comment = "team=R4KD9QZ2MX version=" + version.toUtf8();
    const auto signature = Minisign::signFile(*key, archivePath, comment);
    if (!signature)
        return die(QStringLiteral("cannot sign %1").arg(archivePath));
    QFile sigFile(archivePath + QStringLiteral(".minisig"));
    if (!sigFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        sigFile.write(*signature) != signature->size())
        return die(sigFile.errorString());
    sigFile.close();
    const QString sha = sha256File(archivePath);
    QFile manifestFile(out.filePath(QStringLiteral("version.json")));
    const QByteArray json =
        manifest(version, base + archiveName(version), sha, p.value(QStringLiteral("notes")));
    if (!manifestFile.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        manifestFile.write(json) != json.size())
        return die(manifestFile.errorString());
    std::printf("%s\n%s\n", qPrintable(archivePath), qPrintable(sha));
    return 0;
}

} // namespace Release
