#include "platform/files.h"

#include <windows.h>

#include <cerrno>
#include <initializer_list>
#include <system_error>

#include "wide.h"

namespace afp {

namespace {

int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    // Another program holds the file open (or locked): EBUSY, in words by
    // error_text().
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EBUSY;
    default: return EIO;
  }
}

// Whether another handle holds the file open: an open for deletion that
// shares nothing then fails with a sharing violation.
bool held_open(const std::wstring& name) {
  HANDLE h = CreateFileW(name.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

// The error number of the call that just failed on the files `names`. A
// rename over a file another program holds open is refused as "access
// denied": when one of the files is held open it is reported as in use.
int failure_on(std::initializer_list<const std::wstring*> names, DWORD error = GetLastError()) {
  if (error == ERROR_ACCESS_DENIED) {
    for (const std::wstring* name : names) {
      if (held_open(*name)) return EBUSY;
    }
  }
  return errno_of(error);
}

}  // namespace

int write_new_file(const std::string& path, std::string_view bytes, int mode) {
  const std::wstring name = win32::widen(path);
  // A leftover goes (a link is removed, not followed); one that cannot go
  // fails the write with its own reason.
  if (!DeleteFileW(name.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
    return failure_on({&name});
  }
  // Read-only is the one permission a Windows file has.
  const DWORD attributes = mode >= 0 && (mode & 0200) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
  HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return errno_of(GetLastError());
  int err = 0;
  std::size_t done = 0;
  while (err == 0 && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(bytes.size() - done > 0x40000000 ? 0x40000000 : bytes.size() - done);
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) err = errno_of(GetLastError());
    done += written;
  }
  if (err == 0 && !FlushFileBuffers(h)) err = errno_of(GetLastError());
  if (!CloseHandle(h) && err == 0) err = errno_of(GetLastError());
  if (err != 0) {
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(name.c_str());
  }
  return err;
}

// A folder cannot be flushed here: durable_rename and remove_file write
// their changes through themselves.
int sync_folder(const std::string&) { return 0; }

int durable_rename(const std::string& from, const std::string& to, bool* moved) {
  if (moved) *moved = false;
  const std::wstring from_name = win32::widen(from), to_name = win32::widen(to);
  if (!MoveFileExW(from_name.c_str(), to_name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return failure_on({&from_name, &to_name});
  }
  if (moved) *moved = true;
  return 0;
}

int remove_file(const std::string& path, bool* removed) {
  if (removed) *removed = false;
  const std::wstring name = win32::widen(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : errno_of(error);
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EISDIR;
  // A deletion is not written through, and no folder flush reaches it: the
  // file first moves to "<path>.del" with a rename that reaches the disk,
  // so after a power cut its own name is gone for good. That name replaces
  // one a power cut left; one in the way that cannot go gives a numbered
  // name.
  std::wstring gone;
  for (unsigned n = 0;; ++n) {
    gone = name + L".del" + (n == 0 ? L"" : L"." + std::to_wstring(n));
    if (MoveFileExW(name.c_str(), gone.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return 0;
    if (error == ERROR_ACCESS_DENIED && n < 16 && GetFileAttributesW(gone.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    return failure_on({&name}, error);
  }
  if (removed) *removed = true;
  // Deleted under that name (read-only stops a deletion); while another
  // program holds it open, at its close.
  SetFileAttributesW(gone.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(gone.c_str());
  return 0;
}

std::string error_text(int err) {
  // The C library has no text that says a file is in use.
  if (err == EBUSY) return "File in use by another program";
  return std::generic_category().message(err);
}

}  // namespace afp
