#pragma once

#include <cstdint>
#include <filesystem>

namespace pagewend {

// Deletes a folder and everything below it. A symbolic link is removed as a link: the tree is
// never left through one, so a book cannot make the player delete files elsewhere. Works by
// descriptor, one level at a time, so any depth and any path length that exists on disk goes,
// with a bounded number of descriptors open. Stops at the first entry that cannot be removed
// and leaves the rest. True unless something failed; a folder that does not exist is no failure.
bool DeleteFolderTree(const std::filesystem::path& path);

struct FolderTotals {
  std::size_t files = 0;
  std::uintmax_t bytes = 0;
};

// The regular files below folder and their bytes, links not followed; as DeleteFolderTree, any
// depth in memory proportional to it. What cannot be read is not counted.
FolderTotals CountFolderTree(const std::filesystem::path& folder);

// A sibling of `target` to build it in, hidden, named so that no two runs meet:
// DIR/.NAME.partial-GUID.
std::filesystem::path PartialSibling(const std::filesystem::path& target);

}  // namespace pagewend
