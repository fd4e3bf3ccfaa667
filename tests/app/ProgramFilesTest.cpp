// Where the program's files lie for a build folder, a portable copy and an install, and how
// the help opens: the shell calls recorded and answered by the test, or made for real against
// stand-ins for xdg-mime and xdg-open.
#include "app/ProgramFiles.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "corvane/InstallLayout.h"
#include "platform/messagebox.h"
#include "platform/shell.h"
#include "tests/support/WaveInFixtures.h"

namespace {

namespace fs = std::filesystem;

class ProgramFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    environment_.Set("XDG_CONFIG_HOME", (Folder() / "config").string());
    SetMessageBoxHook([this](const MessageBoxCall& call) { messages_.push_back(call.text); });
  }
  void TearDown() override {
    SetShellHook({});
    SetMessageBoxHook({});
  }

  [[nodiscard]] const fs::path& Folder() const { return folder_.Path(); }
  [[nodiscard]] std::string ConfigFile() const {
    return (Folder() / "config" / "corvane" / "corvane.INI").string();
  }
  // An executable whose data folder is where the install puts it.
  [[nodiscard]] std::string Installed() const {
    const fs::path bin = Folder() / "usr" / "bin";
    fs::create_directories(bin);
    fs::create_directories((bin / DataFolderFromExecutable).lexically_normal());
    return (bin / "corvane").string();
  }
  static void Write(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "help";
  }

  TempDir folder_;
  ScopedEnvironment environment_;
  std::vector<std::string> messages_;
};

TEST_F(ProgramFilesTest, FilesBesideTheExecutableTakeItsNameWithAnotherExtension) {
  struct Case {
    const char* executable;
    const char* extension;
    const char* expected;
  };
  const Case cases[] = {
      {"C:/Program/app.exe", ".chm", "C:/Program/app.chm"},
      {"/opt/corvane/corvane", ".INI", "/opt/corvane/corvane.INI"},
      {"/opt/v2.3/corvane", ".INI", "/opt/v2.3/corvane.INI"},
      {"/opt/corvane.tar.bin", ".INI", "/opt/corvane.tar.INI"},
      {"/opt/.corvane", ".chm", "/opt/.corvane.chm"},
      {"", ".INI", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileBesideExecutable(c.executable, c.extension), c.expected) << c.executable;
  }
}

TEST_F(ProgramFilesTest, AProgramOutsideAnInstallKeepsItsFilesBesideItWhereItCanWrite) {
  const fs::path build = Folder() / "build";
  fs::create_directory(build);
  const std::string program = (build / "corvane").string();
  EXPECT_EQ(InstalledDataFolder(program), "");
  EXPECT_EQ(SettingsFileFor(program), (build / "corvane.INI").string());
  const HelpFiles help = HelpFilesFor(program);
  EXPECT_EQ(help.compiled, (build / "corvane.chm").string());
  EXPECT_EQ(help.pages, (build / "help" / "index.html").string());

  // Not even root can make files in /proc, nor anybody in a folder that is not there.
  for (const char* folder : {"/proc/self", "/nonexistent-corvane-folder"}) {
    const std::string elsewhere = std::string(folder) + "/corvane";
    EXPECT_EQ(SettingsFileFor(elsewhere), ConfigFile()) << folder;
    EXPECT_EQ(HelpFilesFor(elsewhere).compiled, std::string(folder) + "/corvane.chm");
  }
}

TEST_F(ProgramFilesTest, AnInstalledProgramKeepsItsSettingsInTheUserFolderEvenWhereItCanWrite) {
  // The test's own folder is writable, as /usr/bin is for root: the install decides.
  const std::string program = Installed();
  const fs::path data =
      (fs::path(program).parent_path() / DataFolderFromExecutable).lexically_normal();
  EXPECT_EQ(InstalledDataFolder(program), data.string());
  EXPECT_EQ(SettingsFileFor(program), ConfigFile());
  const HelpFiles help = HelpFilesFor(program);
  EXPECT_EQ(help.compiled, (data / "help" / "corvane.chm").string());
  EXPECT_EQ(help.pages, (data / "help" / "index.html").string());
}

// The help's shell calls as the hook saw them, answered from a script of exit statuses.
class OpenHelpTest : public ProgramFilesTest {
 protected:
  struct Answers {
    const char* viewer = "xchm.desktop\n";  // what xdg-mime prints
    int compiledStatus = 0;                 // how xdg-open ends for each file
    int pagesStatus = 0;
  };

  void SetUp() override {
    ProgramFilesTest::SetUp();
    help_ = {(Folder() / "corvane.chm").string(), (Folder() / "help" / "index.html").string()};
    owner_ = std::make_unique<QWidget>();
  }
  void TearDown() override {
    owner_.reset();
    ProgramFilesTest::TearDown();
  }

