#include "model/book/m_basic_objects.h"

namespace pagewend::model::book {

bool IsSkippedValue(std::string_view name, std::string_view text) {
  if (name == "password" || name == "zoomsnap" || name == "gaaccount" || name == "gui") return text.empty();
  if (name == "zoominit") return text == "0.5" || text == "0.50";
  if (name == "startpage") return text == "1";
  if (name == "spinecolor") return text == "13421772";
  return false;
}

}  // namespace pagewend::model::book
