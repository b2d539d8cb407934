#pragma once

namespace pagewend {

// Unpacking and exporting allocate and free the same few large buffers for every page (a
// source's coefficients, a decoded page, the scaled images): kept by the allocator instead of
// mapped afresh for each, they cost no page faults, which on a virtual machine is a good part of
// a page's time. For the process: a program that unpacks calls it once, at its start.
void KeepLargeBuffers();

}  // namespace pagewend
