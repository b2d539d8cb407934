#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pagewend {

// A file of a book's folder, found for a name the book asks for.
struct BookFileMatch {
  std::filesystem::path file;
  // Set when several files matched the name but for case: which ones, and which was taken.
  std::string ambiguity;
};

// The one rule by which a name a book's movie or document asks for becomes a file of the book's
// folder. Books were made and played on Windows, where "Res\Pages\P1.JPG?r=0.5" and
// "res/pages/p1.jpg" were the same file, so: the name as it is first; then without a query
// ("?..."), then with its %XX escapes decoded; each part that is not there exactly matches a
// name of its folder ignoring ASCII case (several such names: the first in byte order, and the
// match says so). "\" and "/" both separate. The file found is a regular file that lies below
// folder: nothing for a name that climbs with "..", a symbolic link anywhere below folder, or an
// absolute name, unless that name lies below folder itself (as the files a run writes are named
// in its documents).
std::optional<BookFileMatch> FindBookFile(const std::filesystem::path& folder, std::string_view name);

}  // namespace pagewend
