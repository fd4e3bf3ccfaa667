#include "platform/kernel.h"

#include <chrono>
#include <cstring>
#include <filesystem>
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
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}
