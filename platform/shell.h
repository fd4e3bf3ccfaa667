#pragma once
// Starting programs and opening documents with the Windows calls. Programs are started
// directly (no shell), in a session of their own, without the program's open files and
// without waiting; a thread of this layer reaps each one when it ends, so none is left behind
// as a zombie, and notes how it ended. User-interface thread only.

#include <cstdint>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows_types.h"

using HWND = void*;
// As in Windows: a value above 32 means success, otherwise it is one of the error codes below.
using HINSTANCE = std::intptr_t;

constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMAXIMIZED = 3;

constexpr UINT ERROR_FILE_NOT_FOUND = 2;
constexpr UINT ERROR_BAD_FORMAT = 11;
constexpr UINT SE_ERR_NOASSOC = 31;

// Starts the program of a command line: words separated by blanks, double quotes grouping,
// the first word looked up on PATH. The two volume-control command lines "control
// mmsys.cpl,,1" and "Sndvol32.exe -R" (letter case aside) start the recording mixer instead:
// "pavucontrol --tab=4" where it is installed, else the sound settings of the desktop named in
// XDG_CURRENT_DESKTOP, else "alsamixer -V capture" in x-terminal-emulator. Returns 33 once the
// program runs, ERROR_FILE_NOT_FOUND when there is nothing to start, ERROR_BAD_FORMAT for an
// empty line. uCmdShow is passed on to nobody: Linux has no common way to ask for it.
UINT WinExec(const char* lpCmdLine, UINT uCmdShow);

// How a program started by this layer ends, learned without waiting for it. Any thread may
// ask.
class StartedProgram {
 public:
  struct End {
    int status = 0;  // exit status; 128 + the signal's number when a signal ended it, -1 unknown
    std::string output;  // its standard output, when that was collected
  };

  StartedProgram() = default;  // nothing was started
  explicit StartedProgram(std::shared_future<End> end) : end_(std::move(end)) {}
  // A program that has already ended so.
  static StartedProgram Ended(End end);

  [[nodiscard]] bool Started() const { return end_.valid(); }
  // Empty while the program runs, and when nothing was started.
  [[nodiscard]] std::optional<End> Result() const;

 private:
  std::shared_future<End> end_;
};

// With lpOperation "open" (or null), hands lpFile to xdg-open and returns 33 once xdg-open
// runs. A file that does not exist gives ERROR_FILE_NOT_FOUND (a name with "://" is passed on
// unchecked); another verb, or no xdg-open, gives SE_ERR_NOASSOC. The owner, parameters,
// folder and show command are not used.
HINSTANCE ShellExecuteA(HWND hwnd, const char* lpOperation, const char* lpFile,
                        const char* lpParameters, const char* lpDirectory, int nShowCmd);
// The same, and xdgOpen tells how xdg-open ends: status 0 when it opened the file. That status
// is the only sign of success, since xdg-open starts whether or not anything can show the
// file. xdg-open may also run the viewer itself and end only when the viewer closes.
HINSTANCE ShellExecuteA(HWND hwnd, const char* lpOperation, const char* lpFile,
                        const char* lpParameters, const char* lpDirectory, int nShowCmd,
                        StartedProgram& xdgOpen);

// Starts "xdg-mime query default mimeType" and collects its output: once it has ended with
// status 0, the first line names the desktop entry of the default application for that type,
// and an empty line means there is none. Nothing is started without xdg-mime.
StartedProgram QueryDefaultApplication(const std::string& mimeType);

// One call of WinExec, ShellExecuteA or QueryDefaultApplication as a test sees it.
struct ShellCall {
  std::string function;     // "WinExec", "ShellExecuteA" or "QueryDefaultApplication"
  std::string commandLine;  // WinExec
  std::string verb;         // ShellExecuteA, and its file, parameters and folder
  std::string file;
  std::string parameters;
  std::string directory;
  int showCmd = 0;
  std::vector<std::string> argv;  // what would be started; empty when nothing would
  StartedProgram::End end;        // how the started program ends; the hook may change it
};

// While a hook is set, nothing is started: the hook receives each call, and the call returns
// what it would have returned had the start succeeded, with a program that has already ended
// as the hook left call.end. An empty function removes the hook.
void SetShellHook(std::function<void(ShellCall&)> hook);
