#include "platform/shell.h"
#include "platform/ascii_text.h"
#include "platform/file_descriptor.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string_view>
#include <thread>
#include <utility>

namespace {

constexpr UINT StartedCode = 33;  // any value above 31 (WinExec) or 32 (ShellExecuteA)
// More than any answer of xdg-mime; the rest is read and dropped so that the program can end.
constexpr std::size_t OutputLimit = 65536;

std::function<void(ShellCall&)>& Hook() {
  static std::function<void(ShellCall&)> hook;
  return hook;
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The program's path as execvp would find it, or empty.
std::string FindProgram(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const char* path = std::getenv("PATH");
  const std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(folders.find(':', start), folders.size());
    const std::string_view folder = folders.substr(start, end - start);
    std::string candidate = (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    if (end == folders.size()) return {};
    start = end + 1;
  }
}

bool Installed(const std::string& name) { return !FindProgram(name).empty(); }

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

bool IsVolumeControlLine(const std::vector<std::string>& words) {
  return (words.size() == 2 && EqualIgnoringAsciiCase(words[0], "control") &&
          EqualIgnoringAsciiCase(words[1], "mmsys.cpl,,1")) ||
         (words.size() == 2 && EqualIgnoringAsciiCase(words[0], "Sndvol32.exe") &&
          EqualIgnoringAsciiCase(words[1], "-R"));
}

struct DesktopMixer {
  std::string_view desktop;  // as XDG_CURRENT_DESKTOP names it
  std::vector<std::string> argv;
};

std::vector<std::string> DesktopSoundSettings() {
  const std::array<DesktopMixer, 6> mixers{{
      {"GNOME", {"gnome-control-center", "sound"}},
      {"Unity", {"gnome-control-center", "sound"}},
      {"KDE", {"systemsettings", "kcm_pulseaudio"}},
      {"X-Cinnamon", {"cinnamon-settings", "sound"}},
      {"MATE", {"mate-volume-control"}},
      {"LXQt", {"pavucontrol-qt"}},
  }};
  const char* value = std::getenv("XDG_CURRENT_DESKTOP");
  const std::string_view desktops = value != nullptr ? value : "";
  std::size_t start = 0;
  while (start < desktops.size()) {
    const std::size_t end = std::min(desktops.find(':', start), desktops.size());
    const std::string_view desktop = desktops.substr(start, end - start);
    for (const DesktopMixer& mixer : mixers) {
      if (EqualIgnoringAsciiCase(mixer.desktop, desktop) && Installed(mixer.argv[0]))
        return mixer.argv;
    }
    start = end + 1;
  }
  return {};
}

std::vector<std::string> RecordingMixer() {
  if (Installed("pavucontrol")) return {"pavucontrol", "--tab=4"};
  if (auto settings = DesktopSoundSettings(); !settings.empty()) return settings;
  if (Installed("x-terminal-emulator") && Installed("alsamixer")) {
    return {"x-terminal-emulator", "-e", "alsamixer", "-V", "capture"};
  }
  return {};
}

class SpawnActions {
 public:
  // outputTo, when not negative, becomes the standard output of the new program.
  explicit SpawnActions(int outputTo) {
    posix_spawn_file_actions_init(&actions_);
    if (outputTo >= 0) posix_spawn_file_actions_adddup2(&actions_, outputTo, STDOUT_FILENO);
    // Keeps the sound devices and files of this program out of the new one.
    posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  [[nodiscard]] const posix_spawn_file_actions_t* Get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
};

class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawnattr_init(&attributes_);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    // A session of its own: the mixer stays open when this program ends or its terminal closes.
    posix_spawnattr_setflags(&attributes_,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  [[nodiscard]] const posix_spawnattr_t* Get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_{};
};

std::string ReadAll(const FileDescriptor& from) {
  std::string text;
  std::array<char, 4096> chunk{};
  for (;;) {
    const ssize_t count = ::read(from.Get(), chunk.data(), chunk.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return text;
    const auto kept = std::min(static_cast<std::size_t>(count), OutputLimit - text.size());
    text.append(chunk.data(), kept);
  }
}

int WaitForEnd(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// Starts the program; its output is collected when collectOutput is set.
StartedProgram Spawn(const std::vector<std::string>& argv, bool collectOutput) {
  const std::string program = FindProgram(argv.front());
  if (program.empty()) return {};
  FileDescriptor readEnd;
  FileDescriptor writeEnd;
  if (collectOutput) {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) return {};
    readEnd = FileDescriptor(ends[0]);
    writeEnd = FileDescriptor(ends[1]);
  }
  std::vector<char*> arguments;
  arguments.reserve(argv.size() + 1);
  for (const std::string& word : argv) arguments.push_back(const_cast<char*>(word.c_str()));
  arguments.push_back(nullptr);
  const SpawnActions actions(writeEnd.Get());
  const SpawnAttributes attributes;
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), actions.Get(), attributes.Get(), arguments.data(),
                  environ) != 0) {
    return {};
  }
  writeEnd = FileDescriptor();  // the output ends when the program's copy closes
  std::promise<StartedProgram::End> promise;
  StartedProgram started(promise.get_future().share());
  // Nobody waits for the program, so a thread of its own reaps it when it ends.
  std::thread([pid, output = std::move(readEnd), promise = std::move(promise)]() mutable {
    StartedProgram::End end;
    if (output.Get() >= 0) end.output = ReadAll(output);
    end.status = WaitForEnd(pid);
    promise.set_value(std::move(end));
  }).detach();
  return started;
}

// Hands the call to the hook, or starts its program.
StartedProgram Run(ShellCall& call, bool collectOutput) {
  if (Hook()) {
    Hook()(call);
    return call.argv.empty() ? StartedProgram() : StartedProgram::Ended(call.end);
  }
  if (call.argv.empty()) return {};
  return Spawn(call.argv, collectOutput);
}

}  // namespace

