#include "support/folder_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "support/guid.h"
#include "support/unique_fd.h"

namespace pagewend {

namespace fs = std::filesystem;

namespace {

// The levels nearest the top keep their folder open; deeper ones are closed on the way down
// and found again through ".." on the way up, so a tree of any depth needs this many
// descriptors at most.
constexpr std::size_t kOpenLevels = 32;

using DirStream = std::unique_ptr<DIR, int (*)(DIR*)>;

struct Level {
  DirStream dir{nullptr, closedir};
  dev_t dev = 0;
  ino_t ino = 0;
  std::string name;   // in the level above
  long position = 0;  // where reading resumes once the folder is opened again
};

enum class Mode { Delete, Count };

// Walks the tree below root iteratively, depth first, never through a link: in Delete mode
// every entry is removed, folders once emptied; in Count mode regular files are added to totals.
bool Walk(UniqueFd root, Mode mode, FolderTotals& totals) {
  std::vector<Level> stack;
  const auto push = [&stack](UniqueFd fd, std::string name) {
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return false;
    Level level;
    level.dir = DirStream(::fdopendir(fd.Get()), closedir);
    if (!level.dir) return false;
    fd.Release();
    level.dev = st.st_dev;
    level.ino = st.st_ino;
    level.name = std::move(name);
    stack.push_back(std::move(level));
    return true;
  };
  if (!push(std::move(root), {})) return false;

  while (!stack.empty()) {
    Level& top = stack.back();
    const int at = ::dirfd(top.dir.get());
    errno = 0;
    const dirent* entry = ::readdir(top.dir.get());
    if (!entry) {
      if (errno != 0) return false;
      if (stack.size() == 1) return true;
      // Back up one level: the folder above is open still, or found again through "..", which
      // must be the very folder that was left (the tree may have been moved meanwhile).
      Level& parent = stack[stack.size() - 2];
      if (!parent.dir) {
        UniqueFd up(::openat(at, "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (!up.Valid() || ::fstat(up.Get(), &st) != 0 || st.st_dev != parent.dev || st.st_ino != parent.ino)
          return false;
        parent.dir = DirStream(::fdopendir(up.Get()), closedir);
        if (!parent.dir) return false;
        up.Release();
        // Deleting rereads from the start, since removed entries move the positions; counting
        // resumes where it was.
        if (mode == Mode::Count) ::seekdir(parent.dir.get(), parent.position);
      }
      const std::string name = std::move(top.name);
      stack.pop_back();
      if (mode == Mode::Delete &&
          ::unlinkat(::dirfd(stack.back().dir.get()), name.c_str(), AT_REMOVEDIR) != 0)
        return false;
      continue;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool folder = entry->d_type == DT_DIR;
    struct stat st {};
    if (entry->d_type == DT_UNKNOWN || (mode == Mode::Count && entry->d_type == DT_REG)) {
      if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (mode == Mode::Delete) return false;
        continue;
      }
      folder = S_ISDIR(st.st_mode);
    }
    if (folder) {
      UniqueFd child(::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (child.Valid()) {
        // The entry's name lives in the folder's read buffer, which closing the folder frees.
        std::string childName(name);
        if (stack.size() >= kOpenLevels) {
          top.position = ::telldir(top.dir.get());
          top.dir.reset();
        }
        if (!push(std::move(child), std::move(childName))) return false;
        continue;
      }
      // Swapped for a link or a file since it was listed: it is removed as what it is now.
      if (errno != ELOOP && errno != ENOTDIR) {
        if (mode == Mode::Delete) return false;
        continue;
      }
    }
    if (mode == Mode::Delete) {
      if (::unlinkat(at, name, 0) != 0) return false;
    } else if (S_ISREG(st.st_mode)) {
      ++totals.files;
      totals.bytes += static_cast<std::uintmax_t>(st.st_size);
    }
  }
  return true;
}

UniqueFd OpenFolder(const fs::path& path) {
  return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

}  // namespace

bool DeleteFolderTree(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(path, ec);
  if (!fs::is_directory(status)) return !fs::exists(status);
  UniqueFd root = OpenFolder(path);
  FolderTotals unused;
  if (!root.Valid() || !Walk(std::move(root), Mode::Delete, unused)) return false;
  return fs::remove(path, ec) && !ec;
}

FolderTotals CountFolderTree(const fs::path& folder) {
  FolderTotals totals;
  if (UniqueFd root = OpenFolder(folder); root.Valid()) Walk(std::move(root), Mode::Count, totals);
  return totals;
}

std::filesystem::path PartialSibling(const std::filesystem::path& target) {
  std::filesystem::path absolute = std::filesystem::absolute(target).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();  // "out/" names "out"
  const std::string guid = NewGuidText();
  return absolute.parent_path() /
         ("." + absolute.filename().string() + ".partial-" + guid.substr(1, guid.size() - 2));
}

}  // namespace pagewend
