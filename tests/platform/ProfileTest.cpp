// The profile-file calls on real files in a folder of the test's own.
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/SettingsFile.h"
#include "tests/support/DecimalCommaLocale.h"

namespace {

namespace fs = std::filesystem;

class ProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corvane-profile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    path_ = (folder_ / "test.INI").string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  void WriteFile(const std::string& content) const {
    std::ofstream(path_, std::ios::binary) << content;
  }
  [[nodiscard]] std::string ReadFile() const {
    std::ifstream file(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }
  [[nodiscard]] std::string Get(const char* section, const char* key,
                                const char* defaultValue = "none") const {
    std::array<char, 2048> text{};
    const DWORD length = GetPrivateProfileStringA(section, key, defaultValue, text.data(),
                                                  text.size(), path_.c_str());
    EXPECT_EQ(length, std::string(text.data()).size());
    return text.data();
  }
  [[nodiscard]] bool Set(const char* section, const char* key, const char* value) const {
    return WritePrivateProfileStringA(section, key, value, path_.c_str()) != 0;
  }
  [[nodiscard]] std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  fs::path folder_;
  std::string path_;
};

TEST_F(ProfileTest, ReadingPicksTheValueByTheProfileRules) {
  struct Case {
    std::optional<std::string> content;  // nullopt: no file
    const char* section = nullptr;
    const char* key = nullptr;
    const char* expected = nullptr;
  };
  const Case cases[] = {
      {std::nullopt, "Scales", "AX", "none"},
      {"[Form]\nAX=3\n", "Scales", "AX", "none"},
      {"[Scales]\nAY=3\n", "Scales", "AX", "none"},
      {"[Scales]\nAX=3\n", "sCALES", "ax", "3"},
      {"  [ Scales ]  \n \tAX \t=  3 7 \t\n", "Scales", "AX", "3 7"},
      {"[Scales]\nAX=\n", "Scales", "AX", ""},
      {"[Scales]\nAX=\"  quoted \"\n", "Scales", "AX", "  quoted "},
      {"[Scales]\nAX=\"half\n", "Scales", "AX", "\"half"},
      {"AX=1\n[Scales]\nAX=2\nAX=3\n[scales]\nAX=4\n", "Scales", "AX", "2"},
      {"[Scales]\n;AX=5\n#AX=6\nAX\n", "Scales", "AX", "none"},
      {"[Scales]\r\nAX=8\r\n", "Scales", "AX", "8"},
      {"[Scales]\nAX=9", "Scales", "AX", "9"},
      {"[Scales]\n[Form]\nAX=1\n", "Scales", "AX", "none"},
  };
  for (const Case& c : cases) {
    fs::remove(path_);
    if (c.content) WriteFile(*c.content);
    EXPECT_EQ(Get(c.section, c.key), c.expected) << c.content.value_or("(no file)");
  }
}

TEST_F(ProfileTest, ReadingCutsToTheBufferAndTakesANullDefaultAsEmpty) {
  WriteFile("[A]\nkey=12345\n");
  std::array<char, 4> small{};
  EXPECT_EQ(GetPrivateProfileStringA("A", "key", "", small.data(), small.size(), path_.c_str()),
            3U);
  EXPECT_STREQ(small.data(), "123");
  std::array<char, 16> text{'x'};
  EXPECT_EQ(
      GetPrivateProfileStringA("A", "missing", nullptr, text.data(), text.size(), path_.c_str()),
      0U);
  EXPECT_STREQ(text.data(), "");
}

TEST_F(ProfileTest, AValueEndsAtANulByteAndItsLengthIsWhatWasCopied) {
  using namespace std::string_literals;
  WriteFile("[s]\nk=ab\0cd\n[t]\nk=\"x\0\"\n"s);
  std::array<char, 16> text{};
  EXPECT_EQ(GetPrivateProfileStringA("s", "k", "", text.data(), text.size(), path_.c_str()), 2U);
  EXPECT_STREQ(text.data(), "ab");
  EXPECT_EQ(Get("t", "k"), "x");
}

TEST_F(ProfileTest, WritingChangesOnlyTheLineOfItsKey) {
  struct Case {
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  };
  const Case cases[] = {
      // Replaced in place, the file's spelling of the key kept.
      {"; settings\n[Other]\nAX=5\n\n[scales]\n  ax = 3 ; old\nFX=2\n\n[Form]\nWidth=9\n", "Scales",
       "AX", "7", "; settings\n[Other]\nAX=5\n\n[scales]\nax=7\nFX=2\n\n[Form]\nWidth=9\n"},
      // A new key after the last non-blank line of its section.
      {"[Scales]\nAX=1\n# note\n\n\n[Form]\nWidth=9\n", "Scales", "AY", "2",
       "[Scales]\nAX=1\n# note\nAY=2\n\n\n[Form]\nWidth=9\n"},
      {"[Scales]\n[Form]\n", "Scales", "AY", "2", "[Scales]\nAY=2\n[Form]\n"},
      // A new section at the end, also after an unterminated last line.
      {"[Scales]\nAX=1\n", "Form", "Width", "800", "[Scales]\nAX=1\n[Form]\nWidth=800\n"},
      {"[Scales]\nAX=1", "Form", "Width", "800", "[Scales]\nAX=1\n[Form]\nWidth=800\n"},
      {"[Scales]\nAX=1", "Scales", "AY", "2", "[Scales]\nAX=1\nAY=2\n"},
      {"", "Scales", "AX", "1", "[Scales]\nAX=1\n"},
      // CRLF files stay CRLF; lines with other endings keep theirs.
      {"[Scales]\r\nAX=1\r\n", "Scales", "AY", "2", "[Scales]\r\nAX=1\r\nAY=2\r\n"},
      {"[Scales]\r\nAX=1\r\n", "Form", "Width", "800",
       "[Scales]\r\nAX=1\r\n[Form]\r\nWidth=800\r\n"},
      {"[Scales]\r\nAX=1\nFX=3\r\n", "Scales", "AX", "4", "[Scales]\r\nAX=4\nFX=3\r\n"},
  };
  for (const Case& c : cases) {
    WriteFile(c.before);
    EXPECT_TRUE(Set(c.section, c.key, c.value)) << c.before;
    EXPECT_EQ(ReadFile(), c.after) << c.before;
  }
}

// A bare CR at the very end of the file is part of the last value; terminating that line
// with an LF alone would turn it into a CRLF ending and change the value.
TEST_F(ProfileTest, AWriteLeavesTheValueOfAnUnterminatedLastLineEndingInCR) {
  struct Case {
    std::string before;
    const char* section;
    const char* key;
  };
  const Case cases[] = {
      {"[s]\nk=v\r", "s", "other"},
      {"[s]\nk=v\r", "t", "other"},
      {"[s]\r\nk=v\r", "s", "other"},
      {"[s]\nk=v\r\r", "t", "other"},
  };
  for (const Case& c : cases) {
    WriteFile(c.before);
    const std::string value = Get("s", "k");
    ASSERT_TRUE(Set(c.section, c.key, "1")) << c.before;
    EXPECT_EQ(Get("s", "k"), value) << c.before;
    EXPECT_EQ(Get(c.section, c.key), "1") << c.before;
    EXPECT_EQ(ReadFile().substr(0, c.before.size()), c.before);
  }
}

TEST_F(ProfileTest, AFirstWriteCreatesTheFile) {
  ASSERT_FALSE(fs::exists(path_));
  EXPECT_TRUE(Set("Scales", "AX", "1"));
  EXPECT_TRUE(Set("Scales", "AY", "2"));
  EXPECT_TRUE(Set("Form", "Width", "800"));
  EXPECT_EQ(ReadFile(), "[Scales]\nAX=1\nAY=2\n[Form]\nWidth=800\n");
  EXPECT_EQ(Get("form", "WIDTH"), "800");
}

TEST_F(ProfileTest, AReplacedFileKeepsItsPermissions) {
  WriteFile("[A]\nx=1\n");
  fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(Set("A", "x", "2"));
  EXPECT_EQ(fs::status(path_).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(ProfileTest, WritesThatWouldNotReadBackAreRefusedAndChangeNothing) {
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"A", "x", "1\n[B]"}, {"A", "x", "1\r"},   {"A", "x=y", "1"},   {"A", "[x", "1"},
      {"A", ";x", "1"},     {"A", "  ", "1"},    {"A]", "x", "1"},    {"A\nB", "x", "1"},
      {"", "x", "1"},       {nullptr, "x", "1"}, {"A", nullptr, "1"}, {"A", "x", nullptr},
  };
  const std::string before = "[A]\nx=0\n";
  WriteFile(before);
  for (const Case& c : cases) {
    EXPECT_FALSE(Set(c.section, c.key, c.value))
        << (c.section ? c.section : "null") << " / " << (c.key ? c.key : "null");
    EXPECT_EQ(ReadFile(), before);
  }
  EXPECT_FALSE(WritePrivateProfileStringA("A", "x", "1", nullptr));
}

TEST_F(ProfileTest, AFailedWriteReportsFailureAndLeavesTheOldFileIntact) {
  // Where the file cannot be read, it must not be replaced by one without its content.
  const std::string before = "[A]\nx=0\n";
  WriteFile(before);
  const std::string notAFolder = (folder_ / "test.INI" / "inner.INI").string();
  EXPECT_EQ(WritePrivateProfileStringA("A", "x", "1", notAFolder.c_str()), 0);

  // A full disk: the file-size limit makes the new file's write fail, also for root.
  WriteFile(before + std::string(100, ';') + "\n");
  const std::string full = ReadFile();
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = old;
  limited.rlim_cur = full.size();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool written = Set("A", "y", "1");
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(), full);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"test.INI"});
}

}  // namespace

