#pragma once
// Kernel services the program calls by their Windows names.

#include <string>

#include "platform/wavein.h"

using BOOL = int;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record is 148 bytes");

// Gives up the processor for about ms milliseconds.
void Sleep(DWORD ms);
// Fills the record when its size field holds 148 and returns nonzero; this layer reports
// version 6.1 (it behaves as a current system). A wrong size gives 0 and an untouched record.
BOOL GetVersionExA(OSVERSIONINFOA* info);
// Full path of the running executable (from /proc/self/exe, also after the file was replaced),
// empty when it cannot be read.
std::string ExecutablePath();
