#include "platform/profile.h"
#include "platform/ascii_text.h"
#include "platform/file_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// One line of the file with its own ending ("\r\n", "\n", or none on an unterminated last line),
// so that lines a write does not touch go back byte for byte.
struct Line {
  std::string text;
  std::string ending;
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < content.size()) {
    const std::size_t newline = content.find('\n', pos);
    if (newline == std::string_view::npos) {
      lines.push_back({std::string(content.substr(pos)), ""});
      break;
    }
    const bool crlf = newline > pos && content[newline - 1] == '\r';
    const std::size_t end = crlf ? newline - 1 : newline;
    lines.push_back({std::string(content.substr(pos, end - pos)), crlf ? "\r\n" : "\n"});
    pos = newline + 1;
  }
  return lines;
}

// Gives an unterminated last line an ending. A text ending in a bare CR keeps it: an LF right
// after it would join the two into a CRLF ending and take the CR out of the line's value.
void Terminate(Line& line, const std::string& ending) {
  if (!line.ending.empty()) return;
  line.ending = line.text.ends_with('\r') ? "\r\n" : ending;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string content;
  for (const Line& line : lines) content += line.text + line.ending;
  return content;
}

enum class LineKind { Section, Key, Other };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;
  std::string_view value;
};

ParsedLine Parse(std::string_view text) {
  const std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return {};
  if (trimmed.front() == '[') {
    const std::string_view inside = trimmed.substr(1);
    return {LineKind::Section, TrimBlanks(inside.substr(0, inside.find(']'))), {}};
  }
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return {};
  return {LineKind::Key, TrimBlanks(trimmed.substr(0, equals)),
          TrimBlanks(trimmed.substr(equals + 1))};
}

// Where a key lies: its section's header line, the key's line, and the line after the last
// non-blank line of the section (where a new key goes).
struct KeyLocation {
  std::optional<std::size_t> section;
  std::optional<std::size_t> key;
  std::size_t insertAt = 0;
};

KeyLocation Locate(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  KeyLocation location;
  std::size_t i = 0;
  for (; i < lines.size(); ++i) {
    const ParsedLine parsed = Parse(lines[i].text);
    if (parsed.kind == LineKind::Section && EqualIgnoringAsciiCase(parsed.name, section)) break;
  }
  if (i == lines.size()) return location;
  location.section = i;
  location.insertAt = i + 1;
  for (++i; i < lines.size(); ++i) {
    const ParsedLine parsed = Parse(lines[i].text);
    if (parsed.kind == LineKind::Section) break;
    if (!TrimBlanks(lines[i].text).empty()) location.insertAt = i + 1;
    if (parsed.kind == LineKind::Key && !location.key && EqualIgnoringAsciiCase(parsed.name, key)) {
      location.key = i;
    }
  }
  return location;
}

enum class ReadResult { Read, Missing, Failed };

// Far more than any settings file holds; a larger file is not one.
constexpr off_t LargestFile = 1 << 20;

