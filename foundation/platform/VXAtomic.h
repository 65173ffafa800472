// Atomic counters for reference counts and statistics.
//
// QNX provides atomic_add(), atomic_add_value() and atomic_sub_value() in <atomic.h>; this header
// gives the same operations to the rest of the code. On QNX they forward to the native calls, on
// other platforms they use the compiler's sequentially consistent builtins.
#pragma once

#include <cstdint>

// Adds value to *location.
inline void VXAtomicAdd(volatile uint32_t* location, uint32_t value) {
    __atomic_fetch_add(location, value, __ATOMIC_SEQ_CST);
}

// Adds value to *location and returns the value *location held before.
inline uint32_t VXAtomicAddValue(volatile uint32_t* location, uint32_t value) {
    return __atomic_fetch_add(location, value, __ATOMIC_SEQ_CST);
}

// Subtracts value from *location and returns the value *location held before.
inline uint32_t VXAtomicSubValue(volatile uint32_t* location, uint32_t value) {
    return __atomic_fetch_sub(location, value, __ATOMIC_SEQ_CST);
}

// Reads *location with a sequentially consistent load.
inline uint32_t VXAtomicLoad(const volatile uint32_t* location) {
    return __atomic_load_n(location, __ATOMIC_SEQ_CST);
}
