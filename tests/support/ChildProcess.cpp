#include "tests/support/ChildProcess.h"

#include "tests/support/WaveInFixtures.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <system_error>

namespace {

// posix_spawn's attribute and file-action records, destroyed when they go.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attributes_);
    posix_spawn_file_actions_init(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  posix_spawnattr_t* Attributes() { return &attributes_; }
  posix_spawn_file_actions_t* Actions() { return &actions_; }

  void Redirect(int target, int fd, const std::filesystem::path& file, int flags) {
    if (fd >= 0) {
      posix_spawn_file_actions_adddup2(&actions_, fd, target);
    } else {
      posix_spawn_file_actions_addopen(&actions_, target, file.empty() ? "/dev/null" : file.c_str(),
                                       flags, 0644);
    }
  }

 private:
  posix_spawnattr_t attributes_{};
  posix_spawn_file_actions_t actions_{};
};

std::vector<char*> NullTerminated(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Pipe MakePipe() {
  std::array<int, 2> fds{};
  if (pipe2(fds.data(), O_CLOEXEC) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe2");
  }
  return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

Child::Child(std::vector<std::string> arguments, std::vector<std::string> environment,
             const Streams& streams, pid_t group)
    : name_(arguments.front()) {
  SpawnSetup setup;
  setup.Redirect(STDIN_FILENO, streams.input, {}, O_RDONLY);
  setup.Redirect(STDOUT_FILENO, streams.output, streams.outputFile, O_WRONLY | O_CREAT | O_APPEND);
  setup.Redirect(STDERR_FILENO, -1, streams.errorFile, O_WRONLY | O_CREAT | O_APPEND);
  // None of this process's other files: a server holding the pipe of a death test, say, would
  // keep its runner waiting.
  posix_spawn_file_actions_addclosefrom_np(setup.Actions(), STDERR_FILENO + 1);
  // Signals this process ignores, blocks or catches (the sanitizers do) start as usual there.
  sigset_t noSignals;
  sigemptyset(&noSignals);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&defaults, signal);
  posix_spawnattr_setflags(setup.Attributes(),
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(setup.Attributes(), group);
  posix_spawnattr_setsigmask(setup.Attributes(), &noSignals);
  posix_spawnattr_setsigdefault(setup.Attributes(), &defaults);
  const std::vector<char*> argv = NullTerminated(arguments);
  const std::vector<char*> envp = NullTerminated(environment);
  if (const int error = posix_spawnp(&pid_, argv.front(), setup.Actions(), setup.Attributes(),
                                     argv.data(), envp.data());
      error != 0) {
    throw std::system_error(error, std::generic_category(), "cannot start " + name_);
  }
}

Child::~Child() { Stop(SIGTERM); }

bool Child::Running() {
  if (pid_ < 0) return false;
  int status = 0;
  const pid_t result = waitpid(pid_, &status, WNOHANG);
  if (result == 0) return true;
  if (result == pid_) exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  pid_ = -1;
  return false;
}

std::optional<int> Child::Wait(std::chrono::milliseconds timeout) {
  if (!WaitUntil([this] { return !Running(); }, timeout)) return std::nullopt;
  return exitStatus_;
}

void Child::Stop(int signal, std::chrono::milliseconds timeout) {
  if (!Running()) return;
  if (signal != 0) kill(pid_, signal);
  if (Wait(timeout)) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::vector<std::string> CurrentEnvironment() {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
  return variables;
}
