#pragma once

#include <string_view>

namespace pagewend {

// Whether a link a book asks to open may leave the player, for the desktop's browser or mail
// program: http, https and mailto URLs only (the scheme in any case). Everything else
// (javascript:, file:, data:, the player's own scheme, anything unknown) stays refused.
bool MayOpenOutside(std::string_view url);

}  // namespace pagewend
