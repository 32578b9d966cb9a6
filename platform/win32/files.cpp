#include "platform/files.h"

#include <windows.h>

#include <cerrno>

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
    default: return EIO;
  }
}

}  // namespace

int write_new_file(const std::string& path, std::string_view bytes, int mode) {
  const std::wstring name = win32::widen(path);
  DeleteFileW(name.c_str());  // a leftover; a link is removed, not followed
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

// NTFS journals its folder entries; durable_rename writes its renames
// through.
int sync_folder(const std::string&) { return 0; }

int durable_rename(const std::string& from, const std::string& to, bool* moved) {
  if (moved) *moved = false;
  if (!MoveFileExW(win32::widen(from).c_str(), win32::widen(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return errno_of(GetLastError());
  }
  if (moved) *moved = true;
  return 0;
}

}  // namespace afp
