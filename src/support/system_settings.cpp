#include "support/system_settings.h"

#include <langinfo.h>
#include <locale.h>

namespace pagewend {

SystemSettings SystemSettings::FromUserLocale() {
  SystemSettings settings;
  // newlocale/nl_langinfo_l leave the global locale alone: other threads keep parsing with "C".
  if (locale_t loc = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    if (radix && radix[0] != '\0' && radix[1] == '\0') settings.decimalSeparator = radix[0];
    const char* codeset = nl_langinfo_l(CODESET, loc);
    if (codeset && *codeset) settings.codePage = codeset;
    freelocale(loc);
  }
  return settings;
}

}  // namespace pagewend
