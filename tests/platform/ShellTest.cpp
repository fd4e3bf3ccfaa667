// WinExec and ShellExecuteA over a PATH of the test's own, holding stand-ins for the programs
// that the calls look for.
#include "platform/shell.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

class SavedVariable {
 public:
  explicit SavedVariable(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) value_ = value;
  }
  SavedVariable(const SavedVariable&) = delete;
  SavedVariable& operator=(const SavedVariable&) = delete;
  ~SavedVariable() {
    if (value_) {
      setenv(name_, value_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> value_;
};

class ShellTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corvane-shell-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    fs::create_directory(folder_ / "bin");
    setenv("PATH", (folder_ / "bin").c_str(), 1);
    unsetenv("XDG_CURRENT_DESKTOP");
    SetShellHook([this](const ShellCall& call) { calls_.push_back(call); });
  }
  void TearDown() override {
    SetShellHook({});
    fs::remove_all(folder_);
  }

  void Install(const std::string& name, const std::string& script = "exit 0") const {
    const fs::path program = folder_ / "bin" / name;
    std::ofstream(program) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(program, fs::perms::owner_all);
  }
  void InstallOnly(std::initializer_list<const char*> names) const {
    fs::remove_all(folder_ / "bin");
    fs::create_directory(folder_ / "bin");
    for (const char* name : names) Install(name);
  }
  // The one call the hook saw.
  [[nodiscard]] ShellCall OnlyCall() const {
    EXPECT_EQ(calls_.size(), 1U);
    return calls_.empty() ? ShellCall{} : calls_.back();
  }

  SavedVariable path_{"PATH"};
  SavedVariable desktop_{"XDG_CURRENT_DESKTOP"};
  fs::path folder_;
  std::vector<ShellCall> calls_;
};

TEST_F(ShellTest, VolumeControlLinesStartTheRecordingMixerThatIsInstalled) {
  struct Case {
    std::initializer_list<const char*> installed;
    const char* desktop;
    Words argv;
  };
  const Case cases[] = {
      {{"pavucontrol", "gnome-control-center", "x-terminal-emulator", "alsamixer"},
       "GNOME",
       {"pavucontrol", "--tab=4"}},
      {{"gnome-control-center", "x-terminal-emulator", "alsamixer"},
       "ubuntu:GNOME",
       {"gnome-control-center", "sound"}},
      {{"systemsettings", "gnome-control-center"}, "KDE", {"systemsettings", "kcm_pulseaudio"}},
      {{"gnome-control-center", "x-terminal-emulator", "alsamixer"},
       "KDE",
       {"x-terminal-emulator", "-e", "alsamixer", "-V", "capture"}},
      {{"x-terminal-emulator"}, nullptr, {}},
      {{}, "GNOME", {}},
  };
  for (const Case& c : cases) {
    InstallOnly(c.installed);
    if (c.desktop != nullptr) {
      setenv("XDG_CURRENT_DESKTOP", c.desktop, 1);
    } else {
      unsetenv("XDG_CURRENT_DESKTOP");
    }
    for (const char* line :
         {"control mmsys.cpl,,1", "Sndvol32.exe -R", "CONTROL  MMSYS.CPL,,1 ", "sndvol32.EXE -r"}) {
      calls_.clear();
      const UINT result = WinExec(line, SW_SHOWNORMAL);
      const ShellCall call = OnlyCall();
      EXPECT_EQ(call.function, "WinExec");
      EXPECT_EQ(call.commandLine, line);
      EXPECT_EQ(call.showCmd, SW_SHOWNORMAL);
      EXPECT_EQ(call.argv, c.argv) << line << " on " << (c.desktop ? c.desktop : "no desktop");
      EXPECT_EQ(result, c.argv.empty() ? ERROR_FILE_NOT_FOUND : 33U) << line;
    }
  }
}

TEST_F(ShellTest, OtherCommandLinesAreSplitIntoWordsWithoutAShell) {
  Install("my tool");
  Install("mixer");
  struct Case {
    const char* line;
    Words argv;
    UINT result;
  };
  const Case cases[] = {
      {R"("my tool" a  "b c" $HOME;x |y)", {"my tool", "a", "b c", "$HOME;x", "|y"}, 33},
      {"mixer\t-x \"\"", {"mixer", "-x", ""}, 33},
      {"control mmsys.cpl,,2", {}, ERROR_FILE_NOT_FOUND},
      {"not-installed --help", {}, ERROR_FILE_NOT_FOUND},
      {"   ", {}, ERROR_BAD_FORMAT},
  };
  for (const Case& c : cases) {
    calls_.clear();
    EXPECT_EQ(WinExec(c.line, SW_SHOWNORMAL), c.result) << c.line;
    EXPECT_EQ(OnlyCall().argv, c.argv) << c.line;
  }
}

