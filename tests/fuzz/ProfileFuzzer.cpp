// The profile calls on arbitrary file bytes. An input is an operation line "section|key|value"
// (fields left out are passed as null pointers) and then the file's bytes; an input without a
// line break stands for a missing file. Each input reads the key, writes the value and checks
// that the write changed the written line alone and reads back as written.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view Blanks = " \t";
constexpr std::string_view DefaultText = "default";

struct Operation {
  std::optional<std::string> section;
  std::optional<std::string> key;
  std::optional<std::string> value;
};

const char* Pointer(const std::optional<std::string>& field) {
  return field ? field->c_str() : nullptr;
}

// A field as the callee sees it: a C string ends at its first NUL.
std::string_view AsCalled(const std::optional<std::string>& field) {
  return field ? std::string_view(field->c_str()) : std::string_view();
}

Operation ParseOperation(std::string_view line) {
  Operation operation;
  if (line.empty()) return operation;
  std::optional<std::string>* fields[] = {&operation.section, &operation.key, &operation.value};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t bar = i < 2 ? line.find('|') : std::string_view::npos;
    *fields[i] = std::string(line.substr(0, bar));
    if (bar == std::string_view::npos) break;
    line.remove_prefix(bar + 1);
  }
  return operation;
}

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(Blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

// The names the documented rules accept, in a file a write may replace.
bool WriteMayBeMade(const Operation& operation, const std::optional<std::string>& file) {
  if (!operation.section || !operation.key || !operation.value) return false;
  const std::string_view section = AsCalled(operation.section);
  const std::string_view key = AsCalled(operation.key);
  const std::string_view trimmedKey = Trim(key);
  return !Trim(section).empty() && !HasLineBreak(section) && section.find(']') == section.npos &&
         !trimmedKey.empty() && !HasLineBreak(key) && key.find('=') == key.npos &&
         trimmedKey.find_first_of("[;#") != 0 && !HasLineBreak(AsCalled(operation.value)) &&
         (!file || file->size() <= (1U << 20));
}

// A line as the profile rules read it: an LF ends it, with a CR before the LF part of the ending.
struct FileLine {
  std::string_view text;
  std::string_view ending;
};

std::vector<FileLine> Lines(std::string_view content) {
  std::vector<FileLine> lines;
  while (!content.empty()) {
    const std::size_t newline = content.find('\n');
    if (newline == std::string_view::npos) {
      lines.push_back({content, {}});
      break;
    }
    const std::size_t end = newline > 0 && content[newline - 1] == '\r' ? newline - 1 : newline;
    lines.push_back({content.substr(0, end), content.substr(end, newline + 1 - end)});
    content.remove_prefix(newline + 1);
  }
  return lines;
}

// Whether kept, the new file without the written lines, holds the old file's lines unchanged;
// only an old last line without an ending may have gained one.
bool SameLines(const std::vector<FileLine>& kept, const std::vector<FileLine>& before) {
  if (kept.size() != before.size()) return false;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const bool gainedEnding = i + 1 == kept.size() && before[i].ending.empty();
    if (kept[i].text != before[i].text || (kept[i].ending != before[i].ending && !gainedEnding)) {
      return false;
    }
  }
  return true;
}

// A key line whose name is key.
bool IsKeyLine(std::string_view text, std::string_view key) {
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() || trimmed.find_first_of("[;#") == 0) return false;
  const std::size_t equals = trimmed.find('=');
  return equals != trimmed.npos && SameName(Trim(trimmed.substr(0, equals)), key);
}

bool Without(const std::vector<FileLine>& lines, std::size_t first, std::size_t count,
             const std::vector<FileLine>& before) {
  std::vector<FileLine> kept = lines;
  kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(first),
             kept.begin() + static_cast<std::ptrdiff_t>(first + count));
  return SameLines(kept, before);
}

