#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pagewend {

// Whether a link a book asks to open may leave the player, for the desktop's browser or mail
// program: http, https and mailto URLs only (the scheme in any case). Everything else
// (javascript:, file:, data:, the player's own scheme, anything unknown) stays refused.
bool MayOpenOutside(std::string_view url);

// The link as it may leave: nothing when MayOpenOutside refuses it; a mailto link keeps only the
// fields a message is written with (to, cc, bcc, subject, body), so that no book can have the
// mail program attach a file of the reader's.
std::optional<std::string> LinkToOpen(std::string_view url);

}  // namespace pagewend
