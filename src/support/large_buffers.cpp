#include "support/large_buffers.h"

#include <malloc.h>

namespace pagewend {

void KeepLargeBuffers() {
  ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

}  // namespace pagewend