TEST_F(ShellTest, OpenHandsAnExistingFileToXdgOpen) {
  Install("xdg-open");
  const std::string help = (folder_ / "corvane.chm").string();
  std::ofstream(help) << "help";
  const std::string missing = (folder_ / "missing.chm").string();
  struct Case {
    const char* verb;
    std::string file;
    Words argv;
    HINSTANCE result;
  };
  const Case cases[] = {
      {"open", help, {"xdg-open", help}, 33},
      {"OPEN", help, {"xdg-open", help}, 33},
      {nullptr, help, {"xdg-open", help}, 33},
      {"open", "https://example.org/", {"xdg-open", "https://example.org/"}, 33},
      {"print", help, {}, SE_ERR_NOASSOC},
      {"open", missing, {}, ERROR_FILE_NOT_FOUND},
      {"open", "", {}, ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    calls_.clear();
    EXPECT_EQ(ShellExecuteA(nullptr, c.verb, c.file.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED),
              c.result)
        << c.file;
    const ShellCall call = OnlyCall();
    EXPECT_EQ(call.function, "ShellExecuteA");
    EXPECT_EQ(call.file, c.file);
    EXPECT_EQ(call.showCmd, SW_SHOWMAXIMIZED);
    EXPECT_EQ(call.argv, c.argv) << c.file;
  }

  InstallOnly({});
  calls_.clear();
  EXPECT_EQ(ShellExecuteA(nullptr, "open", help.c_str(), "", "", SW_SHOWMAXIMIZED), SE_ERR_NOASSOC);
  EXPECT_TRUE(OnlyCall().argv.empty());
}

// Waits for a condition that the started program brings about; long enough for a loaded
// machine, and the test fails if it never comes.
template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 2000 && !condition(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

// The end of a started program, once it has come.
StartedProgram::End EndOf(const StartedProgram& program) {
  EXPECT_TRUE(program.Started());
  std::optional<StartedProgram::End> end;
  EXPECT_TRUE(Eventually([&] { return (end = program.Result()).has_value(); }));
  return end.value_or(StartedProgram::End{-1, {}});
}

TEST_F(ShellTest, OpenTellsHowXdgOpenEnded) {
  SetShellHook({});
  setenv("PATH", ((folder_ / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
  const std::string help = (folder_ / "corvane.chm").string();
  std::ofstream(help) << "help";
  // 3 is xdg-open's "no method available", 4 "the program that should open it failed".
  for (const int status : {0, 3, 4}) {
    Install("xdg-open", "exit " + std::to_string(status));
    StartedProgram xdgOpen;
    EXPECT_EQ(
        ShellExecuteA(nullptr, "open", help.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED, xdgOpen),
        33);
    EXPECT_EQ(EndOf(xdgOpen).status, status);
  }
  StartedProgram missing;
  EXPECT_EQ(ShellExecuteA(nullptr, "open", (folder_ / "missing.chm").c_str(), nullptr, nullptr,
                          SW_SHOWMAXIMIZED, missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(missing.Started());
  EXPECT_FALSE(missing.Result().has_value());

  // A hook plays xdg-open's part.
  SetShellHook([](ShellCall& call) { call.end.status = 4; });
  StartedProgram played;
  EXPECT_EQ(
      ShellExecuteA(nullptr, "open", help.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED, played), 33);
  ASSERT_TRUE(played.Result().has_value());
  EXPECT_EQ(played.Result()->status, 4);
}

TEST_F(ShellTest, TheDefaultApplicationIsAskedOfXdgMime) {
  SetShellHook({});
  setenv("PATH", ((folder_ / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
  const fs::path arguments = folder_ / "arguments";
  Install("xdg-mime", R"(echo "$@" > ")" + arguments.string() + R"("; echo xchm.desktop)");
  const StartedProgram::End end = EndOf(QueryDefaultApplication("application/vnd.ms-htmlhelp"));
  EXPECT_EQ(end.status, 0);
  EXPECT_EQ(end.output, "xchm.desktop\n");
  std::ifstream file(arguments);
  std::string line;
  std::getline(file, line);
  EXPECT_EQ(line, "query default application/vnd.ms-htmlhelp");

  // A program that says far more than anybody reads still ends, and is reaped.
  Install("xdg-mime", "head -c 1000000 /dev/zero | tr '\\0' x; exit 2");
  const StartedProgram::End chatty = EndOf(QueryDefaultApplication("text/html"));
  EXPECT_EQ(chatty.status, 2);
  EXPECT_EQ(chatty.output, std::string(65536, 'x'));

  setenv("PATH", (folder_ / "bin").c_str(), 1);
  InstallOnly({});
  EXPECT_FALSE(QueryDefaultApplication("text/html").Started());
}

TEST_F(ShellTest, AStartedProgramRunsWithoutOurFilesAndIsReaped) {
  SetShellHook({});
  setenv("PATH", ((folder_ / "bin").string() + ":/usr/bin:/bin").c_str(), 1);
  // Notes its process id and lists its open files into the file named by its argument.
  Install("list-files", R"(echo $$ > "$1.pid"; ls /proc/$$/fd > "$1.part" && mv "$1.part" "$1")");
  const fs::path listing = folder_ / "files of the child";
  constexpr int OurFile = 200;
  const int opened = ::open("/dev/null", O_RDONLY);  // inheritable: no O_CLOEXEC
  ASSERT_GE(opened, 0);
  ASSERT_EQ(::dup2(opened, OurFile), OurFile);
  ::close(opened);
  const std::string line = "list-files \"" + listing.string() + "\"";

  EXPECT_EQ(WinExec(line.c_str(), SW_SHOWNORMAL), 33U);
  ::close(OurFile);

  ASSERT_TRUE(Eventually([&] { return fs::exists(listing); }));
  std::ifstream file(listing);
  const Words descriptors{std::istream_iterator<std::string>(file),
                          std::istream_iterator<std::string>()};
  EXPECT_FALSE(descriptors.empty());
  EXPECT_EQ(std::count(descriptors.begin(), descriptors.end(), std::to_string(OurFile)), 0);
  // A child that nobody reaps stays in /proc as a zombie.
  std::ifstream pidFile(listing.string() + ".pid");
  int pid = 0;
  pidFile >> pid;
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(Eventually([pid] { return !fs::exists("/proc/" + std::to_string(pid)); }));

  EXPECT_EQ(WinExec("not-installed", SW_SHOWNORMAL), ERROR_FILE_NOT_FOUND);
}

}  // namespace
