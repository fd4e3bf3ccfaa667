#include "app/ProgramFiles.h"

#include <QObject>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <optional>
#include <utility>

#include "corvane/InstallLayout.h"
#include "platform/kernel.h"
#include "platform/messagebox.h"
#include "platform/shell.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* CompiledHelpType = "application/vnd.ms-htmlhelp";
constexpr int PollMs = 50;  // how soon the next step follows the end of a program

bool IsFile(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::is_regular_file(path, error);
}

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  const std::size_t end = line.find_last_not_of(" \t\r");
  line.resize(end == std::string::npos ? 0 : end + 1);
  return line;
}

// One request for the help, from the question for a viewer to the last file tried. It lives as
// a child of its owner and deletes itself when done.
class HelpOpening : public QObject {
 public:
  HelpOpening(HelpFiles help, QWidget* owner) : QObject(owner), help_(std::move(help)) {
    poll_.setSingleShot(true);
    poll_.setInterval(PollMs);
    connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
  }

  void Begin() {
    if (IsFile(help_.compiled)) {
      Wait(Step::AskViewer, QueryDefaultApplication(CompiledHelpType));
    } else {
      Open(Step::OpenPages, help_.pages);
    }
  }

 private:
  enum class Step { AskViewer, OpenCompiled, OpenPages };

  [[nodiscard]] QWidget* Owner() const { return static_cast<QWidget*>(parent()); }

  void Open(Step step, const std::string& file) {
    StartedProgram xdgOpen;
    ShellExecuteA(Owner(), "open", file.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED, xdgOpen);
    Wait(step, std::move(xdgOpen));
  }

  void Wait(Step step, StartedProgram program) {
    step_ = step;
    program_ = std::move(program);
    if (!program_.Started()) {
      Proceed(std::nullopt);
      return;
    }
    Poll();
  }

  void Poll() {
    const std::optional<StartedProgram::End> end = program_.Result();
    if (!end) {
      poll_.start();
      return;
    }
    Proceed(end);
  }

  // Takes the next step after the program of this one ended so (or did not start).
  void Proceed(const std::optional<StartedProgram::End>& end) {
    const bool succeeded = end && end->status == 0;
    switch (step_) {
      case Step::AskViewer:
        if (succeeded && !FirstLine(end->output).empty()) {
          Open(Step::OpenCompiled, help_.compiled);
        } else {
          Open(Step::OpenPages, help_.pages);
        }
        return;
      case Step::OpenCompiled:
        if (succeeded) {
          deleteLater();
        } else {
          Open(Step::OpenPages, help_.pages);
        }
        return;
      case Step::OpenPages:
        if (!succeeded) Fail();
        deleteLater();
        return;
    }
  }

  void Fail() const {
    // Names the file that is there to be opened, so that the user can open it another way.
    const std::string& named =
        IsFile(help_.pages) || !IsFile(help_.compiled) ? help_.pages : help_.compiled;
    const std::string text = "Unable to open the help file " + named + ".";
    MessageBoxA(Owner(), text.c_str(), "Corvane", MB_OK | MB_ICONERROR);
  }

  HelpFiles help_;
  Step step_ = Step::AskViewer;
  StartedProgram program_;
  QTimer poll_;
};

}  // namespace

std::string FileBesideExecutable(const std::string& executable, std::string_view extension) {
  if (executable.empty()) return {};
  fs::path path(executable);
  path.replace_extension(extension);
  return path.string();
}

std::string InstalledDataFolder(const std::string& executable) {
  if (executable.empty()) return {};
  const fs::path folder =
      (fs::path(executable).parent_path() / DataFolderFromExecutable).lexically_normal();
  std::error_code error;
  return fs::is_directory(folder, error) ? folder.string() : std::string();
}

std::string SettingsFileFor(const std::string& executable) {
  const std::string config = UserConfigFolder();
  if (config.empty() || (InstalledDataFolder(executable).empty() &&
                         FolderIsWritable(fs::path(executable).parent_path().string()))) {
    return FileBesideExecutable(executable, ".INI");
  }
  return (fs::path(config) / "corvane" / "corvane.INI").string();
}

HelpFiles HelpFilesFor(const std::string& executable) {
  if (const std::string data = InstalledDataFolder(executable); !data.empty()) {
    const fs::path help = fs::path(data) / "help";
    return {(help / "corvane.chm").string(), (help / "index.html").string()};
  }
  if (executable.empty()) return {};
  return {FileBesideExecutable(executable, ".chm"),
          (fs::path(executable).parent_path() / "help" / "index.html").string()};
}

void OpenHelp(const HelpFiles& help, QWidget* owner) {
  // Owned by owner: Qt deletes it with owner, or it deletes itself when done.
  auto* opening = new HelpOpening(help, owner);
  opening->Begin();
}