StartedProgram StartedProgram::Ended(End end) {
  std::promise<End> promise;
  promise.set_value(std::move(end));
  return StartedProgram(promise.get_future().share());
}

std::optional<StartedProgram::End> StartedProgram::Result() const {
  if (!end_.valid() || end_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    return std::nullopt;
  }
  return end_.get();
}

UINT WinExec(const char* lpCmdLine, UINT uCmdShow) {
  ShellCall call;
  call.function = "WinExec";
  call.commandLine = lpCmdLine != nullptr ? lpCmdLine : "";
  call.showCmd = static_cast<int>(uCmdShow);
  const std::vector<std::string> words = SplitCommandLine(call.commandLine);
  if (words.empty()) {
    if (Hook()) Hook()(call);
    return ERROR_BAD_FORMAT;
  }
  if (IsVolumeControlLine(words)) {
    call.argv = RecordingMixer();
  } else if (Installed(words.front())) {
    call.argv = words;
  }
  return Run(call, false).Started() ? StartedCode : ERROR_FILE_NOT_FOUND;
}

HINSTANCE ShellExecuteA(HWND hwnd, const char* lpOperation, const char* lpFile,
                        const char* lpParameters, const char* lpDirectory, int nShowCmd) {
  StartedProgram xdgOpen;
  return ShellExecuteA(hwnd, lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd, xdgOpen);
}

HINSTANCE ShellExecuteA(HWND /*hwnd*/, const char* lpOperation, const char* lpFile,
                        const char* lpParameters, const char* lpDirectory, int nShowCmd,
                        StartedProgram& xdgOpen) {
  ShellCall call;
  call.function = "ShellExecuteA";
  call.verb = lpOperation != nullptr ? lpOperation : "";
  call.file = lpFile != nullptr ? lpFile : "";
  call.parameters = lpParameters != nullptr ? lpParameters : "";
  call.directory = lpDirectory != nullptr ? lpDirectory : "";
  call.showCmd = nShowCmd;
  UINT failure = SE_ERR_NOASSOC;
  if (lpOperation == nullptr || EqualIgnoringAsciiCase(call.verb, "open")) {
    struct stat info {};
    const bool isUrl = call.file.find("://") != std::string::npos;
    if (call.file.empty() || (!isUrl && ::stat(call.file.c_str(), &info) != 0)) {
      failure = ERROR_FILE_NOT_FOUND;
    } else if (Installed("xdg-open")) {
      // A name that looks like an option must not be taken for one.
      call.argv = {"xdg-open", call.file.front() == '-' ? "./" + call.file : call.file};
    }
  }
  xdgOpen = Run(call, false);
  return static_cast<HINSTANCE>(xdgOpen.Started() ? StartedCode : failure);
}

StartedProgram QueryDefaultApplication(const std::string& mimeType) {
  ShellCall call;
  call.function = "QueryDefaultApplication";
  if (Installed("xdg-mime")) call.argv = {"xdg-mime", "query", "default", mimeType};
  return Run(call, true);
}

void SetShellHook(std::function<void(ShellCall&)> hook) { Hook() = std::move(hook); }
