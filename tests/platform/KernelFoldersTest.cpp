// The kernel layer's folder questions: whether a folder can be written, where the user's
// settings go, and making that folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/kernel.h"
#include "tests/support/WaveInFixtures.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Listing(const fs::path& folder) {
  std::vector<fs::path> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path());
  return names;
}

// Whether a file can really be made in folder; the file is removed again.
bool CanMakeFile(const fs::path& folder) {
  const fs::path probe = folder / "probe";
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

unsigned Mode(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777U;
}

TEST(KernelFoldersTest, AFolderIsWritableExactlyWhenAFileCanBeMadeInIt) {
  const TempDir temp;
  const fs::path locked = temp.Path() / "locked";
  fs::create_directory(locked);
  // Closed to everybody but root, whom access(2) and the mode bits cannot tell apart.
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  const fs::path file = temp.Path() / "file";
  std::ofstream(file) << "x";
  struct Case {
    fs::path folder;
    bool known;  // the answer where it does not depend on who runs the test
    bool writable;
  };
  const Case cases[] = {
      {temp.Path(), true, true},   {locked, false, false},
      {"/proc/self", true, false}, {temp.Path() / "missing", true, false},
      {file, true, false},         {"", true, false},
  };
  for (const Case& c : cases) {
    const std::vector<fs::path> before = Listing(c.folder);
    const bool answer = FolderIsWritable(c.folder.string());
    EXPECT_EQ(Listing(c.folder), before) << c.folder << ": something was left behind";
    if (c.known) {
      EXPECT_EQ(answer, c.writable) << c.folder;
    }
    if (!c.folder.empty()) {
      EXPECT_EQ(answer, CanMakeFile(c.folder)) << c.folder;
    }
  }
  fs::permissions(locked, fs::perms::owner_all);
}

TEST(KernelFoldersTest, TheUserConfigFolderFollowsTheXdgRules) {
  ScopedEnvironment environment;
  environment.Set("HOME", "/home/someone");
  environment.Set("XDG_CONFIG_HOME", "/elsewhere/config");
  EXPECT_EQ(UserConfigFolder(), "/elsewhere/config");
  // A relative or empty setting is to be ignored.
  for (const char* ignored : {"config", ""}) {
    environment.Set("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(UserConfigFolder(), "/home/someone/.config") << '"' << ignored << '"';
  }
  environment.Unset("XDG_CONFIG_HOME");
  EXPECT_EQ(UserConfigFolder(), "/home/someone/.config");
  // Without HOME the user database names the home folder.
  environment.Unset("HOME");
  const std::string fromDatabase = UserConfigFolder();
  EXPECT_TRUE(fromDatabase.starts_with("/")) << fromDatabase;
  EXPECT_TRUE(fromDatabase.ends_with("/.config")) << fromDatabase;
}

TEST(KernelFoldersTest, MissingFoldersAreMadeForTheirOwnerOnly) {
  const TempDir temp;
  fs::permissions(temp.Path(), fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
  const fs::path nested = temp.Path() / "config" / "corvane";
  EXPECT_TRUE(MakePrivateFolders(nested.string()));
  EXPECT_TRUE(fs::is_directory(nested));
  EXPECT_EQ(Mode(temp.Path() / "config"), 0700U);
  EXPECT_EQ(Mode(nested), 0700U);
  EXPECT_EQ(Mode(temp.Path()), 0755U) << "an existing folder keeps its mode";
  EXPECT_TRUE(MakePrivateFolders(nested.string() + "/"));

  const fs::path file = temp.Path() / "file";
  std::ofstream(file) << "x";
  EXPECT_FALSE(MakePrivateFolders(file.string()));
  EXPECT_FALSE(MakePrivateFolders((file / "corvane").string()));
  EXPECT_FALSE(MakePrivateFolders(""));
}

}  // namespace