namespace {

TEST_F(ProfileTest, AWriteThroughALinkUpdatesTheFileItNames) {
  const fs::path target = folder_ / "real.INI";
  std::ofstream(target, std::ios::binary) << "[Scales]\nAX=2\n";
  fs::create_symlink(target, path_);
  ASSERT_TRUE(Set("Scales", "AX", "5"));
  EXPECT_TRUE(fs::is_symlink(path_));
  std::ifstream file(target, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()),
            "[Scales]\nAX=5\n");
}

// Tests run as root, whom permission bits do not stop: the owner's write bit still counts.
TEST_F(ProfileTest, AFileItsOwnerMadeReadOnlyIsNotReplaced) {
  const std::string before = "[Scales]\nAX=2\n";
  WriteFile(before);
  const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(path_, readOnly);
  EXPECT_FALSE(Set("Scales", "AX", "5"));
  EXPECT_FALSE(Set("Form", "Width", "800"));
  EXPECT_EQ(ReadFile(), before);
  EXPECT_EQ(fs::status(path_).permissions(), readOnly);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"test.INI"});
  EXPECT_EQ(Get("Scales", "AX"), "2");

  // Through a link the permission of the file it names decides.
  const std::string link = (folder_ / "link.INI").string();
  fs::create_symlink(path_, link);
  EXPECT_EQ(WritePrivateProfileStringA("Scales", "AX", "5", link.c_str()), 0);
  EXPECT_EQ(ReadFile(), before);
}

