// Memory hints to the kernel.
#pragma once

#include <cstddef>

// Asks the kernel to back the whole pages inside [start, start + length) with memory now, in one
// call, instead of one page fault at each page's first touch. Only a hint: nothing happens where
// the system cannot do it. (QNX backs anonymous memory when it is mapped, so there it does
// nothing.)
void VXPlatformPrefault(void* start, size_t length);
