#include "paths/book_file_lookup.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <algorithm>
#include <system_error>
#include <vector>

#include "paths/file_names.h"
#include "support/text.h"

namespace pagewend {

namespace fs = std::filesystem;

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 2 < name.size() && HexDigit(name[i + 1]) >= 0 && HexDigit(name[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(name[i + 1]) * 16 + HexDigit(name[i + 2]));
      i += 2;
    } else {
      out += name[i];
    }
  }
  return out;
}

// What lies at path itself, never what a link there points to.
fs::file_type TypeAt(const fs::path& path) {
  std::error_code ec;
  return fs::symlink_status(path, ec).type();
}

// The regular file the parts name below folder, each part taken as it is or, with ignoreCase,
// as the first name of its folder that differs from it in case only.
std::optional<BookFileMatch> Walk(const fs::path& folder, const std::vector<std::string>& parts,
                                  bool ignoreCase) {
  BookFileMatch match;
  fs::path at = folder;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    fs::file_type type = TypeAt(at / part);
    if (type != fs::file_type::not_found) {
      at /= part;
    } else {
      if (!ignoreCase) return std::nullopt;
      std::vector<std::string> same;
      std::error_code ec;
      for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (EqualsIgnoringCase(entry, part)) same.push_back(std::move(entry));
      }
      if (same.empty()) return std::nullopt;
      std::sort(same.begin(), same.end());
      if (same.size() > 1)
        match.ambiguity = fmt::format("\"{}\" matches {} names but for case ({}); \"{}\" is taken", part,
                                      same.size(), fmt::join(same, ", "), same.front());
      at /= same.front();
      type = TypeAt(at);
    }
    const bool last = i + 1 == parts.size();
    if (type != (last ? fs::file_type::regular : fs::file_type::directory)) return std::nullopt;
  }
  match.file = std::move(at);
  return match;
}

}  // namespace

std::optional<BookFileMatch> FindBookFile(const fs::path& folder, std::string_view name) {
  if (folder.empty()) return std::nullopt;
  std::string relative(name);
  // The documents of a run name the files it wrote by their full paths.
  if (!relative.empty() && relative.front() == '/') {
    fs::path base = folder.lexically_normal();
    if (!base.has_filename()) base = base.parent_path();  // "files/" is "files"
    const fs::path inside = fs::path(relative).lexically_normal().lexically_relative(base);
    if (inside.empty() || *inside.begin() == "..") return std::nullopt;
    relative = inside.string();
  }
  std::vector<std::string> candidates{relative};
  const std::string withoutQuery = relative.substr(0, relative.find('?'));
  for (const std::string& candidate : {withoutQuery, PercentDecoded(withoutQuery)})
    if (std::find(candidates.begin(), candidates.end(), candidate) == candidates.end())
      candidates.push_back(candidate);
  for (const bool ignoreCase : {false, true})
    for (const std::string& candidate : candidates)
      if (const auto parts = PartsInside(candidate))
        if (auto match = Walk(folder, *parts, ignoreCase)) return match;
  return std::nullopt;
}

}  // namespace pagewend
