#include "tests/tools/ToolRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "tools/kelcore/CommandLine.h"

extern char** environ;

namespace kelvor::tools {
namespace {

// A pipe whose ends are closed on exec; the child gets its end through dup2 only.
struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    read = fds[0];
    write = fds[1];
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  void closeRead() {
    if (read >= 0) ::close(read);
    read = -1;
  }
  void closeWrite() {
    if (write >= 0) ::close(write);
    write = -1;
  }
};

// The environment with each sanitizer told to abort on its first report: a report then ends
// the child by SIGABRT instead of an exit status of 1 that would look like a clean failure.
std::vector<std::string> childEnvironment() {
  const std::vector<std::pair<std::string, std::string>> options = {
      {"ASAN_OPTIONS=", "abort_on_error=1:detect_leaks=1"},
      {"UBSAN_OPTIONS=", "halt_on_error=1:abort_on_error=1:print_stacktrace=1"},
  };
  std::vector<std::string> env;
  std::vector<bool> seen(options.size(), false);
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    for (size_t i = 0; i < options.size(); ++i) {
      if (entry.rfind(options[i].first, 0) == 0) {
        entry += ":" + options[i].second;  // later options win
        seen[i] = true;
      }
    }
    env.push_back(std::move(entry));
  }
  for (size_t i = 0; i < options.size(); ++i) {
    if (!seen[i]) env.push_back(options[i].first + options[i].second);
  }
  return env;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ToolRunner::Result ToolRunner::run(const std::vector<std::string>& args, const std::string& input) {
  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.read, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
  // The child starts with SIGPIPE at its default, whatever this process does with it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argv = {KELCORE_TOOL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env = childEnvironment();
  std::vector<char*> argvPointers = pointersTo(argv);
  std::vector<char*> envPointers = pointersTo(env);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, KELCORE_TOOL_PATH, &actions, &attributes,
                                  argvPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) {
    throw std::runtime_error(std::string("cannot run " KELCORE_TOOL_PATH ": ") +
                             std::strerror(spawned));
  }
  in.closeRead();
  out.closeWrite();
  err.closeWrite();

  // A child that stops reading its input must not stop this process: EPIPE, not SIGPIPE.
  static const bool ignored = [] { return signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
  (void)ignored;
  fcntl(in.write, F_SETFL, O_NONBLOCK);
  if (input.empty()) in.closeWrite();

  Result result;
  size_t written = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(TIME_LIMIT_SECONDS);
  bool killed = false;
  while (out.read >= 0 || err.read >= 0) {
    pollfd fds[3];
    nfds_t n = 0;
    for (const int fd : {out.read, err.read}) {
      if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
    }
    if (in.write >= 0) fds[n++] = {in.write, POLLOUT, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    if (poll(fds, n, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    for (nfds_t i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in.write) {
        const ssize_t w = ::write(in.write, input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN && errno != EINTR) in.closeWrite();  // EPIPE: it is done
        if (written == input.size()) in.closeWrite();
        continue;
      }
      char buffer[65536];
      const ssize_t r = ::read(fds[i].fd, buffer, sizeof buffer);
      if (r > 0) {
        (fds[i].fd == out.read ? result.out : result.err).append(buffer, static_cast<size_t>(r));
      } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
        if (fds[i].fd == out.read) {
          out.closeRead();
        } else {
          err.closeRead();
        }
      }
    }
  }
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  if (killed) {
    result.signal = SIGKILL;
  } else if (WIFEXITED(wstatus)) {
    result.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    result.signal = WTERMSIG(wstatus);
  }
  return result;
}

ToolRunner::Result ToolRunner::runInProcess(const std::vector<std::string>& args,
                                            const std::string& input) {
  std::vector<const char*> argv = {"kelcore"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::istringstream in(input);
  std::ostringstream out, err;
  Result result;
  result.status = CommandLine::run(static_cast<int>(argv.size()), argv.data(),
                                   Commands::Streams{in, out, err}, false);
  result.out = out.str();
  result.err = err.str();
  return result;
}

}  // namespace kelvor::tools
