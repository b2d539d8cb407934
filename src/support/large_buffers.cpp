#include "support/large_buffers.h"

#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace pagewend {

void KeepLargeBuffers() {
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
  // The heap grown once by the room a run's buffers take and given back to the allocator, which
  // keeps it: the buffers are then made in memory advised for huge pages.
  constexpr std::size_t kRoom = std::size_t{24} << 20;
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  if (void* room = std::malloc(kRoom)) {
    const auto start = (reinterpret_cast<std::uintptr_t>(room) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(room) + kRoom) & ~(kHuge - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    std::free(room);
  }
}

}  // namespace pagewend
