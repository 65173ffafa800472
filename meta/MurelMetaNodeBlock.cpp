#include "meta/MurelMetaNodeBlock.h"

#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXAtomic.h"
#include "foundation/platform/VXMemory.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELKOR_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELKOR_ADDRESS_SANITIZER
#endif
#endif
#ifdef VELKOR_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace NMurelMeta {

namespace {

constexpr const char* SOURCE = "MurelMetaNodeBlock";

} // namespace

size_t CMetaNodeBlock::firstSlot() {
    return (sizeof(CMetaNodeBlock) + SLOT_ALIGNMENT - 1) / SLOT_ALIGNMENT * SLOT_ALIGNMENT;
}

size_t CMetaNodeBlock::bytesFor(uint32_t count) {
    return firstSlot() + static_cast<size_t>(count) * SLOT_SIZE;
}

CMetaNodeBlock* CMetaNodeBlock::create(uint32_t count) {
    const size_t size = bytesFor(count);
    void* memory = VXMallocOrDie(size);
    // The slots are all filled right away: one call backs them instead of a fault per page.
    VXPlatformPrefault(memory, size);
    return ::new (memory) CMetaNodeBlock(count);
}

void* CMetaNodeBlock::takeSlot() {
    if (m_used == m_capacity) {
        VXAssertionFailed(__LINE__, SOURCE, "node block full");
        return nullptr;
    }
    unsigned char* slot = reinterpret_cast<unsigned char*>(this) + firstSlot() + m_used * SLOT_SIZE;
    ++m_used;
    VXAtomicAdd(&m_references, 1);
    return slot;
}

void CMetaNodeBlock::releaseSlot(void* slot) {
#ifdef VELKOR_ADDRESS_SANITIZER
    ASAN_POISON_MEMORY_REGION(slot, SLOT_SIZE);
#else
    (void)slot;
#endif
    release();
}

void CMetaNodeBlock::release() {
    if (VXAtomicSubValue(&m_references, 1) == 1) {
#ifdef VELKOR_ADDRESS_SANITIZER
        ASAN_UNPOISON_MEMORY_REGION(this, bytesFor(m_capacity));
#endif
        this->~CMetaNodeBlock();
        VXFree(this);
    }
}

} // namespace NMurelMeta
