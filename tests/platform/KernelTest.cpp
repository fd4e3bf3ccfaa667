// The kernel services: the executable's path and the version record.
#include "platform/kernel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

// A binary rebuilt or upgraded while it runs reads back from /proc/self/exe with the kernel's
// mark; the files beside it are found from the path without it.
TEST(KernelTest, TheMarkOfAReplacedBinaryIsTakenOffTheEndOnly) {
  struct Case {
    const char* read;
    const char* path;
  };
  for (const Case& c : {Case{"/usr/bin/corvane (deleted)", "/usr/bin/corvane"},
                        Case{"/usr/bin/corvane", "/usr/bin/corvane"},
                        Case{"/opt/a (deleted)/corvane", "/opt/a (deleted)/corvane"},
                        Case{"/opt/corvane (deleted) (deleted)", "/opt/corvane (deleted)"},
                        Case{"/opt/corvane(deleted)", "/opt/corvane(deleted)"},
                        Case{" (deleted)", ""}, Case{"", ""}}) {
    EXPECT_EQ(WithoutDeletedMark(c.read), c.path) << c.read;
  }
}

TEST(KernelTest, ExecutablePathIsTheRunningTestBinary) {
  const std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(std::filesystem::path(path).is_absolute());
  EXPECT_EQ(std::filesystem::path(path).filename(), "corvane_tests");
  EXPECT_TRUE(std::filesystem::equivalent(path, "/proc/self/exe"));
}

TEST(KernelTest, TheVersionRecordIsFilledOnlyWithItsSizeSet) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  ASSERT_NE(GetVersionExA(&info), 0);
  EXPECT_GE(info.dwMajorVersion, 6U);

  OSVERSIONINFOA wrong{};
  std::memset(&wrong, 0x5A, sizeof(wrong));
  wrong.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA) - 1;
  EXPECT_EQ(GetVersionExA(&wrong), 0);
  EXPECT_EQ(wrong.dwMajorVersion, 0x5A5A5A5AU);
  EXPECT_EQ(GetVersionExA(nullptr), 0);
}

}  // namespace
