#pragma once

#include <filesystem>

namespace pagewend::shell {

// Deletes a folder and everything below it. A symbolic link is removed as a link: the tree is
// never left through one, so a book cannot make the player delete files elsewhere. Stops at the
// first entry that cannot be removed and leaves the rest. True unless something failed; a
// folder that does not exist is no failure.
bool DeleteFolderTree(const std::filesystem::path& path);

// Shifts programFolder/Log/log1.txt .. log9.txt up by one number; log10.txt is deleted.
void RotateLogs(const std::filesystem::path& programFolder);

}  // namespace pagewend::shell