// The old file becomes the new one by replacing the key's line in place, by a new key line in
// an existing section, or by a new section with the key at the end.
bool OnlyTheKeyChanged(std::string_view oldFile, std::string_view newFile, std::string_view section,
                       std::string_view key, std::string_view value) {
  const std::vector<FileLine> before = Lines(oldFile);
  const std::vector<FileLine> after = Lines(newFile);
  if (after.size() == before.size()) {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < after.size(); ++i) {
      if (after[i].text != before[i].text || after[i].ending != before[i].ending) {
        changed.push_back(i);
      }
    }
    if (changed.empty()) return true;
    if (changed.size() != 1) return false;
    const FileLine& old = before[changed[0]];
    const FileLine& now = after[changed[0]];
    return IsKeyLine(old.text, key) && IsKeyLine(now.text, key) && now.ending == old.ending &&
           now.text.substr(now.text.find('=') + 1) == value;
  }
  const std::string keyLine = std::string(key) + "=" + std::string(value);
  const std::string header = "[" + std::string(section) + "]";
  for (std::size_t k = 0; k < after.size(); ++k) {
    if (after[k].text != keyLine || after[k].ending.empty()) continue;
    if (after.size() == before.size() + 1 && Without(after, k, 1, before)) return true;
    if (after.size() == before.size() + 2 && k + 1 == after.size() && k > 0 &&
        after[k - 1].text == header && Without(after, k - 1, 2, before)) {
      return true;
    }
  }
  return false;
}

std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Reads into a buffer of exactly size bytes, so that AddressSanitizer sees a write past it.
std::string Read(const Operation& operation, DWORD size, const std::string& path) {
  std::vector<char> buffer(std::max<DWORD>(size, 1), '\x7f');
  const DWORD length =
      GetPrivateProfileStringA(Pointer(operation.section), Pointer(operation.key),
                               DefaultText.data(), buffer.data(), size, path.c_str());
  if (size == 0) {
    Require(length == 0 && buffer[0] == '\x7f', "a read into no room writes nothing");
    return {};
  }
  Require(length < size, "a read leaves room for the NUL");
  Require(buffer[length] == '\0' && std::strlen(buffer.data()) == length,
          "a read returns the length of the NUL-terminated text");
  if (!operation.section || !operation.key) Require(length == 0, "a null name reads nothing");
  return {buffer.data(), length};
}

std::vector<std::string> FolderEntries() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(TheFuzzFolder().Path())) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const Operation operation = ParseOperation(input.substr(0, newline));
  const fs::path filePath = TheFuzzFolder().Path() / "corvane.INI";
  const std::string path = filePath.string();
  std::optional<std::string> oldFile;
  if (newline != std::string_view::npos) {
    oldFile = std::string(input.substr(newline + 1));
    WriteWholeFile(filePath, *oldFile);
  }

  // Room for any value the input can hold, so that a full read is never cut.
  const auto fullSize = static_cast<DWORD>(size + DefaultText.size() + 1);
  const std::string fullRead = Read(operation, fullSize, path);
  const auto shortSize = static_cast<DWORD>(size % 9);
  const std::string shortRead = Read(operation, shortSize, path);
  Require(shortRead == std::string_view(fullRead).substr(0, shortSize == 0 ? 0 : shortSize - 1),
          "a read into a small buffer gives the start of the full text");
  if (!oldFile && operation.section && operation.key) {
    Require(fullRead == DefaultText, "a missing file reads as the default");
  }

  const bool written =
      WritePrivateProfileStringA(Pointer(operation.section), Pointer(operation.key),
                                 Pointer(operation.value), path.c_str()) != 0;
  const std::optional<std::string> newFile =
      fs::exists(filePath) ? std::optional(ReadWholeFile(filePath)) : std::nullopt;
  Require(FolderEntries().size() == (newFile ? 1U : 0U), "a write leaves no other file behind");
  Require(written == WriteMayBeMade(operation, oldFile),
          "a write is made exactly when its names and value may be written");
  if (!written) {
    Require(newFile == oldFile, "a refused write leaves the file as it was");
  } else {
    const std::string_view value = AsCalled(operation.value);
    Require(newFile.has_value() &&
                OnlyTheKeyChanged(oldFile.value_or(""), *newFile, Trim(AsCalled(operation.section)),
                                  Trim(AsCalled(operation.key)), value),
            "a write changes its own key's line and keeps every other line byte for byte");
    Require(Read(operation, fullSize, path) == Unquoted(Trim(value)),
            "a read after a write returns what was written");
  }
  fs::remove(filePath);
  return 0;
}
