#pragma once
// What every fuzz target shares: a broken property ends the run the way a sanitizer report
// does, so that libFuzzer keeps the input, and inputs that must be files go into a folder of
// the process's own.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

// Aborts with what was expected when condition is false.
inline void Require(bool condition, std::string_view expectation) {
  if (condition) return;
  std::fprintf(stderr, "property broken: %.*s\n", static_cast<int>(expectation.size()),
               expectation.data());
  std::abort();
}

// A private folder under TMPDIR, made on first use and removed when the process ends normally.
class FuzzFolder {
 public:
  FuzzFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-fuzz-XXXXXX").string();
    Require(::mkdtemp(pattern.data()) != nullptr, "a temporary folder can be made");
    path_ = pattern;
  }
  FuzzFolder(const FuzzFolder&) = delete;
  FuzzFolder& operator=(const FuzzFolder&) = delete;
  ~FuzzFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline const FuzzFolder& TheFuzzFolder() {
  static const FuzzFolder folder;
  return folder;
}

// Through C stdio: the inline code of iostreams took different branches from run to run, which
// made a fixed-seed run explore differently on every start.
using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

inline File OpenFile(const std::filesystem::path& path, const char* mode) {
  return {std::fopen(path.c_str(), mode), &std::fclose};
}

inline void WriteWholeFile(const std::filesystem::path& path, std::string_view content) {
  const File file = OpenFile(path, "wb");
  Require(file != nullptr &&
              std::fwrite(content.data(), 1, content.size(), file.get()) == content.size() &&
              std::fflush(file.get()) == 0,
          "the input can be written to a file");
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  const File file = OpenFile(path, "rb");
  Require(file != nullptr, "a written file can be read");
  std::string content;
  std::array<char, 4096> chunk{};
  std::size_t length = 0;
  while ((length = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
    content.append(chunk.data(), length);
  }
  return content;
}
