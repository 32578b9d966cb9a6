// Files written so that a power cut leaves either the old or the whole new
// file: written new, flushed to disk, then renamed into place with a rename
// that reaches the disk.
#pragma once

#include <string>
#include <string_view>

namespace afp {

// Creates the file `path` anew, whatever stood there removed first and a
// symbolic link never followed, writes `bytes` to it, gives it the
// permission bits `mode` (when mode >= 0; else the usual ones for a new
// file) and flushes it to disk before closing it. 0, or the system's error
// number (errno values on every system); on failure nothing is left at path.
int write_new_file(const std::string& path, std::string_view bytes, int mode = -1);

// Flushes the entries of a folder (files renamed into it or removed from it)
// to disk. 0, or the system's error number.
int sync_folder(const std::string& folder);

// Renames `from` to `to` (replacing a file there) so that the rename itself
// reaches the disk: Windows writes it through; elsewhere the folders of both
// names are flushed after it. 0, or the system's error number (EXDEV when
// the two lie on different file systems). `moved` (when given) tells
// whether `to` was replaced, also when only the flush after it failed.
int durable_rename(const std::string& from, const std::string& to, bool* moved = nullptr);

}  // namespace afp
