// The libarchive functions the update's unpacking calls, found in libarchive opened when the first update
// is unpacked: a program that never installs one does not map it, nor libxml2, nettle, libacl and libbz2,
// which it brings. Once opened it stays open.
#pragma once

#include <QString>

#include <archive.h>
#include <archive_entry.h>

class Libarchive {
public:
    // Opens libarchive (`name`, major `version`; another name only in tests) and resolves every function
    // below; ok() is false, with the reason in error(), when either fails.
    explicit Libarchive(const QString& name = QStringLiteral("archive"), int version = 13);

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    decltype(&::archive_read_new) read_new = nullptr;
    decltype(&::archive_read_free) read_free = nullptr;
    decltype(&::archive_read_support_filter_all) read_support_filter_all = nullptr;
    decltype(&::archive_read_support_format_tar) read_support_format_tar = nullptr;
    decltype(&::archive_read_open_filename) read_open_filename = nullptr;
    decltype(&::archive_read_next_header) read_next_header = nullptr;
    decltype(&::archive_read_data_skip) read_data_skip = nullptr;
    decltype(&::archive_read_data_block) read_data_block = nullptr;
    decltype(&::archive_write_disk_new) write_disk_new = nullptr;
    decltype(&::archive_write_free) write_free = nullptr;
    decltype(&::archive_write_disk_set_options) write_disk_set_options = nullptr;
    decltype(&::archive_write_header) write_header = nullptr;
    decltype(&::archive_write_data_block) write_data_block = nullptr;
    decltype(&::archive_write_finish_entry) write_finish_entry = nullptr;
    decltype(&::archive_write_close) write_close = nullptr;
    decltype(&::archive_errno) error_number = nullptr;
    decltype(&::archive_entry_size) entry_size = nullptr;
    decltype(&::archive_entry_filetype) entry_filetype = nullptr;
    decltype(&::archive_entry_pathname) entry_pathname = nullptr;
    decltype(&::archive_entry_hardlink) entry_hardlink = nullptr;
    decltype(&::archive_entry_symlink) entry_symlink = nullptr;
    decltype(&::archive_entry_perm) entry_perm = nullptr;
    decltype(&::archive_entry_set_perm) entry_set_perm = nullptr;
    decltype(&::archive_entry_set_uid) entry_set_uid = nullptr;
    decltype(&::archive_entry_set_gid) entry_set_gid = nullptr;
    decltype(&::archive_entry_copy_pathname) entry_copy_pathname = nullptr;

private:
    QString m_error;
};
