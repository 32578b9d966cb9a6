// Child processes (CreateProcessW, hidden window, output piped), the
// shell's elevated start, environment variables and the hard exit.
#include "platform/process.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdlib>
#include <mutex>

#include "wide.h"

namespace afp {
namespace {

// One argument quoted so that the child's command-line parser gives it
// back unchanged.
void append_quoted(std::wstring& cmd, const std::wstring& arg) {
  if (!cmd.empty()) cmd += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    cmd += arg;
    return;
  }
  cmd += L'"';
  for (auto it = arg.begin();; ++it) {
    std::size_t backslashes = 0;
    while (it != arg.end() && *it == L'\\') {
      ++it;
      ++backslashes;
    }
    if (it == arg.end()) {
      cmd.append(backslashes * 2, L'\\');
      break;
    }
    if (*it == L'"') {
      cmd.append(backslashes * 2 + 1, L'\\');
    } else {
      cmd.append(backslashes, L'\\');
    }
    cmd += *it;
  }
  cmd += L'"';
}

}  // namespace

struct ChildProcess::Impl {
  HANDLE process = nullptr;
  HANDLE out = nullptr;  // read end of the output pipe
  DWORD pid = 0;
  std::string pending;
  std::mutex out_lock;  // guards `out` against close_output from another thread
};

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program,
                                                  const std::vector<std::string>& args,
                                                  std::string* error) {
  auto fail = [&](const char* what) -> std::unique_ptr<ChildProcess> {
    if (error) *error = std::string(what) + " failed, error " + std::to_string(GetLastError());
    return nullptr;
  };
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE rd = nullptr, wr = nullptr;
  if (!CreatePipe(&rd, &wr, &sa, 0)) return fail("CreatePipe");
  SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);

  // Standard input is passed on as it is; an inheritable copy is needed for
  // the child to receive it.
  HANDLE in = nullptr;
  HANDLE std_in = GetStdHandle(STD_INPUT_HANDLE);
  if (std_in && std_in != INVALID_HANDLE_VALUE) {
    if (!DuplicateHandle(GetCurrentProcess(), std_in, GetCurrentProcess(), &in, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
      in = nullptr;
    }
  }

  // Only these handles reach the child, whatever else is inheritable.
  HANDLE inherit[2] = {wr, in};
  DWORD inherit_count = in ? 2 : 1;
  SIZE_T attr_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attr_size);
  std::string attr_buf(attr_size, '\0');
  auto* attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attr_buf.data());
  bool have_attrs = InitializeProcThreadAttributeList(attrs, 1, 0, &attr_size) &&
                    UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit,
                                              inherit_count * sizeof(HANDLE), nullptr, nullptr);

  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.StartupInfo.wShowWindow = SW_HIDE;
  si.StartupInfo.hStdInput = in;
  si.StartupInfo.hStdOutput = wr;
  si.StartupInfo.hStdError = wr;
  if (have_attrs) si.lpAttributeList = attrs;

  std::wstring wprogram = win32::widen(program);
  std::wstring cmd;
  append_quoted(cmd, wprogram);
  for (const auto& a : args) append_quoted(cmd, win32::widen(a));

  PROCESS_INFORMATION pi{};
  // A group of its own: a console's Ctrl-C reaches only this process, which
  // then ends the child itself.
  const DWORD flags = CREATE_NEW_PROCESS_GROUP | (have_attrs ? EXTENDED_STARTUPINFO_PRESENT : 0);
  BOOL ok = CreateProcessW(wprogram.c_str(), cmd.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                           &si.StartupInfo, &pi);
  DWORD err = GetLastError();
  if (have_attrs) DeleteProcThreadAttributeList(attrs);
  CloseHandle(wr);
  if (in) CloseHandle(in);
  if (!ok) {
    CloseHandle(rd);
    SetLastError(err);
    return fail("CreateProcessW");
  }
  CloseHandle(pi.hThread);
  std::unique_ptr<ChildProcess> child(new ChildProcess());
  child->impl_ = std::make_unique<Impl>();
  child->impl_->process = pi.hProcess;
  child->impl_->out = rd;
  child->impl_->pid = pi.dwProcessId;
  return child;
}

std::int64_t ChildProcess::read(char* buffer, std::size_t max) {
  if (max == 0) return 0;
  if (!impl_->pending.empty()) {
    std::size_t n = std::min(max, impl_->pending.size());
    impl_->pending.copy(buffer, n);
    impl_->pending.erase(0, n);
    return static_cast<std::int64_t>(n);
  }
  HANDLE h = impl_->out;
  if (!h) return -1;
  DWORD got = 0;
  DWORD chunk = max > 65536 ? 65536 : static_cast<DWORD>(max);
  if (!ReadFile(h, buffer, chunk, &got, nullptr)) {
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;  // broken pipe: the child's end closed
  }
  return got;
}

