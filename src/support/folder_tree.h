#pragma once

#include <filesystem>

namespace pagewend {

// Deletes a folder and everything below it. A symbolic link is removed as a link: the tree is
// never left through one, so a book cannot make the player delete files elsewhere. Stops at the
// first entry that cannot be removed and leaves the rest. True unless something failed; a
// folder that does not exist is no failure.
bool DeleteFolderTree(const std::filesystem::path& path);

}  // namespace pagewend
