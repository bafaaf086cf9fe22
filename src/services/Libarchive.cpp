#include "services/Libarchive.h"

#include "services/OnDemandLibrary.h"

Libarchive::Libarchive(const QString& name, int version) {
    OnDemandLibrary library(name, version);
    library.find("archive_read_new", read_new);
    library.find("archive_read_free", read_free);
    library.find("archive_read_support_filter_all", read_support_filter_all);
    library.find("archive_read_support_format_tar", read_support_format_tar);
    library.find("archive_read_open_filename", read_open_filename);
    library.find("archive_read_next_header", read_next_header);
    library.find("archive_read_data_skip", read_data_skip);
    library.find("archive_read_data_block", read_data_block);
    library.find("archive_write_disk_new", write_disk_new);
    library.find("archive_write_free", write_free);
    library.find("archive_write_disk_set_options", write_disk_set_options);
    library.find("archive_write_header", write_header);
    library.find("archive_write_data_block", write_data_block);
    library.find("archive_write_finish_entry", write_finish_entry);
    library.find("archive_write_close", write_close);
    library.find("archive_errno", error_number);
    library.find("archive_entry_size", entry_size);
    library.find("archive_entry_filetype", entry_filetype);
    library.find("archive_entry_pathname", entry_pathname);
    library.find("archive_entry_hardlink", entry_hardlink);
    library.find("archive_entry_symlink", entry_symlink);
    library.find("archive_entry_perm", entry_perm);
    library.find("archive_entry_set_perm", entry_set_perm);
    library.find("archive_entry_set_uid", entry_set_uid);
    library.find("archive_entry_set_gid", entry_set_gid);
    library.find("archive_entry_copy_pathname", entry_copy_pathname);
    m_error = library.finish("libarchive");
}
