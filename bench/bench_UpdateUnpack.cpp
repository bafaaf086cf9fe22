// Unpacking an update of many small files, as a large release holds: the time per archive and the entries
// a second, with few links (a library's version links) and with many links in chains, where every link is
// followed through the others when it arrives and once more at the end; and with the percentage told, as
// an install does, which reads the archive through once more to count its entries first.
#include "services/UpdateInstaller.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct WriteFree {
    void operator()(archive* a) const { archive_write_free(a); }
};

void addEntry(archive* w, const QString& name, mode_t type, const QByteArray& data = {},
              const QString& link = {}) {
    archive_entry* e = archive_entry_new();
    archive_entry_copy_pathname(e, name.toUtf8().constData());
    archive_entry_set_filetype(e, type);
    archive_entry_set_perm(e, type == AE_IFDIR ? 0755 : 0644);
    archive_entry_set_size(e, type == AE_IFREG ? data.size() : 0);
    if (type == AE_IFLNK)
        archive_entry_copy_symlink(e, link.toUtf8().constData());
    archive_write_header(w, e);
    if (type == AE_IFREG)
        archive_write_data(w, data.constData(), size_t(data.size()));
    archive_entry_free(e);
}

// `files` small files in folders of 100, and one link per `filesPerLink` files; with `chained`, each link
// leads to the one before it in its folder, up to ten deep.
bool writeTree(const QString& path, int files, int filesPerLink, bool chained) {
    std::unique_ptr<archive, WriteFree> w(archive_write_new());
    archive_write_add_filter_xz(w.get());
    archive_write_set_format_pax_restricted(w.get());
    if (archive_write_open_filename(w.get(), QFile::encodeName(path).constData()) != ARCHIVE_OK)
        return false;
    addEntry(w.get(), "Quillbay/", AE_IFDIR);
    const QByteArray data(200, 'q');
    for (int i = 0; i < files; ++i) {
        const QString folder = QString("Quillbay/share/d%1/").arg(i / 100);
        if (i % 100 == 0)
            addEntry(w.get(), folder, AE_IFDIR);
        addEntry(w.get(), folder + QString("f%1").arg(i), AE_IFREG, data);
        if (i % filesPerLink == 0) {
            const int n = i / filesPerLink;
            const bool first = !chained || n % 10 == 0 || (i - filesPerLink) / 100 != i / 100;
            addEntry(w.get(), folder + QString("l%1").arg(n), AE_IFLNK, {},
                     first ? QString("f%1").arg(i) : QString("../d%1/l%2").arg(i / 100).arg(n - 1));
        }
    }
    return archive_write_close(w.get()) == ARCHIVE_OK;
}

void unpack(benchmark::State& state) {
    const int files = int(state.range(0));
    const int filesPerLink = int(state.range(1));
    const bool chained = state.range(2) != 0;
    const bool told = state.range(3) != 0;
    int lastPercent = -1;
    const UpdateInstaller::Progress progress = [&lastPercent](int percent) { lastPercent = percent; };
    QTemporaryDir dir;
    const QString archivePath = dir.filePath("update.tar.xz");
    if (!writeTree(archivePath, files, filesPerLink, chained)) {
        state.SkipWithError("cannot write the archive");
        return;
    }
    for (auto _ : state) {
        const QString out = dir.filePath("out");
        QDir().mkpath(out);
        QElapsedTimer timer;
        timer.start();
        const auto x = UpdateInstaller::extract(archivePath, out, qint64(1) << 32, files * 2 + 1000,
                                                told ? progress : UpdateInstaller::Progress());
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (x.failure != UpdateInstaller::Failure::none) {
            state.SkipWithError(qPrintable(x.detail));
            return;
        }
        QDir(out).removeRecursively();
    }
    state.counters["entries_per_s"] = benchmark::Counter(
        double(files + files / filesPerLink) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(unpack)
    ->Args({20000, 50, 0, 0})
    ->Args({20000, 2, 1, 0})
    ->Args({200000, 50, 0, 0})
    ->Args({200000, 50, 0, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
