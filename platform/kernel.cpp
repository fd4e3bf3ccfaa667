#include "platform/kernel.h"
#include "platform/file_descriptor.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
    return {};
  }
  return found->pw_dir;
}

}  // namespace

void Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return 0;
  info->dwMajorVersion = 6;
  info->dwMinorVersion = 1;
  info->dwBuildNumber = 0;
  info->dwPlatformId = 2;
  std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return 1;
}

std::string ExecutablePath() {
  std::error_code error;
  std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (error) return {};
  return WithoutDeletedMark(std::move(path));
}

std::string WithoutDeletedMark(std::string path) {
  constexpr std::string_view Deleted = " (deleted)";
  if (path.ends_with(Deleted)) path.resize(path.size() - Deleted.size());
  return path;
}

bool FolderIsWritable(const std::string& folder) {
  if (folder.empty()) return false;
  {
    const FileDescriptor unnamed(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (unnamed.Valid()) return true;
  }
  // File systems without unnamed files say so with one of these; any other error is the answer.
  if (errno != EOPNOTSUPP && errno != EISDIR) return false;
  std::string name = folder + "/.corvane-write-test-XXXXXX";
  const FileDescriptor named(::mkostemp(name.data(), O_CLOEXEC));
  if (!named.Valid()) return false;
  ::unlink(name.c_str());
  return true;
}

std::string UserConfigFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    return config;
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : (std::filesystem::path(home) / ".config").string();
}

bool MakePrivateFolders(const std::string& folder) {
  if (folder.empty()) return false;
  std::filesystem::path partial;
  for (const std::filesystem::path& part : std::filesystem::path(folder)) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
