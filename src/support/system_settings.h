#pragma once

#include <string>

namespace pagewend {

// The two facts of the user's locale that the documents depend on. Taken once, from the
// environment, by the program's entry; everything below receives them as a value so that
// tests can set them either way.
struct SystemSettings {
  // Character set of 8-bit texts, as an iconv name ("UTF-8", "WINDOWS-1252", ...).
  std::string codePage = "UTF-8";
  // Separator of decimal fractions in the settings document.
  char decimalSeparator = '.';

  // Reads LC_NUMERIC and LC_CTYPE of the environment without touching the process locale.
  static SystemSettings FromUserLocale();
};

}  // namespace pagewend
