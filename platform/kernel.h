#pragma once
// Kernel services the program calls by their Windows names.

#include <string>

#include "platform/windows_types.h"

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
// A path as /proc/self/exe reads back for a binary replaced while it runs (rebuilt, upgraded),
// with the kernel's mark " (deleted)" at its end taken off; any other path as it is.
std::string WithoutDeletedMark(std::string path);

// True when this process can make a new file in folder. It is tried for real (an unnamed file
// where the file system has them, else a named one removed at once), because permission bits
// and access(2) answer wrongly for root, read-only mounts and network file systems. Leaves the
// folder as it was.
bool FolderIsWritable(const std::string& folder);
// The folder of the user's settings: $XDG_CONFIG_HOME when it holds an absolute path, else
// .config in the home folder ($HOME, or the user database's); empty when no home is known.
std::string UserConfigFolder();
// Makes folder and its missing parents, each new one open to its owner only (0700, as the XDG
// base directory rules ask); true when folder exists afterwards.
bool MakePrivateFolders(const std::string& folder);