std::string ChildProcess::read_line() {
  for (;;) {
    std::size_t nl = impl_->pending.find('\n');
    if (nl != std::string::npos) {
      std::string line = impl_->pending.substr(0, nl + 1);
      impl_->pending.erase(0, nl + 1);
      return line;
    }
    char buf[4096];
    DWORD got = 0;
    HANDLE h = impl_->out;
    if (!h || !ReadFile(h, buf, sizeof buf, &got, nullptr) || got == 0) {
      std::string rest;
      rest.swap(impl_->pending);
      return rest;
    }
    impl_->pending.append(buf, got);
  }
}

std::optional<int> ChildProcess::poll() { return wait(0); }

std::optional<int> ChildProcess::wait(int timeout_ms) {
  DWORD r = WaitForSingleObject(impl_->process, timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  if (r != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(impl_->process, &code)) return std::nullopt;
  return static_cast<int>(code);
}

bool ChildProcess::terminate() {
  if (poll()) return false;
  return TerminateProcess(impl_->process, 1) != 0;
}

void ChildProcess::close_output() {
  std::lock_guard<std::mutex> guard(impl_->out_lock);
  if (impl_->out) CloseHandle(impl_->out);
  impl_->out = nullptr;
}

int ChildProcess::pid() const { return static_cast<int>(impl_->pid); }

ChildProcess::~ChildProcess() {
  if (!impl_) return;
  close_output();
  if (impl_->process) CloseHandle(impl_->process);
}

ElevatedStart start_elevated(const std::string& program, const std::string& parameters,
                             const std::string& working_dir) {
  HRESULT co = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  std::wstring file = win32::widen(program), params = win32::widen(parameters), dir = win32::widen(working_dir);
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof sei;
  // The process handle comes back so the caller can wait for the program
  // and read its exit code.
  sei.fMask = SEE_MASK_NOASYNC | SEE_MASK_NOCLOSEPROCESS;
  sei.lpVerb = L"runas";
  sei.lpFile = file.c_str();
  sei.lpParameters = params.empty() ? nullptr : params.c_str();
  sei.lpDirectory = dir.empty() ? nullptr : dir.c_str();
  sei.nShow = SW_SHOWNORMAL;
  BOOL ok = ShellExecuteExW(&sei);
  DWORD err = GetLastError();
  if (SUCCEEDED(co)) CoUninitialize();
  ElevatedStart started;
  int code = static_cast<int>(reinterpret_cast<INT_PTR>(sei.hInstApp));
  if (ok) {
    started.result = code > 32 ? code : 42;
    if (sei.hProcess) {
      started.process.reset(new ChildProcess());
      started.process->impl_ = std::make_unique<ChildProcess::Impl>();
      started.process->impl_->process = sei.hProcess;
      started.process->impl_->pid = GetProcessId(sei.hProcess);
    }
    return started;
  }
  // The shell's own error code where it set one, else the system error
  // (cancelled elevation and denied access both read as access denied).
  if (code > 0 && code <= 32) {
    started.result = code;
  } else if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
    started.result = static_cast<int>(err);
  } else {
    started.result = SE_ERR_ACCESSDENIED;
  }
  return started;
}

std::optional<int> user_is_admin() {
  // Looked up at run time: the function is missing from some shells.
  HMODULE shell = LoadLibraryW(L"shell32.dll");
  if (!shell) return std::nullopt;
  using IsUserAnAdminFn = BOOL(WINAPI*)();
  auto fn = reinterpret_cast<IsUserAnAdminFn>(reinterpret_cast<void*>(GetProcAddress(shell, "IsUserAnAdmin")));
  std::optional<int> r;
  if (fn) r = fn();
  FreeLibrary(shell);
  return r;
}

bool set_env(const std::string& name, const std::string& value) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  std::wstring wname = win32::widen(name), wvalue = win32::widen(value);
  // Both the process block (inherited by CreateProcessW children) and the C
  // run-time's copy (getenv) must see it.
  bool ok = SetEnvironmentVariableW(wname.c_str(), wvalue.c_str()) != 0;
  _wputenv_s(wname.c_str(), wvalue.c_str());
  return ok;
}

std::optional<std::string> get_env(const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::wstring wname = win32::widen(name);
  SetLastError(0);
  DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
  if (n == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    return std::string();
  }
  std::wstring value(n, L'\0');
  DWORD got = GetEnvironmentVariableW(wname.c_str(), value.data(), n);
  if (got >= n) return std::nullopt;  // changed in between; treat as missing
  value.resize(got);
  return win32::narrow(value);
}

void hard_exit(int code) { ExitProcess(static_cast<UINT>(code)); }

void ignore_broken_pipe_signal() {}

}  // namespace afp
