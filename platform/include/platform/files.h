// Files written so that a power cut leaves either the old or the whole new
// file: written new, flushed to disk, then renamed into place with a rename
// that reaches the disk.
#pragma once

#include <functional>
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

#ifndef _WIN32
// Tests only: called with the folder before each folder flush; a nonzero
// result is taken as the flush's error number (the folder is not flushed).
// An empty function: none.
void set_folder_flush_hook(std::function<int(const std::string& folder)> hook);
#endif

// Renames `from` to `to` (replacing a file there) so that the rename itself
// reaches the disk: Windows writes it through; elsewhere the folders of both
// names are flushed after it. 0, or the system's error number (EXDEV when
// the two lie on different file systems). `moved` (when given) tells
// whether `to` was replaced, also when only the flush after it failed.
int durable_rename(const std::string& from, const std::string& to, bool* moved = nullptr);

// Removes the file `path` (a link itself, never what it names) so that the
// removal reaches the disk: Windows first renames it to "<path>.del" (over
// one left there) with a rename written through, then deletes that;
// elsewhere its folder is flushed after it. 0 (also when nothing stands
// there), or the system's error number (EISDIR for a folder). `removed`
// (when given) tells whether the name is gone, also when only the flush
// after it failed.
int remove_file(const std::string& path, bool* removed = nullptr);

// The reason an error number of these calls stands for, in words: the
// system's text; on Windows EBUSY is a file another program holds open (a
// sharing or lock violation), and its text says so.
std::string error_text(int err);

}  // namespace afp
