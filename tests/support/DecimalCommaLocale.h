#pragma once
// A locale with a decimal comma (de_DE.UTF-8) for the tests that check that the program's texts
// and parsers do not depend on the user's locale. The locale is compiled once per test process
// with localedef into a private folder named by LOCPATH, so the machine needs no generated
// locales, only the locale sources of Debian's `locales` package.

#include <clocale>
#include <locale>
#include <optional>
#include <string>

class DecimalCommaLocale {
 public:
  // Switches the C and C++ global locales of this process to de_DE.UTF-8; Available() tells
  // whether that worked (it does not where localedef or the locale sources are missing).
  DecimalCommaLocale();
  DecimalCommaLocale(const DecimalCommaLocale&) = delete;
  DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
  // Puts the locales of before back.
  ~DecimalCommaLocale();

  [[nodiscard]] bool Available() const { return available_; }
  // Why the locale is not available, for a skip message.
  [[nodiscard]] static std::string MissingReason();

 private:
  std::string savedC_;
  std::locale savedCpp_;
  std::optional<std::string> savedLocPath_;
  bool available_ = false;
};