  // Opens the help with the answers and returns "query", or the file handed to xdg-open, for
  // each call.
  std::vector<std::string> Open(const Answers& answers) {
    std::vector<std::string> calls;
    SetShellHook([&](ShellCall& call) {
      if (call.function == "QueryDefaultApplication") {
        calls.emplace_back("query");
        EXPECT_EQ(call.argv, (std::vector<std::string>{"xdg-mime", "query", "default",
                                                       "application/vnd.ms-htmlhelp"}));
        call.end.output = answers.viewer;
        return;
      }
      calls.push_back(call.file);
      EXPECT_EQ(call.function, "ShellExecuteA");
      EXPECT_EQ(call.verb, "open");
      EXPECT_EQ(call.showCmd, SW_SHOWMAXIMIZED);
      call.end.status = call.file == help_.compiled ? answers.compiledStatus : answers.pagesStatus;
    });
    messages_.clear();
    OpenHelp(help_, owner_.get());
    SetShellHook({});
    return calls;
  }

  HelpFiles help_;
  std::unique_ptr<QWidget> owner_;
};

TEST_F(OpenHelpTest, TheCompiledHelpOpensWhereTheDesktopHasAViewerForIt) {
  Write(help_.compiled);
  Write(help_.pages);
  using Calls = std::vector<std::string>;
  const std::string query = "query";
  struct Case {
    const char* what;
    Answers answers;
    Calls calls;
  };
  const Case cases[] = {
      {"a viewer", {}, {query, help_.compiled}},
      {"no viewer", {.viewer = "\n"}, {query, help_.pages}},
      {"a viewer that fails", {.compiledStatus = 4}, {query, help_.compiled, help_.pages}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Open(c.answers), c.calls) << c.what;
    EXPECT_TRUE(messages_.empty()) << c.what;
  }
}

TEST_F(OpenHelpTest, WhenNothingOpensTheMessageNamesTheFileThatIsThere) {
  using Calls = std::vector<std::string>;
  const std::string unableFor = "Unable to open the help file ";
  // Nothing installed at all: the pages are the help to look for.
  EXPECT_EQ(Open({}), (Calls{help_.pages}));
  EXPECT_EQ(messages_, (std::vector<std::string>{unableFor + help_.pages + "."}));

  // Only the compiled file, and nothing on the desktop that shows it.
  Write(help_.compiled);
  EXPECT_EQ(Open({.viewer = ""}), (Calls{"query", help_.pages}));
  EXPECT_EQ(messages_, (std::vector<std::string>{unableFor + help_.compiled + "."}));

  // Both there, and no program opens either.
  Write(help_.pages);
  EXPECT_EQ(Open({.compiledStatus = 4, .pagesStatus = 3}),
            (Calls{"query", help_.compiled, help_.pages}));
  EXPECT_EQ(messages_, (std::vector<std::string>{unableFor + help_.pages + "."}));
}

// The same steps with real programs: each one starts when the one before has ended, without
// the user-interface thread waiting for it.
class OpenHelpWithProgramsTest : public OpenHelpTest {
 protected:
  void SetUp() override {
    OpenHelpTest::SetUp();
    const fs::path bin = Folder() / "bin";
    fs::create_directory(bin);
    environment_.Set("PATH", bin.string() + ":/usr/bin:/bin");
    record_ = Folder() / "opened";
    Install(bin / "xdg-mime", "echo xchm.desktop");
    Write(help_.compiled);
    Write(help_.pages);
  }
  // xdg-open notes its argument, then ends with the status for that file.
  void InstallXdgOpen(int compiledStatus, int pagesStatus) const {
    const std::string script = R"(echo "$1" >> ")" + record_.string() + R"(")" + "\n" +
                               R"(case "$1" in *.chm) exit )" + std::to_string(compiledStatus) +
                               ";; *) exit " + std::to_string(pagesStatus) + ";; esac";
    Install(Folder() / "bin" / "xdg-open", script);
  }
  static void Install(const fs::path& program, const std::string& script) {
    std::ofstream(program) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(program, fs::perms::owner_all);
  }
  [[nodiscard]] std::vector<std::string> Opened() const {
    std::ifstream file(record_);
    return {std::istream_iterator<std::string>(file), std::istream_iterator<std::string>()};
  }

  fs::path record_;
};

TEST_F(OpenHelpWithProgramsTest, AViewerThatFailsGivesWayToThePages) {
  InstallXdgOpen(4, 0);
  OpenHelp(help_, owner_.get());
  // Nothing waited for xdg-mime: xdg-open starts from the event loop once it has ended.
  EXPECT_TRUE(Opened().empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Opened().size() == 2; }, 30000));
  EXPECT_EQ(Opened(), (std::vector<std::string>{help_.compiled, help_.pages}));
  // Done: the request has gone from its owner.
  EXPECT_TRUE(QTest::qWaitFor([&] { return owner_->children().empty(); }, 30000));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(OpenHelpWithProgramsTest, AFailureOfEveryProgramIsReportedOnce) {
  InstallXdgOpen(3, 3);
  OpenHelp(help_, owner_.get());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages_.empty(); }, 30000));
  EXPECT_EQ(Opened(), (std::vector<std::string>{help_.compiled, help_.pages}));
  EXPECT_EQ(messages_,
            (std::vector<std::string>{"Unable to open the help file " + help_.pages + "."}));
}

}  // namespace
