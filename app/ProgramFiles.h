#pragma once
// Where the program's own files lie, and opening its help. A program that runs from its build
// folder or from a portable copy keeps them beside its executable; an installed one finds its
// help where the install put it and keeps its settings in the user's configuration folder.

#include <string>
#include <string_view>

class QWidget;

// The executable's path with its extension (from the file name's last full stop; a leading
// one does not count) replaced by extension, or extension appended when it has none. An empty
// executable path gives an empty result.
std::string FileBesideExecutable(const std::string& executable, std::string_view extension);

// The installed program's data folder (share/corvane of the install prefix) when executable
// lies in the prefix's bin folder and that data folder exists; otherwise empty.
std::string InstalledDataFolder(const std::string& executable);

// The settings file of the program at executable: FileBesideExecutable(executable, ".INI")
// when the program is not installed and can write its folder; otherwise corvane/corvane.INI
// in UserConfigFolder(), a folder that the first save makes. Root, which can write anywhere,
// is no exception for an installed program. Beside the executable all the same when no
// configuration folder is known.
std::string SettingsFileFor(const std::string& executable);

struct HelpFiles {
  std::string compiled;  // the help compiled into one file
  std::string pages;     // the index page of the same help as HTML
};

// The help of the program at executable: in help/ of InstalledDataFolder for an installed
// program; otherwise FileBesideExecutable(executable, ".chm") and help/index.html beside it.
HelpFiles HelpFilesFor(const std::string& executable);

// Opens the help without waiting: the compiled file where the desktop has a viewer for it,
// else the pages in the default browser. When neither opens, a message box says so and names
// the file. Each step waits for the end of its program (xdg-open's exit status is the only
// sign that a file opened) in owner's event loop; the work belongs to owner and ends with it.
// User-interface thread only.
void OpenHelp(const HelpFiles& help, QWidget* owner);
