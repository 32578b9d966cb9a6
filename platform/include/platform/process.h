// Child processes, elevated starts, environment variables and the hard exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace afp {

struct ElevatedStart;

// A child process whose standard output and standard error go into one pipe
// that the parent reads. Standard input, the working folder and the
// environment are inherited. The child runs in a process group of its own,
// so a terminal's Ctrl-C does not reach it. Windows: CreateProcessW with a
// hidden window. Linux: posix_spawn; no descriptor of ours but the pipe
// reaches the child.
class ChildProcess {
 public:
  // Starts `program` (a path) with `args` (not including the program
  // itself). nullptr when it cannot be started; `error` then says why.
  static std::unique_ptr<ChildProcess> start(const std::string& program,
                                             const std::vector<std::string>& args,
                                             std::string* error = nullptr);

  // Reads up to `max` bytes of the child's output (blocking). Returns the
  // count (> 0), 0 at the end of the output, -1 on failure or after
  // close_output().
  std::int64_t read(char* buffer, std::size_t max);

  // Reads one line including its '\n' (the last one may lack it); empty at
  // the end of the output.
  std::string read_line();

  // The exit code when the child has ended, else nothing.
  std::optional<int> poll();

  // Waits up to `timeout_ms` (negative: without limit) for the child to end;
  // its exit code, or nothing on time-out.
  std::optional<int> wait(int timeout_ms = -1);

  // Ends the child at once (TerminateProcess / SIGKILL); a child ended this
  // way has exit code 1, as on Windows. False when it had already ended.
  bool terminate();

  // Closes the parent's end of the output pipe.
  void close_output();

  // The child's process id.
  int pid() const;

  ~ChildProcess();  // closes the pipe; does not end the child
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

 private:
  friend ElevatedStart start_elevated(const std::string&, const std::string&, const std::string&);
  ChildProcess() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Exit codes on Linux: a normal exit gives its status (0..255, so -1 reads
// as 255), a death by signal other than terminate() gives 128 + signal.

// What the shell's elevated start gave: `result` is greater than 32 when the
// program was started, else an error code (2: file not found). `process`
// follows the started program (poll/wait/terminate; it has no output to
// read); null when nothing was started or no handle came back.
struct ElevatedStart {
  int result = 0;
  std::unique_ptr<ChildProcess> process;
};

// Starts `program` with the command-line `parameters` in `working_dir`,
// elevated through the shell's "runas" verb and shown normally, without
// waiting for it.
// Linux: a plain start; a relative `program` is looked up in `working_dir`;
// `parameters` are split at blanks.
ElevatedStart start_elevated(const std::string& program, const std::string& parameters,
                             const std::string& working_dir);

// The shell's answer whether the user is an administrator (non-zero: yes);
// nothing when the shell function cannot be reached. Linux: 1 for root.
std::optional<int> user_is_admin();

// Environment variables of this process (inherited by children started
// later). get_env gives nothing when the variable is not set.
bool set_env(const std::string& name, const std::string& value);
std::optional<std::string> get_env(const std::string& name);

// Ends the process at once with `code`: no static destructor, no atexit
// handler runs, every other thread ends with it.
[[noreturn]] void hard_exit(int code);

// Keeps a write to a closed pipe or socket from killing the process
// (SIGPIPE on Linux; nothing to do on Windows).
void ignore_broken_pipe_signal();

}  // namespace afp