TEST_F(ProfileTest, AFileOverOneMebibyteIsNeitherReadNorReplaced) {
  const std::string head = "[Scales]\nAX=3\n";
  const std::size_t mebibyte = 1 << 20;
  WriteFile(head + std::string(mebibyte - head.size() - 1, ';') + "\n");
  EXPECT_EQ(Get("Scales", "AX"), "3");  // exactly 1 MiB still counts

  const std::string over = head + std::string(mebibyte - head.size(), ';') + "\n";
  WriteFile(over);
  EXPECT_EQ(Get("Scales", "AX"), "none");
  EXPECT_FALSE(Set("Scales", "AX", "5"));
  EXPECT_EQ(ReadFile(), over);
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"test.INI"});
}

TEST_F(ProfileTest, SettingsIntegersReadTheSameUnderADecimalCommaLocale) {
  const DecimalCommaLocale locale;
  if (!locale.Available()) GTEST_SKIP() << DecimalCommaLocale::MissingReason();
  WriteFile("[Form]\nWidth= 1024\nHeight=1.000\nTop=0x1F\nRight=$ff\n");
  const auto read = [this](const char* key) { return ParseIniInteger(Get("Form", key), -7); };
  EXPECT_EQ(read("Width"), 1024);
  EXPECT_EQ(read("Height"), -7);  // no digit grouping: "1.000" is no integer
  EXPECT_EQ(read("Top"), 31);
  EXPECT_EQ(read("Right"), 255);
}

TEST_F(ProfileTest, ANonPlainFileAtThePathIsNeitherReadNorReplaced) {
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);  // opening it for reading would block
  EXPECT_EQ(Get("Scales", "AX"), "none");
  EXPECT_FALSE(Set("Scales", "AX", "5"));
  EXPECT_TRUE(fs::is_fifo(path_));
}

}  // namespace
