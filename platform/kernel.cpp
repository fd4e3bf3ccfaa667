#include "platform/kernel.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>

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
  // A binary replaced while it runs (rebuilt, upgraded) reads back with this mark.
  constexpr std::string_view Deleted = " (deleted)";
  if (path.ends_with(Deleted)) path.resize(path.size() - Deleted.size());
  return path;
}
