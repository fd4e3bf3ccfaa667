#pragma once
// Programs that the tests start (servers, players, recorders) as children of the test process,
// which stops and reaps them itself: a parent that never waits would leave each one a zombie,
// still "running" to anyone who asks with kill(pid, 0), on a machine whose init reaps nothing.

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A file descriptor closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }
  [[nodiscard]] int Get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  UniqueFd read;
  UniqueFd write;
};

// Both ends close on exec: a child gets one only through its redirections.
Pipe MakePipe();

// Where a child's standard streams go: a descriptor of ours, else a file (appended), else
// /dev/null.
struct Streams {
  Streams& From(int fd) {
    input = fd;
    return *this;
  }
  Streams& To(int fd) {
    output = fd;
    return *this;
  }
  Streams& ToFile(std::filesystem::path file) {
    outputFile = std::move(file);
    return *this;
  }
  Streams& Errors(std::filesystem::path file) {
    errorFile = std::move(file);
    return *this;
  }

  int input = -1;
  int output = -1;
  std::filesystem::path outputFile;
  std::filesystem::path errorFile;
};

// A program started without a shell (posix_spawn: QProcess loses ThreadSanitizer's track of
// this process's threads) into a process group; stopped and reaped when it goes.
class Child {
 public:
  // group 0 makes a new group led by the child.
  Child(std::vector<std::string> arguments, std::vector<std::string> environment,
        const Streams& streams, pid_t group);
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  [[nodiscard]] pid_t Pid() const { return pid_; }
  [[nodiscard]] const std::string& Name() const { return name_; }

  // False once it has ended; reaps it then.
  bool Running();
  // Its exit status (-1 when a signal ended it) once it has ended within timeout.
  std::optional<int> Wait(std::chrono::milliseconds timeout);
  // Sends signal (nothing when 0), gives it a while to end, then kills it.
  void Stop(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(2));

 private:
  std::string name_;
  pid_t pid_ = -1;
  int exitStatus_ = -1;
};

// This process's environment, each entry "NAME=value".
std::vector<std::string> CurrentEnvironment();
