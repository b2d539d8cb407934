#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

#include "package/package_format.h"

namespace pagewend::bench {

// Writes a package of `count` plain records of about `recordSize` bytes each (sizes vary by a
// few percent so no two slices line up) behind a small stub, then two tiny documents. Payloads
// stream from a scratch file, so making a large package costs no memory.
std::vector<package::RecordRef> MakePackage(const std::filesystem::path& out, std::size_t count,
                                            std::size_t recordSize);

}  // namespace pagewend::bench
