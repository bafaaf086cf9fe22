#include "services/Libarchive.h"

#include <QLibrary>
#include <QtDebug>

namespace {

template <class F> void find(QLibrary& library, const char* symbol, F& into, QString& error) {
    into = reinterpret_cast<F>(library.resolve(symbol));
    if (!into && error.isEmpty())
        error = QStringLiteral("%1 has no %2").arg(library.fileName(), QLatin1String(symbol));
}

} // namespace

Libarchive::Libarchive(const QString& name, int version) {
    QLibrary library(name, version);
    library.setLoadHints(QLibrary::PreventUnloadHint);
    if (!library.load()) {
        m_error = library.errorString();
    } else {
        find(library, "archive_read_new", read_new, m_error);
        find(library, "archive_read_free", read_free, m_error);
        find(library, "archive_read_support_filter_all", read_support_filter_all, m_error);
        find(library, "archive_read_support_format_tar", read_support_format_tar, m_error);
        find(library, "archive_read_open_filename", read_open_filename, m_error);
        find(library, "archive_read_next_header", read_next_header, m_error);
        find(library, "archive_read_data_skip", read_data_skip, m_error);
        find(library, "archive_read_data_block", read_data_block, m_error);
        find(library, "archive_write_disk_new", write_disk_new, m_error);
        find(library, "archive_write_free", write_free, m_error);
        find(library, "archive_write_disk_set_options", write_disk_set_options, m_error);
        find(library, "archive_write_header", write_header, m_error);
        find(library, "archive_write_data_block", write_data_block, m_error);
        find(library, "archive_write_finish_entry", write_finish_entry, m_error);
        find(library, "archive_write_close", write_close, m_error);
        find(library, "archive_errno", error_number, m_error);
        find(library, "archive_entry_size", entry_size, m_error);
        find(library, "archive_entry_filetype", entry_filetype, m_error);
        find(library, "archive_entry_pathname", entry_pathname, m_error);
        find(library, "archive_entry_hardlink", entry_hardlink, m_error);
        find(library, "archive_entry_symlink", entry_symlink, m_error);
        find(library, "archive_entry_perm", entry_perm, m_error);
        find(library, "archive_entry_set_perm", entry_set_perm, m_error);
        find(library, "archive_entry_set_uid", entry_set_uid, m_error);
        find(library, "archive_entry_set_gid", entry_set_gid, m_error);
        find(library, "archive_entry_copy_pathname", entry_copy_pathname, m_error);
    }
    if (!m_error.isEmpty())
        qWarning().noquote() << QStringLiteral("[Quillbay] libarchive unavailable: %1").arg(m_error);
}
