#pragma once
// What every fuzz target shares: a broken property ends the run the way a sanitizer report
// does, so that libFuzzer keeps the input, and inputs that must be files go into a folder of
// the process's own.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

inline void WriteWholeFile(const std::filesystem::path& path, std::string_view content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  Require(file.good(), "the input can be written to a file");
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