ReadResult ReadWholeFile(const char* path, std::string& content) {
  content.clear();
  // Non-blocking, so that a FIFO at the path cannot hang the program; only plain files count.
  FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.Get() < 0) return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  struct stat status {};
  if (::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size > LargestFile) {
    return ReadResult::Failed;
  }
  char chunk[4096];
  for (;;) {
    const ssize_t count = ::read(file.Get(), chunk, sizeof chunk);
    if (count == 0) return ReadResult::Read;
    if (count < 0) {
      if (errno == EINTR) continue;
      return ReadResult::Failed;
    }
    content.append(chunk, static_cast<std::size_t>(count));
  }
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t count = ::write(fd, data.data(), data.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

// Whether the file may be written to by its own permission. The rename below would go round
// it, and root passes every access check: a file whose owner took its write bit away stays.
bool MayWrite(const std::string& path, const struct stat& status) {
  return (status.st_mode & S_IWUSR) != 0 &&
         ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Writes content to a new file beside path and renames it over path. A new file gets the
// permissions the umask leaves; a replaced one keeps its own, and one that may not be written
// is not replaced.
bool ReplaceFile(const std::string& givenPath, std::string_view content) {
  static std::atomic<unsigned> counter{0};
  // Through a symbolic link to the file it names: renaming over the link would replace it.
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(givenPath.c_str(), nullptr),
                                                             &std::free);
  const std::string path = resolved ? std::string(resolved.get()) : givenPath;
  struct stat old {};
  const bool existed = ::stat(path.c_str(), &old) == 0;
  if (existed && !MayWrite(path, old)) return false;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    // Numbers of a fixed width: the name's length, and so the work done on it, is the same in
    // every process, which keeps a fuzzing run with a fixed seed the same on every machine.
    std::array<char, 32> suffix{};
    std::snprintf(suffix.data(), suffix.size(), ".tmp%08x-%08x", static_cast<unsigned>(::getpid()),
                  counter++);
    temporary = path + suffix.data();
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  FileDescriptor file(fd);
  if (file.Get() < 0) return false;
  const bool written = (!existed || ::fchmod(file.Get(), old.st_mode & 07777) == 0) &&
                       WriteAll(file.Get(), content) && ::fsync(file.Get()) == 0 && file.Close() &&
                       ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!written) ::unlink(temporary.c_str());
  return written;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

bool ValidSectionName(std::string_view name) {
  return !TrimBlanks(name).empty() && !HasLineBreak(name) && name.find(']') == name.npos;
}

bool ValidKeyName(std::string_view name) {
  const std::string_view trimmed = TrimBlanks(name);
  return !trimmed.empty() && !HasLineBreak(name) && name.find('=') == name.npos &&
         trimmed.front() != '[' && trimmed.front() != ';' && trimmed.front() != '#';
}

std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

DWORD GetPrivateProfileStringA(const char* lpAppName, const char* lpKeyName, const char* lpDefault,
                               char* lpReturnedString, DWORD nSize, const char* lpFileName) {
  if (lpReturnedString == nullptr || nSize == 0) return 0;
  lpReturnedString[0] = '\0';
  if (lpAppName == nullptr || lpKeyName == nullptr) return 0;
  std::string result = lpDefault != nullptr ? lpDefault : "";
  std::string content;
  if (lpFileName != nullptr && ReadWholeFile(lpFileName, content) == ReadResult::Read) {
    const std::vector<Line> lines = SplitLines(content);
    const KeyLocation location = Locate(lines, TrimBlanks(lpAppName), TrimBlanks(lpKeyName));
    if (location.key) result = Unquoted(Parse(lines[*location.key].text).value);
  }
  // The caller sees a C string: what follows a NUL byte in the value is not part of it.
  result.resize(std::min(result.find('\0'), result.size()));
  const std::size_t length = std::min<std::size_t>(result.size(), nSize - 1);
  std::memcpy(lpReturnedString, result.data(), length);
  lpReturnedString[length] = '\0';
  return static_cast<DWORD>(length);
}

BOOL WritePrivateProfileStringA(const char* lpAppName, const char* lpKeyName, const char* lpString,
                                const char* lpFileName) {
  if (lpAppName == nullptr || lpKeyName == nullptr || lpString == nullptr ||
      lpFileName == nullptr || lpFileName[0] == '\0') {
    return 0;
  }
  if (!ValidSectionName(lpAppName) || !ValidKeyName(lpKeyName) || HasLineBreak(lpString)) return 0;
  std::string content;
  if (ReadWholeFile(lpFileName, content) == ReadResult::Failed) return 0;

  std::vector<Line> lines = SplitLines(content);
  const auto styled = std::find_if(lines.begin(), lines.end(),
                                   [](const Line& line) { return !line.ending.empty(); });
  const std::string ending = styled == lines.end() ? "\n" : styled->ending;
  const std::string_view section = TrimBlanks(lpAppName);
  const std::string_view key = TrimBlanks(lpKeyName);
  const KeyLocation location = Locate(lines, section, key);

  if (location.key) {
    Line& line = lines[*location.key];
    line.text = std::string(Parse(line.text).name) + "=" + lpString;
  } else {
    std::size_t at = location.insertAt;
    if (!location.section) {
      at = lines.size();
      if (!lines.empty()) Terminate(lines.back(), ending);
      std::string header = "[";
      header.append(section).append("]");
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at++), {header, ending});
    } else {
      Terminate(lines[at - 1], ending);
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at),
                 {std::string(key) + "=" + lpString, ending});
  }
  return ReplaceFile(lpFileName, JoinLines(lines)) ? 1 : 0;
}
