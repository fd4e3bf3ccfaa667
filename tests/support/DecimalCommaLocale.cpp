#include "tests/support/DecimalCommaLocale.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

constexpr const char* LocaleName = "de_DE.UTF-8";

std::filesystem::path& LocaleFolder() {
  static std::filesystem::path folder;
  return folder;
}

std::string& BuildFailure() {
  static std::string failure;
  return failure;
}

// Compiles the locale on first use; the folder lives until the process ends.
bool CompileOnce() {
  static const bool compiled = [] {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("corvane-locale-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string command = "localedef -i de_DE -f UTF-8 '" + (folder / LocaleName).string() +
                                "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(folder / LocaleName)) {
      BuildFailure() = "localedef could not compile de_DE.UTF-8 (package locales missing?)";
      return false;
    }
    LocaleFolder() = folder;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(LocaleFolder(), ignored);
    });
    return true;
  }();
  return compiled;
}

}  // namespace

DecimalCommaLocale::DecimalCommaLocale() : savedCpp_(std::locale()) {
  const char* current = std::setlocale(LC_ALL, nullptr);
  savedC_ = current != nullptr ? current : "C";
  if (const char* locPath = std::getenv("LOCPATH")) savedLocPath_ = locPath;
  if (!CompileOnce()) return;
  setenv("LOCPATH", LocaleFolder().c_str(), 1);
  if (std::setlocale(LC_ALL, LocaleName) == nullptr) {
    BuildFailure() = "setlocale refused the compiled de_DE.UTF-8";
    return;
  }
  std::locale::global(std::locale(LocaleName));
  available_ = true;
}

DecimalCommaLocale::~DecimalCommaLocale() {
  std::locale::global(savedCpp_);
  std::setlocale(LC_ALL, savedC_.c_str());
  if (savedLocPath_) {
    setenv("LOCPATH", savedLocPath_->c_str(), 1);
  } else {
    unsetenv("LOCPATH");
  }
}

std::string DecimalCommaLocale::MissingReason() {
  CompileOnce();
  return BuildFailure();
}
