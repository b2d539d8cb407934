#pragma once

namespace pagewend {

// Unpacking and exporting allocate and free the same few large buffers for every page (a
// source's coefficients, a decoded page, the scaled images): kept by the allocator instead of
// mapped afresh for each, they cost no page faults, which on a virtual machine is a good part of
// a page's time. The heap they are made in is asked of the kernel in huge pages where it gives
// them, so that even their first use costs a fault per 2 MiB rather than one per 4 KiB. For the
// process: a program that unpacks calls it once, at its start.
void KeepLargeBuffers();

}  // namespace pagewend
